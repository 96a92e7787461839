#include "calculator/controllers/CACalculatorBase.h"

#include "calculator/controllers/CACalculatorButton.h"
#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/controllers/caHelpTopics.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/controllers/caCalculatorPreferences.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/caModelServices.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

constexpr int kMaxDecimalDigits = 15;

}  // namespace

CACalculatorBase::CACalculatorBase(std::unique_ptr<CACalculatorEngine> engine, UserDefaults& defaults, QWidget* parent)
    : QWidget(parent, Qt::Window), engine_(std::move(engine)), defaults_(defaults) {
  backgroundView_ = new QWidget(this);
  keyGrid_ = new QGridLayout(backgroundView_);
  keyGrid_->setSpacing(4);
  keyGrid_->setContentsMargins(8, 8, 8, 8);
}

CACalculatorBase::~CACalculatorBase() {
  engine_->onDisplayChanged = nullptr;
  engine_->onFlash = nullptr;
  engine_->onStackChanged = nullptr;
}

CACalculatorButton* CACalculatorBase::addKey(QGridLayout* grid, const QString& title, bool isDigit, int code, int row,
                                             int column, int rowSpan, int columnSpan) {
  // The point key types the locale's decimal separator, which the display shows: it wears it.
  const bool point = isDigit && code == kDecimalPointDigit;
  auto* key = new CACalculatorButton(point ? NumberTextLocale().decimalSeparator : title, isDigit, code,
                                     backgroundView_);
  grid->addWidget(key, row, column, rowSpan, columnSpan);
  keys_.append(key);
  connect(key, &QPushButton::clicked, this, [this, key] {
    if (key->isDigit()) {
      if (!engine_->enterDigit(key->code(), false)) WorkspaceBeep();
    } else {
      engine_->executeFunction(key->code(), false);
    }
  });
  return key;
}

void CACalculatorBase::finishSetup(QWidget* keysAbove) {
  accumulatorField_ = new QLineEdit(this);
  accumulatorField_->setReadOnly(true);
  accumulatorField_->setFocusPolicy(Qt::NoFocus);
  accumulatorField_->setAlignment(Qt::AlignRight);
  QFont displayFont = accumulatorField_->font();
  displayFont.setPointSizeF(displayFont.pointSizeF() * 1.5);
  accumulatorField_->setFont(displayFont);

  auto* options = new QWidget(this);
  auto* form = new QFormLayout(options);
  digitsField_ = new QSpinBox(options);
  digitsField_->setRange(0, kMaxDecimalDigits);
  digitsField_->setValue(int(CalculatorPreferences().decimalDigits));
  form->addRow(tr("Decimal digits:"), digitsField_);
  auto* keyColor = new QPushButton(tr("Key Color…"), options);
  auto* backColor = new QPushButton(tr("Background Color…"), options);
  auto* reset = new QPushButton(tr("Reset Colors"), options);
  auto* done = new QPushButton(tr("Done"), options);
  form->addRow(keyColor);
  form->addRow(backColor);
  form->addRow(reset);
  form->addRow(done);
  connect(digitsField_, &QSpinBox::valueChanged, this, [this](int digits) { changeFloatDigits(digits); });
  connect(keyColor, &QPushButton::clicked, this, [this] { chooseColor(true); });
  connect(backColor, &QPushButton::clicked, this, [this] { chooseColor(false); });
  connect(reset, &QPushButton::clicked, this, &CACalculatorBase::resetColor);
  connect(done, &QPushButton::clicked, this, &CACalculatorBase::toggleOptions);

  tabView_ = new QStackedWidget(this);
  tabView_->addWidget(backgroundView_);
  tabView_->addWidget(options);

  auto* optionsButton = new QPushButton(tr("Options"), this);
  optionsButton->setFocusPolicy(Qt::NoFocus);
  optionsButton->setFlat(true);
  connect(optionsButton, &QPushButton::clicked, this, &CACalculatorBase::toggleOptions);
  auto* helpButton = new QPushButton(tr("Help"), this);
  helpButton->setObjectName(QStringLiteral("help"));
  helpButton->setFocusPolicy(Qt::NoFocus);
  helpButton->setFlat(true);
  connect(helpButton, &QPushButton::clicked, this, [this] { GiveHelp(helpTopic_); });
  auto* footer = new QHBoxLayout;
  footer->addWidget(helpButton);
  footer->addStretch();
  footer->addWidget(optionsButton);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  if (keysAbove) layout->addWidget(keysAbove);
  layout->addWidget(accumulatorField_);
  layout->addWidget(tabView_);
  layout->addLayout(footer);

  // The key view is invisible: one point in the corner that holds the keyboard.
  keyEaterView_ = new CAKeyEaterView(this, this);
  keyEaterView_->setGeometry(0, 0, 1, 1);
  setFocusProxy(keyEaterView_);

  auto* copyAction = new QAction(tr("Copy"), this);
  copyAction->setShortcut(QKeySequence::Copy);
  connect(copyAction, &QAction::triggered, this, &CACalculatorBase::copy);
  pasteAction_ = new QAction(tr("Paste"), this);
  pasteAction_->setShortcut(QKeySequence::Paste);
  connect(pasteAction_, &QAction::triggered, this, &CACalculatorBase::paste);
  addAction(copyAction);
  addAction(pasteAction_);
  pasteAction_->setEnabled(canPaste());
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] { pasteAction_->setEnabled(canPaste()); });

  engine_->onDisplayChanged = [this] { accumulatorField_->setText(engine_->displayText()); };
  engine_->onFlash = [this](bool isDigit, int code) {
    if (CACalculatorButton* key = isDigit ? buttonForDigit(code) : buttonForFunction(code)) key->flash();
  };

  engine_->load(defaults_);
  updateBackground();
  engine_->loadAccumulator();
  engine_->displayAccumulator();

  NotificationCenter& center = NotificationCenter::defaultCenter();
  center.addObserver(this, QLatin1String(kCalcDecimalChangeNotification), nullptr, [this](const Notification& note) {
    if (note.object != this) decimalDigitsChanged();
  });
  center.addObserver(this, QLatin1String(kQuittingNotification), nullptr,
                     [this](const Notification&) { saveCalculatorInfo(); });
  center.addObserver(this, QLatin1String(kCalcColorNotification), nullptr, [this](const Notification& note) {
    if (note.object == this) return;
    updateBackground();
    redrawButtons();
  });
}

CACalculatorButton* CACalculatorBase::buttonForDigit(int digit) const {
  for (CACalculatorButton* key : keys_) {
    if (key->isDigit() && key->code() == digit) return key;
  }
  return nullptr;
}

CACalculatorButton* CACalculatorBase::buttonForFunction(int code) const {
  for (CACalculatorButton* key : keys_) {
    if (!key->isDigit() && key->code() == code) return key;
  }
  return nullptr;
}

bool CACalculatorBase::executeFunction(int code, bool flash) { return engine_->executeFunction(code, flash); }

bool CACalculatorBase::handleCharacter(char16_t character) { return engine_->handleCharacter(character); }

// ---- Commands ------------------------------------------------------------------------------

void CACalculatorBase::copy() { QApplication::clipboard()->setText(accumulatorField_->text()); }

bool CACalculatorBase::canPaste() const {
  const QMimeData* data = QApplication::clipboard()->mimeData();
  return data && data->hasText();
}

void CACalculatorBase::paste() {
  if (canPaste()) engine_->paste(QApplication::clipboard()->text());
}

bool CACalculatorBase::showingOptions() const { return tabView_->currentIndex() != 0; }

void CACalculatorBase::toggleOptions() {
  const bool toKeys = showingOptions();
  tabView_->setCurrentIndex(toKeys ? 0 : 1);
  if (toKeys) keyEaterView_->setFocus();
}

void CACalculatorBase::changeFloatDigits(int64_t digits) {
  CACalculatorPreferences preferences = CalculatorPreferences();
  if (preferences.decimalDigits == digits) return;
  preferences.decimalDigits = digits;
  SetCalculatorPreferences(preferences);
  engine_->changeFloatDigits();
  NotificationCenter::defaultCenter().post(QLatin1String(kCalcDecimalChangeNotification), this);
}

void CACalculatorBase::decimalDigitsChanged() {
  if (digitsField_) {
    const QSignalBlocker blocker(digitsField_);
    digitsField_->setValue(int(CalculatorPreferences().decimalDigits));
  }
  engine_->changeFloatDigits();
}

void CACalculatorBase::chooseColor(bool forKeys) {
  const CACalculatorPreferences preferences = CalculatorPreferences();
  const Kolor current = forKeys ? preferences.buttonKolor : preferences.backKolor;
  auto* dialog = new QColorDialog(KolorIsColor(current) ? ColorFromKolor(current) : QColor(Qt::white), this);
  connect(dialog, &QColorDialog::colorSelected, this, [this, forKeys](const QColor& color) {
    const Kolor kolor = KolorFromColorCore(RemoveAlpha(color));
    if (forKeys) {
      changeButtonColor(kolor);
    } else {
      changeBackColor(kolor);
    }
  });
  connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
  dialog->open();
}

void CACalculatorBase::changeBackColor(Kolor kolor) {
  CACalculatorPreferences preferences = CalculatorPreferences();
  preferences.backKolor = kolor;
  SetCalculatorPreferences(preferences);
  updateBackground();
  NotificationCenter::defaultCenter().post(QLatin1String(kCalcColorNotification), this);
}

void CACalculatorBase::changeButtonColor(Kolor kolor) {
  CACalculatorPreferences preferences = CalculatorPreferences();
  preferences.buttonKolor = kolor;
  SetCalculatorPreferences(preferences);
  redrawButtons();
  NotificationCenter::defaultCenter().post(QLatin1String(kCalcColorNotification), this);
}

void CACalculatorBase::resetColor() {
  CACalculatorPreferences preferences = CalculatorPreferences();
  preferences.buttonKolor = kNoKolor;
  preferences.backKolor = kNoKolor;
  SetCalculatorPreferences(preferences);
  updateBackground();
  redrawButtons();
  NotificationCenter::defaultCenter().post(QLatin1String(kCalcColorNotification), this);
}

void CACalculatorBase::redrawButtons() {
  for (QWidget* child : backgroundView_->findChildren<QWidget*>()) child->update();
}

void CACalculatorBase::updateBackground() {
  const Kolor kolor = CalculatorPreferences().backKolor;
  QPalette palette = backgroundView_->palette();
  if (KolorIsColor(kolor)) {
    palette.setColor(QPalette::Window, ColorFromKolor(kolor));
    backgroundView_->setAutoFillBackground(true);
  } else {
    palette = QPalette();
    backgroundView_->setAutoFillBackground(false);
  }
  backgroundView_->setPalette(palette);
  backgroundView_->update();
}

void CACalculatorBase::saveCalculatorInfo() { engine_->save(defaults_); }

void CACalculatorBase::closeEvent(QCloseEvent* event) {
  saveCalculatorInfo();
  QWidget::closeEvent(event);
}

void CACalculatorBase::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Becoming the active window gives the keyboard back to the key view.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !showingOptions()) keyEaterView_->setFocus();
}

void CACalculatorBase::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!showingOptions()) keyEaterView_->setFocus();
}
