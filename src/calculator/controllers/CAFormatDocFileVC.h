// The document file pane of the format panel: whether saving keeps a backup copy and whether
// the saved package holds a preview.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

class QCheckBox;

class CAFormatDocFileVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatDocFileVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  QCheckBox* makeBackupButton() const { return makeBackupButton_; }
  // Checked when a preview is saved.
  QCheckBox* noPreviewButton() const { return noPreviewButton_; }

  void selectionChanged() override;
  // Each a new "Document Format" step.
  void setMakeBackup(bool on);
  void setPreview(bool on);

 protected:
  QWidget* loadView() override;

 private:
  bool recordStep();

  QCheckBox* makeBackupButton_ = nullptr;
  QCheckBox* noPreviewButton_ = nullptr;
  uint32_t undoID_ = 0xFFFFFFFF;
};
