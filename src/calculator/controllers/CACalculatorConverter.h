// The unit converter window: a category chosen among seven, a unit to convert from and one to
// convert to in two lists, the value typed and the result shown with the calculators' number
// of decimal digits. The choice of category and units is kept from one run to the next.
#pragma once

#include "calculator/controllers/CAUnitConverter.h"
#include "calculator/model/CANumberFormat.h"
#include "framlet/shell/FLTeardownSilencer.h"

#include <QWidget>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QListWidget;
class UserDefaults;

class CACalculatorConverter : public QWidget {
  Q_OBJECT

 public:
  explicit CACalculatorConverter(UserDefaults& defaults, QWidget* parent = nullptr);

  const CAConverterChoice& choice() const { return choice_; }
  QButtonGroup* categoryMatrix() const { return categoryMatrix_; }
  QListWidget* fromTable() const { return fromTable_; }
  QListWidget* toTable() const { return toTable_; }
  QLineEdit* valueField() const { return valueField_; }
  QLineEdit* convertField() const { return convertField_; }
  QLabel* fromUnitLabel() const { return fromUnitLabel_; }
  QLabel* toUnitLabel() const { return toUnitLabel_; }

  void changeCategory(int category);
  // Reads the value field and shows the result; an unreadable value empties it and beeps.
  void convert();
  void copy();
  void saveChoice();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void reloadUnits();
  void showUnitNames();
  void decimalDigitsChanged();

  UserDefaults& defaults_;
  CAConverterChoice choice_;
  CANumberFormat numberFormat_;
  QButtonGroup* categoryMatrix_ = nullptr;
  QListWidget* fromTable_ = nullptr;
  QListWidget* toTable_ = nullptr;
  QLineEdit* valueField_ = nullptr;
  QLineEdit* convertField_ = nullptr;
  QLabel* fromUnitLabel_ = nullptr;
  QLabel* toUnitLabel_ = nullptr;
  // Last: its children signal nothing into this once it starts to go.
  FLTeardownSilencer teardownSilencer_{this};
};
