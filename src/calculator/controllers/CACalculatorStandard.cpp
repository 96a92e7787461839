#include "calculator/controllers/CACalculatorStandard.h"

#include "calculator/controllers/CACalculatorButton.h"
#include "calculator/controllers/CAStandardEngine.h"
#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/controllers/caHelpTopics.h"

#include <QGridLayout>

CACalculatorStandard::CACalculatorStandard(UserDefaults& defaults, QWidget* parent)
    : CACalculatorBase(std::make_unique<CAStandardEngine>(), defaults, parent) {
  setWindowTitle(tr("Calculator"));
  struct Key {
    const char16_t* title;
    bool isDigit;
    int code;
    int row, column, rowSpan, columnSpan;
  };
  static const Key kKeys[] = {
      {u"MC", false, kFunctionMemoryClear, 0, 0, 1, 1},  {u"M+", false, kFunctionMemoryAdd, 0, 1, 1, 1},
      {u"M−", false, kFunctionMemorySubtract, 0, 2, 1, 1}, {u"MR", false, kFunctionRecall, 0, 3, 1, 1},
      {u"MS", false, kFunctionStore, 0, 4, 1, 1},
      {u"AC", false, kFunctionAllClear, 1, 0, 1, 1},     {u"C", false, kFunctionClearEntry, 1, 1, 1, 1},
      {u"±", false, kFunctionChangeSign, 1, 2, 1, 1},    {u"%", false, kFunctionPercent, 1, 3, 1, 1},
      {u"÷", false, kFunctionDivide, 1, 4, 1, 1},
      {u"7", true, 7, 2, 0, 1, 1}, {u"8", true, 8, 2, 1, 1, 1}, {u"9", true, 9, 2, 2, 1, 1},
      {u"×", false, kFunctionMultiply, 2, 3, 1, 1},      {u"√", false, kFunctionSquareRoot, 2, 4, 1, 1},
      {u"4", true, 4, 3, 0, 1, 1}, {u"5", true, 5, 3, 1, 1, 1}, {u"6", true, 6, 3, 2, 1, 1},
      {u"−", false, kFunctionSubtract, 3, 3, 1, 1},      {u"1/x", false, kFunctionReciprocal, 3, 4, 1, 1},
      {u"1", true, 1, 4, 0, 1, 1}, {u"2", true, 2, 4, 1, 1, 1}, {u"3", true, 3, 4, 2, 1, 1},
      {u"+", false, kFunctionAdd, 4, 3, 1, 1},           {u"", false, kFunctionEquals, 4, 4, 2, 1},
      {u"0", true, 0, 5, 0, 1, 2}, {u".", true, kDecimalPointDigit, 5, 2, 1, 1},
      {u"⌫", false, kFunctionDelete, 5, 3, 1, 1},
  };
  for (const Key& key : kKeys) {
    CACalculatorButton* button = addKey(keyGrid_, QString::fromUtf16(key.title), key.isDigit, key.code, key.row,
                                        key.column, key.rowSpan, key.columnSpan);
    if (key.rowSpan > 1) button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  }
  helpTopic_ = kStandardCalculatorHelpTopic;
  finishSetup();
}

CAStandardEngine& CACalculatorStandard::standardEngine() const { return static_cast<CAStandardEngine&>(engine()); }
