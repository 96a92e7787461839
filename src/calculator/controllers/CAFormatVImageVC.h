// The picture pane of the format panel's value tab: the scale of the active picture cell, as a
// percentage, a logarithmic slider, a width and a height, or fitted to the cell; and a new
// picture from a file. Changes are "Picture" steps, folded into the pane's step while that is
// still the current one.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

#include <cstdint>

class CACell;
class QCheckBox;
class QLineEdit;
class QSlider;

class CAFormatVImageVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  // Slider positions are kept in thousandths.
  static constexpr int kSliderSteps = 1000;

  explicit CAFormatVImageVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  QLineEdit* scalingField() const { return scalingField_; }
  QLineEdit* widthField() const { return widthField_; }
  QLineEdit* heightField() const { return heightField_; }
  QSlider* scalingSlider() const { return scalingSlider_; }
  QCheckBox* scaleToFitButton() const { return scaleToFitButton_; }

  void selectionChanged() override;
  void unitsChanged() override;
  // The slider's action: a new fixed scale from its position.
  void setScalingFromSlider();
  // The scaling field's action.
  void setScalingFromField();
  void scaleToFit();
  // The active cell's picture at the scale (0 fits it to the cell) as one step.
  void updateCell(int64_t scale);
  // The scale at which the picture fills the cell's height.
  int64_t currentScaling() const;
  void chooseFile();
  // The end of the file chooser: the file becomes the active cell's picture, fitted.
  void openPanelEnded(bool accepted, const QString& path);

 protected:
  QWidget* loadView() override;
  void viewDidLoad() override;

 private:
  void setLogSlider(int64_t scale);
  void editingEnded(QLineEdit* field);
  // The active cell when it shows a picture with an image, else null.
  const CACell* pictureCell() const;

  QLineEdit* scalingField_ = nullptr;
  QLineEdit* widthField_ = nullptr;
  QLineEdit* heightField_ = nullptr;
  QSlider* scalingSlider_ = nullptr;
  QCheckBox* scaleToFitButton_ = nullptr;
  uint32_t undoID_ = kNoUndoID;
  bool editingStarted_ = false;
  bool showing_ = false;  // the pane is setting its controls
};
