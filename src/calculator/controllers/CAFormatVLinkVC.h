// The link pane of the format panel's value tab: the active link cell's address, the text it
// shows and whether it is active. Each change is a "Link" step, folded into the pane's step while
// that is still the current one; an emptied address turns the cell into text.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

#include <cstdint>

class QCheckBox;
class QLineEdit;

class CAFormatVLinkVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatVLinkVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  QLineEdit* addressField() const { return addressField_; }
  QLineEdit* displayTextField() const { return displayTextField_; }
  QCheckBox* activeButton() const { return activeButton_; }

  void selectionChanged() override;
  // Writes the fields and the box into the active cell as one step.
  void updateCell();
  void chooseFile();
  // The end of the file chooser: the item becomes the cell's link, named after the file.
  void openPanelEnded(bool accepted, const QString& path);

 protected:
  QWidget* loadView() override;
  void viewDidLoad() override;

 private:
  void editingEnded(QLineEdit* field);

  QLineEdit* addressField_ = nullptr;
  QLineEdit* displayTextField_ = nullptr;
  QCheckBox* activeButton_ = nullptr;
  uint32_t undoID_ = kNoUndoID;
  bool editingStarted_ = false;
};
