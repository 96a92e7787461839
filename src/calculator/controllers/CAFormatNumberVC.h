// The number pane of the format panel: the display kind (automatic, decimal, binary, octal,
// integer, hexadecimal, date, fraction, money, percent, scientific) and its options for the
// formats of the panel's domain, with a sample of the result. The pane edits its own copy of the
// number format and writes it into every format of the selection at each change; changes made
// while the pane's step is still the current one fold into one "Number" undo step.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"
#include "calculator/model/CANumberFormat.h"

#include <QStringList>

#include <cstdint>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QStackedWidget;

// The options tab that shows a display kind's controls (0 for kinds without options).
int NumberFormatTab(int32_t display);
// The kind's sample shown through the format: 1234567.89, or 1.2345 for percent, the day
// 1 December 2010 for dates and 19/2 for fractions.
QString NumberFormatSample(const CANumberFormat& format);
// The money item to show for a currency symbol: the first item after item 0 that is not a
// separator (an empty title) and begins with the symbol; item 0 when none does or without one.
int MoneyItemForSymbol(const QStringList& titles, const QString& symbol);

class CAFormatNumberVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatNumberVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  // Button ids are display kinds.
  QButtonGroup* formatMatrix() const { return formatMatrix_; }
  QStackedWidget* tabView() const { return tabView_; }
  QLineEdit* sampleField() const { return sampleField_; }
  QLineEdit* decimalField(int i) const { return decimalFields_[i]; }
  QSpinBox* decimalSpinner(int i) const { return decimalSpinners_[i]; }
  QCheckBox* defaultSizeButton(int i) const { return defaultSizeButtons_[i]; }
  QCheckBox* significantOnlyButton() const { return significantOnlyButton_; }
  QCheckBox* noScientificButton() const { return noScientificButton_; }
  QCheckBox* showHundredthsButton() const { return showHundredthsButton_; }
  QCheckBox* simpleFractionButton() const { return simpleFractionButton_; }
  QCheckBox* traditionalButton() const { return traditionalButton_; }
  QCheckBox* noSeparatorsButton() const { return noSeparatorsButton_; }
  QCheckBox* padMonthDayButton() const { return padMonthDayButton_; }
  QCheckBox* omitDayButton() const { return omitDayButton_; }
  QCheckBox* dashButton() const { return dashButton_; }
  QCheckBox* groupingButton() const { return groupingButton_; }
  QCheckBox* negativeParensButton() const { return negativeParensButton_; }
  QCheckBox* zeroBlankButton() const { return zeroBlankButton_; }
  QComboBox* orderPopup() const { return orderPopup_; }
  QComboBox* yearPopup() const { return yearPopup_; }
  QComboBox* monthPopup() const { return monthPopup_; }
  QComboBox* weekdayPopup() const { return weekdayPopup_; }
  QComboBox* moneyPopup() const { return moneyPopup_; }

  const CANumberFormat& numberFormat() const { return numberFormat_; }
  void setNumberFormat(const CANumberFormat& format) { numberFormat_ = format; }
  bool grouping() const { return grouping_; }
  void setGrouping(bool on);
  bool negativeParens() const { return negativeParens_; }
  void setNegativeParens(bool on);
  bool showHundredths() const { return showHundredths_; }
  void setShowHundredths(bool on);
  bool zeroBlank() const { return zeroBlank_; }
  void setZeroBlank(bool on);

  void selectionChanged() override;
  // Writes the pane's format into every format of the selection in the domain.
  void applyNumberFormat();
  void showSample();

  // The actions; each applies the format.
  void setDisplay(int display);
  void setDigitCount(QObject* sender);
  void setSignificantOnly();
  void setHundredths();
  void setNoScientific();
  void setSimpleFraction();
  void setTraditionalScientific();
  void setThousandsGrouping();
  void setParens();
  void setBlankZero();
  void setMoneySymbol();
  void setDateOption(QObject* sender);
  void setSeparators();
  void setPadding();
  void setOmitDay();
  void setDashDivider();

 protected:
  QWidget* loadView() override;

 private:
  void showDigitCount();

  QButtonGroup* formatMatrix_ = nullptr;
  QStackedWidget* tabView_ = nullptr;
  QLineEdit* sampleField_ = nullptr;
  QLineEdit* decimalFields_[3] = {};
  QSpinBox* decimalSpinners_[3] = {};
  QCheckBox* defaultSizeButtons_[3] = {};
  QCheckBox* significantOnlyButton_ = nullptr;
  QCheckBox* noScientificButton_ = nullptr;
  QCheckBox* showHundredthsButton_ = nullptr;
  QCheckBox* simpleFractionButton_ = nullptr;
  QCheckBox* traditionalButton_ = nullptr;
  QCheckBox* noSeparatorsButton_ = nullptr;
  QCheckBox* padMonthDayButton_ = nullptr;
  QCheckBox* omitDayButton_ = nullptr;
  QCheckBox* dashButton_ = nullptr;
  QCheckBox* groupingButton_ = nullptr;
  QCheckBox* negativeParensButton_ = nullptr;
  QCheckBox* zeroBlankButton_ = nullptr;
  QComboBox* orderPopup_ = nullptr;
  QComboBox* yearPopup_ = nullptr;
  QComboBox* monthPopup_ = nullptr;
  QComboBox* weekdayPopup_ = nullptr;
  QComboBox* moneyPopup_ = nullptr;

  CANumberFormat numberFormat_;
  bool grouping_ = false;
  bool negativeParens_ = false;
  bool showHundredths_ = false;
  bool zeroBlank_ = false;
  uint32_t undoID_ = 0xFFFFFFFF;
  bool editingStarted_ = false;
  bool showing_ = false;  // controls are being set from the format, not by the user
};
