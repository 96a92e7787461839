#include "calculator/controllers/CACalculatorConverter.h"

#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/controllers/caHelpTopics.h"
#include "calculator/controllers/caCalculatorPreferences.h"
#include "calculator/model/caModelServices.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CACalculatorConverter::CACalculatorConverter(UserDefaults& defaults, QWidget* parent)
    : QWidget(parent, Qt::Window), defaults_(defaults) {
  setWindowTitle(tr("Unit Converter"));
  choice_ = ConverterChoiceFromString(defaults_.stringForKey(QLatin1String(kConverterUnitKey)));

  numberFormat_.setDisplay(kDisplayFloat);
  numberFormat_.setGroupThousands(true);
  numberFormat_.setOnlySignificantDigits(true);
  numberFormat_.setSize(CalculatorPreferences().decimalDigits);

  auto* categories = new QWidget(this);
  auto* categoryColumn = new QVBoxLayout(categories);
  categoryMatrix_ = new QButtonGroup(this);
  for (int row = 0; row < int(UnitCategories().size()); ++row) {
    auto* button = new QRadioButton(tr(UnitCategories()[size_t(row)].name), categories);
    categoryMatrix_->addButton(button, row);
    categoryColumn->addWidget(button);
  }
  categoryColumn->addStretch();

  fromTable_ = new QListWidget(this);
  toTable_ = new QListWidget(this);
  valueField_ = new QLineEdit(this);
  convertField_ = new QLineEdit(this);
  convertField_->setReadOnly(true);
  fromUnitLabel_ = new QLabel(this);
  toUnitLabel_ = new QLabel(this);
  auto* convertButton = new QPushButton(tr("Convert"), this);
  convertButton->setDefault(true);
  auto* copyButton = new QPushButton(tr("Copy"), this);

  auto* grid = new QGridLayout(this);
  grid->addWidget(categories, 0, 0, 4, 1);
  grid->addWidget(new QLabel(tr("From:"), this), 0, 1);
  grid->addWidget(new QLabel(tr("To:"), this), 0, 2);
  grid->addWidget(fromTable_, 1, 1);
  grid->addWidget(toTable_, 1, 2);
  grid->addWidget(valueField_, 2, 1);
  grid->addWidget(convertField_, 2, 2);
  grid->addWidget(fromUnitLabel_, 3, 1);
  grid->addWidget(toUnitLabel_, 3, 2);
  auto* helpButton = new QPushButton(tr("Help"), this);
  helpButton->setObjectName(QStringLiteral("help"));
  helpButton->setAutoDefault(false);
  connect(helpButton, &QPushButton::clicked, this, [] { GiveHelp(kConverterHelpTopic); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(helpButton);
  buttons->addStretch();
  buttons->addWidget(copyButton);
  buttons->addWidget(convertButton);
  grid->addLayout(buttons, 4, 0, 1, 3);

  reloadUnits();
  categoryMatrix_->button(choice_.category)->setChecked(true);

  connect(categoryMatrix_, &QButtonGroup::idClicked, this, &CACalculatorConverter::changeCategory);
  connect(fromTable_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0) return;
    choice_.fromUnit = row;
    showUnitNames();
  });
  connect(toTable_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0) return;
    choice_.toUnit = row;
    showUnitNames();
  });
  connect(valueField_, &QLineEdit::returnPressed, this, &CACalculatorConverter::convert);
  connect(convertButton, &QPushButton::clicked, this, &CACalculatorConverter::convert);
  connect(copyButton, &QPushButton::clicked, this, &CACalculatorConverter::copy);
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kCalcDecimalChangeNotification), nullptr,
                                                  [this](const Notification&) { decimalDigitsChanged(); });
  valueField_->setFocus();
}

void CACalculatorConverter::reloadUnits() {
  const QSignalBlocker fromBlocker(fromTable_);
  const QSignalBlocker toBlocker(toTable_);
  fromTable_->clear();
  toTable_->clear();
  for (const CAUnitEntry& unit : UnitCategories()[size_t(choice_.category)].units) {
    fromTable_->addItem(tr(unit.name));
    toTable_->addItem(tr(unit.name));
  }
  fromTable_->setCurrentRow(choice_.fromUnit);
  toTable_->setCurrentRow(choice_.toUnit);
  showUnitNames();
}

void CACalculatorConverter::showUnitNames() {
  const auto units = UnitCategories()[size_t(choice_.category)].units;
  fromUnitLabel_->setText(tr(units[size_t(choice_.fromUnit)].name));
  toUnitLabel_->setText(tr(units[size_t(choice_.toUnit)].name));
}

void CACalculatorConverter::changeCategory(int category) {
  if (category < 0 || category >= int(UnitCategories().size())) return;
  // The numbers of the old category mean nothing in the new one.
  if (category != choice_.category) {
    valueField_->clear();
    convertField_->clear();
  }
  choice_ = {category, 0, 0};
  categoryMatrix_->button(category)->setChecked(true);
  reloadUnits();
}

void CACalculatorConverter::convert() {
  const std::optional<CANumber> value = ConverterValueFromText(valueField_->text(), choice_);
  if (!value) {
    convertField_->clear();
    WorkspaceBeep();
    return;
  }
  convertField_->setText(ConvertUnits(*value, choice_).formatWith(&numberFormat_));
  valueField_->setFocus();
}

void CACalculatorConverter::copy() { QApplication::clipboard()->setText(convertField_->text()); }

void CACalculatorConverter::decimalDigitsChanged() {
  numberFormat_.setSize(CalculatorPreferences().decimalDigits);
  if (!valueField_->text().isEmpty()) convert();
}

void CACalculatorConverter::saveChoice() {
  defaults_.setString(StringFromConverterChoice(choice_), QLatin1String(kConverterUnitKey));
}

void CACalculatorConverter::closeEvent(QCloseEvent* event) {
  saveChoice();
  QWidget::closeEvent(event);
}
