#include "calculator/controllers/CAFormatNumberVC.h"

#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLUndoManager.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

constexpr uint32_t kNoPaneUndo = 0xFFFFFFFF;
constexpr int kMaxDigits = 30;

// Tabs of the option pages, in the order of the tab view.
enum : int { kTabNone, kTabDecimal, kTabMoney, kTabInteger, kTabDate, kTabPercent, kTabFraction, kTabScientific };
constexpr int kTabCount = 8;

// The page of each digit field, steppers and default-size box.
constexpr int kDigitTabs[3] = {kTabDecimal, kTabMoney, kTabPercent};

QCheckBox* NewCheckBox(const QString& title, const char* name, QWidget* parent) {
  auto* box = new QCheckBox(title, parent);
  box->setObjectName(QLatin1String(name));
  return box;
}

QComboBox* NewPopup(const QStringList& items, const char* name, QWidget* parent) {
  auto* popup = new QComboBox(parent);
  popup->setObjectName(QLatin1String(name));
  popup->addItems(items);
  return popup;
}

// Selects an item, or none for an index the pop-up does not have.
void SelectItem(QComboBox* popup, int index) { popup->setCurrentIndex(index >= 0 && index < popup->count() ? index : -1); }

}  // namespace

int NumberFormatTab(int32_t display) {
  switch (display) {
    case kDisplayFloat: return kTabDecimal;
    case kDisplayInteger: return kTabInteger;
    case kDisplayDate: return kTabDate;
    case kDisplayFraction: return kTabFraction;
    case kDisplayMoney: return kTabMoney;
    case kDisplayPercent: return kTabPercent;
    case kDisplayScientific: return kTabScientific;
    default: return kTabNone;
  }
}

QString NumberFormatSample(const CANumberFormat& format) {
  switch (format.display()) {
    case kDisplayDate: return CANumber::withInteger(20101201).formatWith(&format);
    case kDisplayFraction: return CANumber::withNumerator(19, 2).formatWith(&format);
    case kDisplayPercent: return CANumber::withReal(1.2345L).formatWith(&format);
    default: return CANumber::withReal(1234567.89L).formatWith(&format);
  }
}

int MoneyItemForSymbol(const QStringList& titles, const QString& symbol) {
  if (symbol.isEmpty()) return 0;
  for (int i = 1; i < titles.size(); ++i) {
    if (!titles[i].isEmpty() && titles[i].startsWith(symbol)) return i;
  }
  return 0;
}

QWidget* CAFormatNumberVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Number"));
  auto* layout = new QVBoxLayout(view);
  layout->setContentsMargins(8, 6, 8, 6);
  layout->setSpacing(4);

  // The display kinds, two columns of radio buttons.
  const QStringList kinds = {QStringLiteral("Automatic"), QStringLiteral("Decimal"),  QStringLiteral("Binary"),
                             QStringLiteral("Octal"),     QStringLiteral("Integer"),  QStringLiteral("Hexadecimal"),
                             QStringLiteral("Date"),      QStringLiteral("Fraction"), QStringLiteral("Money"),
                             QStringLiteral("Percent"),   QStringLiteral("Scientific")};
  formatMatrix_ = new QButtonGroup(view);
  formatMatrix_->setObjectName(QStringLiteral("formatMatrix"));
  auto* matrix = new QGridLayout;
  matrix->setVerticalSpacing(2);
  const int rows = int(kinds.size() + 1) / 2;
  for (int kind = 0; kind < kinds.size(); ++kind) {
    auto* button = new QRadioButton(kinds[kind], view);
    button->setObjectName(QStringLiteral("formatMatrix%1").arg(kind));
    formatMatrix_->addButton(button, kind);
    matrix->addWidget(button, kind % rows, kind / rows);
  }
  layout->addLayout(matrix);

  // The option pages.
  tabView_ = new QStackedWidget(view);
  tabView_->setObjectName(QStringLiteral("tabView"));
  QFormLayout* pages[kTabCount];
  for (int tab = 0; tab < kTabCount; ++tab) {
    auto* page = new QWidget(tabView_);
    pages[tab] = new QFormLayout(page);
    pages[tab]->setContentsMargins(0, 4, 0, 4);
    tabView_->addWidget(page);
  }
  for (int i = 0; i < 3; ++i) {
    QWidget* page = tabView_->widget(kDigitTabs[i]);
    decimalFields_[i] = new QLineEdit(page);
    decimalFields_[i]->setObjectName(QStringLiteral("decimalField%1").arg(i + 1));
    decimalFields_[i]->setValidator(new QIntValidator(0, kMaxDigits, decimalFields_[i]));
    decimalFields_[i]->setFixedWidth(40);
    decimalSpinners_[i] = new QSpinBox(page);
    decimalSpinners_[i]->setObjectName(QStringLiteral("decimalSpinner%1").arg(i + 1));
    decimalSpinners_[i]->setRange(0, kMaxDigits);
    decimalSpinners_[i]->setFixedWidth(20);  // the arrows only: the field shows the count
    defaultSizeButtons_[i] = NewCheckBox(QStringLiteral("Default"), "", page);
    defaultSizeButtons_[i]->setObjectName(QStringLiteral("defaultSizeButton%1").arg(i + 1));
    auto* row = new QHBoxLayout;
    row->addWidget(decimalFields_[i]);
    row->addWidget(decimalSpinners_[i]);
    row->addWidget(defaultSizeButtons_[i]);
    row->addStretch();
    pages[kDigitTabs[i]]->addRow(QStringLiteral("Decimals"), row);
  }
  QWidget* decimal = tabView_->widget(kTabDecimal);
  significantOnlyButton_ = NewCheckBox(QStringLiteral("Significant digits only"), "significantOnlyButton", decimal);
  showHundredthsButton_ = NewCheckBox(QStringLiteral("Show hundredths"), "showHundredthsButton", decimal);
  noScientificButton_ = NewCheckBox(QStringLiteral("No scientific notation"), "noScientificButton", decimal);
  for (QCheckBox* box : {significantOnlyButton_, showHundredthsButton_, noScientificButton_}) pages[kTabDecimal]->addRow(box);
  moneyPopup_ = NewPopup({QString(), QStringLiteral("$ Dollar"), QStringLiteral("€ Euro"), QStringLiteral("£ Pound"),
                          QStringLiteral("¥ Yen"), QStringLiteral("₹ Rupee"), QStringLiteral("₩ Won"),
                          QStringLiteral("₽ Ruble"), QStringLiteral("₺ Lira"), QStringLiteral("¤ Currency")},
                         "moneyPopup", tabView_->widget(kTabMoney));
  moneyPopup_->setItemText(0, QStringLiteral("System Preference: %1").arg(NumberTextLocale().currencySymbol));
  moneyPopup_->insertSeparator(1);
  pages[kTabMoney]->addRow(QStringLiteral("Symbol"), moneyPopup_);
  QWidget* date = tabView_->widget(kTabDate);
  orderPopup_ = NewPopup({QStringLiteral("Day Month Year"), QStringLiteral("Month Day Year"),
                          QStringLiteral("Year Month Day")}, "orderPopup", date);
  yearPopup_ = NewPopup({QStringLiteral("None"), QStringLiteral("Two digits"), QStringLiteral("Four digits")},
                        "yearPopup", date);
  monthPopup_ = NewPopup({QStringLiteral("None"), QStringLiteral("Number"), QStringLiteral("Short name"),
                          QStringLiteral("Long name")}, "monthPopup", date);
  weekdayPopup_ = NewPopup({QStringLiteral("None"), QStringLiteral("Short name"), QStringLiteral("Long name")},
                           "weekdayPopup", date);
  pages[kTabDate]->addRow(QStringLiteral("Order"), orderPopup_);
  pages[kTabDate]->addRow(QStringLiteral("Year"), yearPopup_);
  pages[kTabDate]->addRow(QStringLiteral("Month"), monthPopup_);
  pages[kTabDate]->addRow(QStringLiteral("Weekday"), weekdayPopup_);
  noSeparatorsButton_ = NewCheckBox(QStringLiteral("No separators"), "noSeparatorsButton", date);
  padMonthDayButton_ = NewCheckBox(QStringLiteral("Two-digit month and day"), "padMonthDayButton", date);
  omitDayButton_ = NewCheckBox(QStringLiteral("Omit day"), "omitDayButton", date);
  dashButton_ = NewCheckBox(QStringLiteral("Dash divider"), "dashButton", date);
  for (QCheckBox* box : {noSeparatorsButton_, padMonthDayButton_, omitDayButton_, dashButton_}) pages[kTabDate]->addRow(box);
  simpleFractionButton_ = NewCheckBox(QStringLiteral("Simple fraction"), "simpleFractionButton", tabView_->widget(kTabFraction));
  pages[kTabFraction]->addRow(simpleFractionButton_);
  traditionalButton_ = NewCheckBox(QStringLiteral("Traditional notation"), "traditionalButton", tabView_->widget(kTabScientific));
  pages[kTabScientific]->addRow(traditionalButton_);
  layout->addWidget(tabView_);

  // Options every kind shares.
  groupingButton_ = NewCheckBox(QStringLiteral("Thousands separator"), "groupingButton", view);
  negativeParensButton_ = NewCheckBox(QStringLiteral("Negative in parentheses"), "negativeParensButton", view);
  zeroBlankButton_ = NewCheckBox(QStringLiteral("Blank zero"), "zeroBlankButton", view);
  for (QCheckBox* box : {groupingButton_, negativeParensButton_, zeroBlankButton_}) layout->addWidget(box);
  sampleField_ = new QLineEdit(view);
  sampleField_->setObjectName(QStringLiteral("sampleField"));
  sampleField_->setReadOnly(true);
  sampleField_->setFocusPolicy(Qt::NoFocus);
  sampleField_->clear();
  layout->addWidget(sampleField_);

  // Only the user's own changes act: clicked and activated are not sent when the pane sets them.
  connect(formatMatrix_, &QButtonGroup::idClicked, this, &CAFormatNumberVC::setDisplay);
  for (int i = 0; i < 3; ++i) {
    QLineEdit* field = decimalFields_[i];
    connect(field, &QLineEdit::textEdited, this, [this] { editingStarted_ = true; });
    connect(field, &QLineEdit::editingFinished, this, [this, field] {
      if (!editingStarted_) return;
      editingStarted_ = false;
      setDigitCount(field);
    });
    QSpinBox* spinner = decimalSpinners_[i];
    connect(spinner, &QSpinBox::valueChanged, this, [this, spinner] {
      if (!showing_) setDigitCount(spinner);
    });
    QCheckBox* box = defaultSizeButtons_[i];
    connect(box, &QCheckBox::clicked, this, [this, box] { setDigitCount(box); });
  }
  const std::pair<QCheckBox*, void (CAFormatNumberVC::*)()> actions[] = {
      {significantOnlyButton_, &CAFormatNumberVC::setSignificantOnly},
      {noScientificButton_, &CAFormatNumberVC::setNoScientific},
      {simpleFractionButton_, &CAFormatNumberVC::setSimpleFraction},
      {traditionalButton_, &CAFormatNumberVC::setTraditionalScientific},
      {noSeparatorsButton_, &CAFormatNumberVC::setSeparators},
      {padMonthDayButton_, &CAFormatNumberVC::setPadding},
      {omitDayButton_, &CAFormatNumberVC::setOmitDay},
      {dashButton_, &CAFormatNumberVC::setDashDivider}};
  for (const auto& [box, action] : actions) connect(box, &QCheckBox::clicked, this, action);
  const std::pair<QCheckBox*, void (CAFormatNumberVC::*)(bool)> bound[] = {
      {groupingButton_, &CAFormatNumberVC::setGrouping},
      {negativeParensButton_, &CAFormatNumberVC::setNegativeParens},
      {showHundredthsButton_, &CAFormatNumberVC::setShowHundredths},
      {zeroBlankButton_, &CAFormatNumberVC::setZeroBlank}};
  for (const auto& [box, setter] : bound) connect(box, &QCheckBox::clicked, this, setter);
  connect(groupingButton_, &QCheckBox::clicked, this, &CAFormatNumberVC::setThousandsGrouping);
  connect(negativeParensButton_, &QCheckBox::clicked, this, &CAFormatNumberVC::setParens);
  connect(showHundredthsButton_, &QCheckBox::clicked, this, &CAFormatNumberVC::setHundredths);
  connect(zeroBlankButton_, &QCheckBox::clicked, this, &CAFormatNumberVC::setBlankZero);
  connect(moneyPopup_, &QComboBox::activated, this, &CAFormatNumberVC::setMoneySymbol);
  for (QComboBox* popup : {orderPopup_, yearPopup_, monthPopup_, weekdayPopup_}) {
    connect(popup, &QComboBox::activated, this, [this, popup] { setDateOption(popup); });
  }
  view->resize(view->sizeHint());
  return view;
}

void CAFormatNumberVC::setGrouping(bool on) {
  grouping_ = on;
  if (groupingButton_) groupingButton_->setChecked(on);
}

void CAFormatNumberVC::setNegativeParens(bool on) {
  negativeParens_ = on;
  if (negativeParensButton_) negativeParensButton_->setChecked(on);
}

void CAFormatNumberVC::setShowHundredths(bool on) {
  showHundredths_ = on;
  if (showHundredthsButton_) showHundredthsButton_->setChecked(on);
}

void CAFormatNumberVC::setZeroBlank(bool on) {
  zeroBlank_ = on;
  if (zeroBlankButton_) zeroBlankButton_->setChecked(on);
}

void CAFormatNumberVC::selectionChanged() {
  undoID_ = kNoPaneUndo;
  if (!document() || !formatMatrix_) return;
  const CAFormat* format = document()->formatForDomain(formatDomain());
  const bool owned = format && format->hasPropertyForMask(kFormatNumberFormat) && format->numberFormat();
  numberFormat_ = owned ? *format->numberFormat() : CANumberFormat();
  const CANumberFormat& f = numberFormat_;
  setGrouping(f.groupThousands());
  setNegativeParens(f.negativeParens());
  setShowHundredths(f.forceHundredths());
  setZeroBlank(f.zeroBlank());
  if (QAbstractButton* button = formatMatrix_->button(f.display())) button->setChecked(true);
  tabView_->setCurrentIndex(NumberFormatTab(f.display()));
  showDigitCount();
  significantOnlyButton_->setChecked(f.display() == kDisplayFloat && f.onlySignificantDigits());
  noScientificButton_->setChecked(f.display() == kDisplayFloat && f.disallowScientific());
  simpleFractionButton_->setChecked(f.display() == kDisplayFraction && f.keepFraction());
  traditionalButton_->setChecked(f.display() == kDisplayScientific && f.traditionalScientific());
  SelectItem(orderPopup_, f.dateOrder() - 1);
  SelectItem(yearPopup_, f.yearOption());
  SelectItem(monthPopup_, f.monthOption());
  SelectItem(weekdayPopup_, f.weekdayOption());
  noSeparatorsButton_->setChecked(f.omitSeparators());
  padMonthDayButton_->setChecked(f.padDayMonth());
  omitDayButton_->setChecked(f.omitDay());
  dashButton_->setChecked(f.shortDashes());
  if (f.display() == kDisplayMoney) {
    QStringList titles;
    for (int i = 0; i < moneyPopup_->count(); ++i) titles.append(moneyPopup_->itemText(i));
    moneyPopup_->setCurrentIndex(MoneyItemForSymbol(titles, f.currencySymbol()));
  }
  showSample();
}

void CAFormatNumberVC::showDigitCount() {
  const int64_t size = numberFormat_.size();
  const bool shown = size > 0 && size <= kMaxDigits;
  showing_ = true;
  for (int i = 0; i < 3; ++i) {
    defaultSizeButtons_[i]->setChecked(size < 0);
    decimalFields_[i]->setText(shown ? QString::number(size) : QString());
    decimalSpinners_[i]->setValue(shown ? int(size) : 0);
  }
  showing_ = false;
}

void CAFormatNumberVC::showSample() {
  if (sampleField_) sampleField_->setText(NumberFormatSample(numberFormat_));
}

void CAFormatNumberVC::applyNumberFormat() {
  CADocument* target = document();
  FLUndoManager* undo = undoManager();
  if (!target || !undo || target->isLocked()) return;
  const int32_t domain = formatDomain();
  const GridRange range = target->selectionAdaptedToDomain(domain);
  const bool makesFormats = numberFormat_.display() != kDisplayAuto;
  // A change the model would refuse records no step that undoes nothing.
  if (makesFormats && !target->formatsFitCommandLimit(range, domain)) {
    WorkspaceBeep();
    return;
  }
  if (undoID_ == kNoPaneUndo || !undo->isUndoIDActive(undoID_)) undoID_ = undo->newUndoID();
  if (!target->setUndo(undoID_, kUndoActionFormats, kUndoNumber, range, domain)) return;
  for (CAFormat* format : target->formatsInRange(range, domain, makesFormats)) {
    format->setNumberFormat(&numberFormat_);
  }
  redrawSelection();
  showSample();
}

void CAFormatNumberVC::setDisplay(int display) {
  numberFormat_.setDisplay(display);
  if (tabView_) tabView_->setCurrentIndex(NumberFormatTab(display));
  applyNumberFormat();
  selectionChanged();
}

void CAFormatNumberVC::setDigitCount(QObject* sender) {
  if (std::find(std::begin(defaultSizeButtons_), std::end(defaultSizeButtons_), sender) != std::end(defaultSizeButtons_)) {
    numberFormat_.setSize(-1);
  } else if (auto* field = qobject_cast<QLineEdit*>(sender)) {
    numberFormat_.setSize(std::clamp(field->text().toInt(), 0, kMaxDigits));
  } else if (auto* spinner = qobject_cast<QSpinBox*>(sender)) {
    numberFormat_.setSize(spinner->value());
  }
  applyNumberFormat();
  selectionChanged();
}

void CAFormatNumberVC::setSignificantOnly() {
  const bool on = significantOnlyButton_->isChecked();
  numberFormat_.setOnlySignificantDigits(on);
  if (on) {
    numberFormat_.setForceHundredths(false);
    setShowHundredths(false);
  }
  applyNumberFormat();
}

void CAFormatNumberVC::setHundredths() {
  numberFormat_.setForceHundredths(showHundredths_);
  if (showHundredths_) {
    numberFormat_.setOnlySignificantDigits(false);
    significantOnlyButton_->setChecked(false);
  }
  applyNumberFormat();
}

void CAFormatNumberVC::setNoScientific() {
  numberFormat_.setDisallowScientific(noScientificButton_->isChecked());
  applyNumberFormat();
}

void CAFormatNumberVC::setSimpleFraction() {
  numberFormat_.setKeepFraction(simpleFractionButton_->isChecked());
  applyNumberFormat();
}

void CAFormatNumberVC::setTraditionalScientific() {
  numberFormat_.setTraditionalScientific(traditionalButton_->isChecked());
  applyNumberFormat();
}

void CAFormatNumberVC::setThousandsGrouping() {
  numberFormat_.setGroupThousands(grouping_);
  applyNumberFormat();
}

void CAFormatNumberVC::setParens() {
  numberFormat_.setNegativeParens(negativeParens_);
  applyNumberFormat();
}

void CAFormatNumberVC::setBlankZero() {
  numberFormat_.setZeroBlank(zeroBlank_);
  applyNumberFormat();
}

void CAFormatNumberVC::setMoneySymbol() {
  const int item = moneyPopup_->currentIndex();
  numberFormat_.setCurrencySymbol(item <= 0 ? QString() : moneyPopup_->itemText(item).left(1));
  applyNumberFormat();
}

void CAFormatNumberVC::setDateOption(QObject* sender) {
  if (sender == orderPopup_)
    numberFormat_.setDateOrder(orderPopup_->currentIndex() + 1);
  else if (sender == yearPopup_)
    numberFormat_.setYearOption(yearPopup_->currentIndex());
  else if (sender == monthPopup_)
    numberFormat_.setMonthOption(monthPopup_->currentIndex());
  else if (sender == weekdayPopup_)
    numberFormat_.setWeekdayOption(weekdayPopup_->currentIndex());
  else
    LogAssert("Unknown control", __func__, __FILE__, __LINE__);
  applyNumberFormat();
}

void CAFormatNumberVC::setSeparators() {
  numberFormat_.setOmitSeparators(noSeparatorsButton_->isChecked());
  applyNumberFormat();
}

void CAFormatNumberVC::setPadding() {
  numberFormat_.setPadDayMonth(padMonthDayButton_->isChecked());
  applyNumberFormat();
}

void CAFormatNumberVC::setOmitDay() {
  numberFormat_.setOmitDay(omitDayButton_->isChecked());
  applyNumberFormat();
}

void CAFormatNumberVC::setDashDivider() {
  numberFormat_.setShortDashes(dashButton_->isChecked());
  applyNumberFormat();
}
