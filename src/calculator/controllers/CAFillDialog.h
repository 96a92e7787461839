// The fill-series sheet: the direction, the kind of series (a copy, a step added or multiplied,
// or dates), the date unit and the step. Its choices are kept for the next fill in any window
// until the application quits.
#pragma once

#include "calculator/model/CACell.h"
#include "framlet/shell/FLTeardownSilencer.h"
#include "framlet/shell/FLValidatedDialog.h"

#include <array>

class CADocument;
class QAbstractSpinBox;
class QButtonGroup;
class QGroupBox;

class CAFillDialog : public FLValidatedDialog {
  Q_OBJECT

 public:
  // Opens the sheet on the document's window; OK fills the selection (one undo step), Cancel
  // does nothing. Null when the document has no window.
  static CAFillDialog* fillForDocument(CADocument& document);
  // What the last confirmed sheet chose (at first: copy down, days, step 1).
  static const CAFillInfo& fillInfo();
  // Forgets the choices (tests).
  static void resetFillInfo();

  CAFillDialog(CADocument& document, QWidget* hostWindow);

  QWidget* hostWindow() const { return parentWidget(); }
  QLineEdit* valueField() const { return valueField_; }
  // The stepper was turned by `steps`: the step's integer part moves by that much.
  void stepValue(int steps);
  // The series kind changed: dates take a unit, a copy takes no step.
  void changeType();
  void ok();
  void cancel();

 protected:
  void reject() override { cancel(); }

 private:
  void buildWindow();

  CADocument& document_;
  QButtonGroup* directionMatrix_ = nullptr;
  QButtonGroup* typeMatrix_ = nullptr;
  QButtonGroup* dateMatrix_ = nullptr;
  QGroupBox* dateBox_ = nullptr;
  QAbstractSpinBox* spinner_ = nullptr;
  QLineEdit* valueField_ = nullptr;
  // Last: its children signal nothing into this once it starts to go.
  FLTeardownSilencer teardownSilencer_{this};
};
