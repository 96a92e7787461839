// The type pane of the format panel's value tab: radio buttons, one per value type, that show
// the active cell's type and change it.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

#include <cstdint>

class QButtonGroup;

class CAFormatVTypeVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatVTypeVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  // The buttons, each with its value type as id.
  QButtonGroup* typeMatrix() const { return typeMatrix_; }

  void selectionChanged() override;
  // The active cell (made when missing) takes the type, as one undoable step.
  void setType(int32_t valueType);

 protected:
  QWidget* loadView() override;

 private:
  QButtonGroup* typeMatrix_ = nullptr;
};
