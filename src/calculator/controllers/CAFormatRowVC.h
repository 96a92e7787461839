// The row pane of the format panel: the minimum height of the selected rows.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

#include <cstdint>

class QLineEdit;
class QSlider;

class CAFormatRowVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatRowVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  QSlider* heightSlider() const { return heightSlider_; }
  QLineEdit* heightField() const { return heightField_; }

  void selectionChanged() override;
  void unitsChanged() override;
  // The length the sender holds becomes the minimum height of every selected row.
  void setHeight(QWidget* sender);

 protected:
  QWidget* loadView() override;

 private:
  QSlider* heightSlider_ = nullptr;
  QLineEdit* heightField_ = nullptr;
  uint32_t undoID_ = 0xFFFFFFFF;
};
