#include "calculator/controllers/CACalculatorProgram.h"

#include "calculator/controllers/CACalculatorButton.h"
#include "calculator/controllers/CAProgrammerEngine.h"
#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/controllers/caCalculatorPreferences.h"
#include "calculator/controllers/caHelpTopics.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "platform/UserDefaults.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QTimer>

namespace {

// The stack list's font: the first monospaced family present, else the system's fixed font.
const QFont& StackFont() {
  static const QFont font = [] {
    for (const char* family : {"Andale Mono", "Courier", "Monaco", "Menlo"}) {
      if (QFontDatabase::hasFamily(QLatin1String(family))) return QFont(QLatin1String(family));
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }();
  return font;
}

}  // namespace

CACalculatorProgram::CACalculatorProgram(UserDefaults& defaults, QWidget* parent)
    : CACalculatorBase(std::make_unique<CAProgrammerEngine>(), defaults, parent), defaults_(defaults) {
  setWindowTitle(tr("Programmer's Calculator"));
  struct Key {
    const char16_t* title;
    bool isDigit;
    int code;
  };
  static const Key kKeys[6][6] = {
      {{u"D", true, 13}, {u"E", true, 14}, {u"F", true, 15},
       {u"AND", false, kFunctionAnd}, {u"OR", false, kFunctionOr}, {u"XOR", false, kFunctionXor}},
      {{u"A", true, 10}, {u"B", true, 11}, {u"C", true, 12},
       {u"NOT", false, kFunctionNot}, {u"rem", false, kFunctionRemainder}, {u"÷", false, kFunctionDivide}},
      {{u"7", true, 7}, {u"8", true, 8}, {u"9", true, 9},
       {u"drop", false, kFunctionDrop}, {u"swap", false, kFunctionSwap}, {u"×", false, kFunctionMultiply}},
      {{u"4", true, 4}, {u"5", true, 5}, {u"6", true, 6},
       {u"±", false, kFunctionChangeSign}, {u"1/x", false, kFunctionReciprocal}, {u"−", false, kFunctionSubtract}},
      {{u"1", true, 1}, {u"2", true, 2}, {u"3", true, 3},
       {u"√", false, kFunctionSquareRoot}, {u"MR", false, kFunctionRecall}, {u"+", false, kFunctionAdd}},
      {{u"0", true, 0}, {u".", true, kDecimalPointDigit}, {u"⌫", false, kFunctionDelete},
       {u"clear", false, kFunctionClearEntry}, {u"MS", false, kFunctionStore}, {u"enter", false, kFunctionEnter}},
  };
  for (int row = 0; row < 6; ++row) {
    for (int column = 0; column < 6; ++column) {
      const Key& key = kKeys[row][column];
      addKey(keyGrid_, QString::fromUtf16(key.title), key.isDigit, key.code, row, column);
    }
  }

  auto* above = new QWidget(this);
  auto* row = new QHBoxLayout(above);
  row->setContentsMargins(0, 0, 0, 0);
  baseChooser_ = new QComboBox(above);
  baseChooser_->addItems({tr("Binary"), tr("Octal"), tr("Decimal"), tr("Hexadecimal"), tr("Floating")});
  baseChooser_->setFocusPolicy(Qt::NoFocus);
  stackButton_ = new QComboBox(above);
  stackButton_->setFocusPolicy(Qt::NoFocus);
  stackButton_->setMinimumContentsLength(16);
  wordSizeChooser_ = new QComboBox(above);
  wordSizeChooser_->setObjectName(QLatin1String(kCalcWordSizeKey));
  for (const int bits : kCalculatorWordSizes) wordSizeChooser_->addItem(tr("%1 bits").arg(bits), bits);
  wordSizeChooser_->setFocusPolicy(Qt::NoFocus);
  wordSizeChooser_->setToolTip(tr("Word size of the integers"));
  row->addWidget(baseChooser_);
  row->addWidget(wordSizeChooser_);
  row->addWidget(stackButton_, 1);
  connect(baseChooser_, &QComboBox::activated, this, [this](int index) {
    defaults_.setInteger(index, QLatin1String(kProgrammerBaseKey));
    changeBase();
  });
  connect(stackButton_, &QComboBox::activated, this, [this](int index) { recall(index); });
  connect(wordSizeChooser_, &QComboBox::activated, this, [this](int index) {
    CACalculatorPreferences preferences = CalculatorPreferences();
    preferences.wordSize = wordSizeChooser_->itemData(index).toInt();
    SetCalculatorPreferences(preferences);
    setWordSize();
  });

  programmerEngine().onStackChanged = [this] { updateStackPopup(); };
  helpTopic_ = kProgrammerCalculatorHelpTopic;
  finishSetup(above);
  changeBase();
  QTimer::singleShot(0, this, &CACalculatorProgram::updateStackPopup);
}

CAProgrammerEngine& CACalculatorProgram::programmerEngine() const {
  return static_cast<CAProgrammerEngine&>(engine());
}

void CACalculatorProgram::changeBase() {
  const QVariant stored = defaults_.objectForKey(QLatin1String(kProgrammerBaseKey));
  const int64_t index = stored.isValid() ? defaults_.integerForKey(QLatin1String(kProgrammerBaseKey))
                                         : kDefaultProgrammerBaseIndex;
  programmerEngine().changeBase(index);
  baseChooser_->setCurrentIndex(int(std::find(std::begin(kProgrammerBases), std::end(kProgrammerBases),
                                              programmerEngine().base()) -
                                    std::begin(kProgrammerBases)));
  enableDigitKeys();
  showWordSize();
}

void CACalculatorProgram::showWordSize() {
  wordSizeChooser_->setCurrentIndex(wordSizeChooser_->findData(CalculatorWordSize()));
  // Decimal floating numbers have no word.
  wordSizeChooser_->setEnabled(programmerEngine().isInteger());
}

void CACalculatorProgram::enableDigitKeys() {
  for (CACalculatorButton* key : keys()) {
    if (key->isDigit()) key->setEnabled(programmerEngine().allowsDigit(key->code()));
  }
}

void CACalculatorProgram::setWordSize() {
  programmerEngine().setWordSize();
  showWordSize();
}

void CACalculatorProgram::updateStackPopup() {
  stackButton_->clear();
  stackButton_->addItem(tr("Stack"));
  const CAProgrammerEngine& engine = programmerEngine();
  const bool monospaced = engine.isInteger() && engine.base() != 10;
  const QFont font = monospaced ? StackFont() : QFont();
  for (const QString& text : engine.stackTexts()) {
    stackButton_->addItem(text);
    const int index = stackButton_->count() - 1;
    stackButton_->setItemData(index, font, Qt::FontRole);
    stackButton_->setItemData(index, int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
  }
  stackButton_->setCurrentIndex(0);
}

void CACalculatorProgram::recall(int index) {
  programmerEngine().recall(index);
  stackButton_->setCurrentIndex(0);
}

void CACalculatorProgram::decimalDigitsChanged() {
  CACalculatorBase::decimalDigitsChanged();
  updateStackPopup();
}
