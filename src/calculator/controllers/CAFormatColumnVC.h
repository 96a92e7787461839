// The column pane of the format panel: the width of the selected columns, as a number of digits
// of the document's font or as a length.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

#include <cstdint>

class QLineEdit;
class QSlider;
class QSpinBox;

class CAFormatColumnVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatColumnVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  QSlider* widthSlider() const { return widthSlider_; }
  QLineEdit* widthField() const { return widthField_; }
  QSpinBox* digitField() const { return digitField_; }

  void selectionChanged() override;
  void unitsChanged() override;
  void setDigits(int64_t digits);
  // The length the sender holds.
  void setWidth(QWidget* sender);
  // Digit count -1 takes the width as it is; a count of 0 or more sizes by digits. Columns that
  // do not exist are made only for a setting other than the default.
  void setDigitsAndWidth(int64_t digits, int64_t width);

 protected:
  QWidget* loadView() override;
  void viewDidLoad() override;

 private:
  QSlider* widthSlider_ = nullptr;
  QLineEdit* widthField_ = nullptr;
  QSpinBox* digitField_ = nullptr;
  uint32_t undoID_ = 0xFFFFFFFF;
};
