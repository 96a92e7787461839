// The text pane of the format panel: bold, italic, underline and strike each not set, on or
// off, and the alignment not set, left, centre or right, for the formats of the panel's domain.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

#include <cstdint>

class QButtonGroup;

class CAFormatTextVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatTextVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  // The style buttons: column 0 not set, 1 on, 2 off.
  QButtonGroup* boldMatrix() const { return boldMatrix_; }
  QButtonGroup* italicMatrix() const { return italicMatrix_; }
  QButtonGroup* underlineMatrix() const { return underlineMatrix_; }
  QButtonGroup* strikeMatrix() const { return strikeMatrix_; }
  // Segment 0 not set, 1 to 3 left, centre and right.
  QButtonGroup* alignmentControl() const { return alignmentControl_; }

  void selectionChanged() override;
  // One property as an undoable change of the domain's formats.
  void setValue(int64_t value, uint64_t mask);
  void setAlignment(int segment);

 protected:
  QWidget* loadView() override;

 private:
  QButtonGroup* boldMatrix_ = nullptr;
  QButtonGroup* italicMatrix_ = nullptr;
  QButtonGroup* underlineMatrix_ = nullptr;
  QButtonGroup* strikeMatrix_ = nullptr;
  QButtonGroup* alignmentControl_ = nullptr;
};
