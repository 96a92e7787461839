// The document size pane of the format panel: the default column width (in digits or as a
// length), the minimum row height, and resetting every column width or row height.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

#include <cstdint>

class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

class CAFormatDocSizeVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatDocSizeVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  QSlider* widthSlider() const { return widthSlider_; }
  QLineEdit* widthField() const { return widthField_; }
  QSpinBox* digitField() const { return digitField_; }
  QSlider* heightSlider() const { return heightSlider_; }
  QLineEdit* heightField() const { return heightField_; }
  QPushButton* resetWidthButton() const { return resetWidthButton_; }
  QPushButton* resetHeightButton() const { return resetHeightButton_; }

  void selectionChanged() override;
  void unitsChanged() override;
  void setDigits(int64_t digits);
  void setWidth(QWidget* sender);
  void setHeight(QWidget* sender);
  void resetWidth();
  void resetHeight();
  // A "Document Format" step: changes of the same control fold into the step in progress; a
  // null control always starts a new one. False when refused.
  bool setUndoForControl(const QObject* control, uint32_t action);

 protected:
  QWidget* loadView() override;
  void viewDidLoad() override;

 private:
  void showWidth(int64_t digits);
  // Redraws and tells the sheet its lines moved.
  void finishChange();

  QSlider* widthSlider_ = nullptr;
  QLineEdit* widthField_ = nullptr;
  QSpinBox* digitField_ = nullptr;
  QSlider* heightSlider_ = nullptr;
  QLineEdit* heightField_ = nullptr;
  QPushButton* resetWidthButton_ = nullptr;
  QPushButton* resetHeightButton_ = nullptr;
  uint32_t undoID_ = 0xFFFFFFFF;
  const QObject* undoControl_ = nullptr;
};
