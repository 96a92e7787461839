// The save panel's accessory of a spreadsheet window: the framework's format chooser with one
// more option, "Save values only", bound to the preference of the same name. Only the rich-text
// formats can keep formulas or not; the other formats always save values, except the native
// package, which always keeps the formulas, so the box is disabled for them and shows what
// they do.
#pragma once

#include "framlet/shell/FLDocumentSaveFormatVC.h"

#include <QPointer>

class CAPrefController;
class QCheckBox;

class CASaveFormatVC : public FLDocumentSaveFormatVC {
  Q_OBJECT

 public:
  CASaveFormatVC();
  ~CASaveFormatVC() override;

  CAPrefController* preferences() const { return preferences_; }
  void setPreferences(CAPrefController* preferences);
  // Enables, checks or clears the box for the chosen format.
  void enableValuesOnly();
  QCheckBox* saveValuesButton() const { return saveValuesButton_; }

  QWidget* optionsView() override { return view_; }

 protected:
  void formatChanged() override { enableValuesOnly(); }

 private:
  CAPrefController* preferences_ = nullptr;  // the shared controller
  QPointer<QWidget> view_;                   // the panel takes it over
  QCheckBox* saveValuesButton_ = nullptr;
};
