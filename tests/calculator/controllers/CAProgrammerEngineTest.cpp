#include "calculator/controllers/CAProgrammerEngine.h"

#include "CalculatorTestSupport.h"
#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/LocaleTestSupport.h"

#include <limits>

namespace {

using ProgrammerEngineTest = CalculatorTest;

// Keys as text: digits and operator characters, "E" for Enter, "R" remainder, "N" not,
// "D" drop, "S" swap, "C" change sign.
bool Key(CAProgrammerEngine& engine, QChar key) {
  switch (key.unicode()) {
    case u'E': return engine.executeFunction(kFunctionEnter, false);
    case u'R': return engine.executeFunction(kFunctionRemainder, false);
    case u'N': return engine.executeFunction(kFunctionNot, false);
    case u'D': return engine.executeFunction(kFunctionDrop, false);
    case u'S': return engine.executeFunction(kFunctionSwap, false);
    case u'C': return engine.executeFunction(kFunctionChangeSign, false);
    case u'^': return engine.executeFunction(kFunctionXor, false);
    case u' ': return true;
    default: return engine.handleCharacter(key.unicode());
  }
}

bool Keys(CAProgrammerEngine& engine, const char* keys) {
  bool all = true;
  for (const QChar key : QString::fromLatin1(keys)) all = Key(engine, key) && all;
  return all;
}

TEST_F(ProgrammerEngineTest, ReversePolishKeysInDecimal) {
  struct Case {
    const char* keys;
    QList<CANumber> stack;  // top first
  };
  const Case cases[] = {
      {"7E3R", {Exact(1)}},              // the lower entry is the left operand
      {"7C3R", {Exact(-1)}},             // truncating remainder keeps the left sign
      {"5EE", {Exact(5), Exact(5)}},      // Enter with nothing typed duplicates the top
      {"10E4-", {Exact(6)}},
      {"10E4/", {Exact(2)}},             // integers stay integers
      {"12E10&", {Exact(8)}},
      {"12E10|", {Exact(14)}},
      {"12E10^", {Exact(6)}},
      {"0N", {Exact(-1)}},
      {"1E2E3D", {Exact(2), Exact(1)}},
      {"1E2S", {Exact(1), Exact(2)}},     // typing then a function enters the number first
      {"6E7*", {Exact(42)}},
  };
  for (const Case& c : cases) {
    CAProgrammerEngine engine;
    EXPECT_TRUE(Keys(engine, c.keys)) << c.keys;
    EXPECT_EQ(engine.stack(), c.stack) << c.keys;
  }
  EXPECT_EQ(beeps, 0);
}

TEST_F(ProgrammerEngineTest, WordsOfEverySizeWrapAtTheirEnds) {
  constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
  struct Case {
    int bits;
    const char* keys;  // in hexadecimal
    int64_t top;
  };
  const Case cases[] = {
      {8, "7FE1+", -128},           {16, "7FFFE1+", -32768},
      {32, "7FFFFFFFE1+", INT32_MIN}, {64, "7FFFFFFFFFFFFFFFE1+", kMin64},
      {64, "8000000000000000E1-", kMax64}, {64, "8000000000000000C", kMin64},
      {64, "4000000000000000E4*", 0},  {64, "7FFFFFFFFFFFFFFFE3*", kMax64 - 2},
      // The lowest word divided by -1.
      {8, "80EFF/", -128},          {16, "8000EFFFF/", -32768},
      {32, "80000000EFFFFFFFF/", INT32_MIN}, {64, "8000000000000000EFFFFFFFFFFFFFFFF/", kMin64},
      {64, "8000000000000001EFFFFFFFFFFFFFFFF/", kMax64}, {64, "8000000000000000E2/", kMin64 / 2},
  };
  for (const Case& c : cases) {
    CACalculatorPreferences preferences;
    preferences.wordSize = c.bits;
    SetCalculatorPreferences(preferences);
    CAProgrammerEngine engine;
    engine.changeBase(3);
    EXPECT_TRUE(Keys(engine, c.keys)) << c.keys;
    EXPECT_EQ(engine.stack().first(), Exact(c.top)) << c.bits << ' ' << c.keys;
  }
  EXPECT_EQ(beeps, 0);
}

TEST_F(ProgrammerEngineTest, BasesAllowOnlyTheirDigits) {
  struct Case {
    int index;
    const char* allowed;
  };
  const Case cases[] = {{0, "01"}, {1, "01234567"}, {2, "0123456789"}, {3, "0123456789ABCDEF"}, {4, "0123456789."}};
  for (const Case& c : cases) {
    CAProgrammerEngine engine;
    engine.changeBase(c.index);
    const QString allowed = QString::fromLatin1(c.allowed);
    for (const QChar key : QStringLiteral("0123456789ABCDEF.")) {
      const std::optional<int> digit = CalculatorDigitForCharacter(key.unicode());
      ASSERT_TRUE(digit.has_value()) << key.toLatin1();
      EXPECT_EQ(engine.enterDigit(*digit, false), allowed.contains(key)) << c.index << ' ' << key.toLatin1();
    }
  }
}

TEST_F(ProgrammerEngineTest, NumbersAreReadAndShownInTheBase) {
  CAProgrammerEngine engine;
  engine.changeBase(3);  // hexadecimal
  EXPECT_TRUE(Keys(engine, "FFE1+"));
  EXPECT_EQ(engine.stack().first(), Exact(256));
  engine.changeBase(0);
  EXPECT_EQ(engine.displayText(), CANumber(256).formatWith([] {
    static CANumberFormat format;
    format.setDisplay(kDisplayBinary);
    format.setGroupThousands(true);
    return &format;
  }()));
  engine.changeBase(4);  // decimal floating
  EXPECT_TRUE(Keys(engine, "1.5E2/"));
  EXPECT_EQ(engine.displayText(), QStringLiteral("0.75"));
  engine.changeBase(99);  // out of range: decimal
  EXPECT_EQ(engine.base(), 10);
}

TEST_F(ProgrammerEngineTest, EqualsAndMissingOperandsBeep) {
  CAProgrammerEngine engine;
  EXPECT_FALSE(engine.executeFunction(kFunctionEquals, false));
  EXPECT_FALSE(engine.executeFunction(kFunctionEnter, false));  // nothing to duplicate
  EXPECT_FALSE(Keys(engine, "5+"));
  EXPECT_FALSE(engine.executeFunction(kFunctionSwap, false));
  EXPECT_FALSE(engine.executeFunction(12, false));
  EXPECT_EQ(beeps, 5);
}

TEST_F(ProgrammerEngineTest, RemainderAndDivisionByZeroShowTheErrorAndKeepTheOperands) {
  for (const char* keys : {"7E0R", "7E0/"}) {
    beeps = 0;
    CAProgrammerEngine engine;
    EXPECT_FALSE(Keys(engine, keys)) << keys;
    EXPECT_EQ(beeps, 1) << keys;
    EXPECT_TRUE(engine.showsError()) << keys;
    EXPECT_EQ(engine.stack(), (QList<CANumber>{Exact(0), Exact(7)})) << keys;
    EXPECT_TRUE(Keys(engine, "D3R")) << keys;  // drop the zero, then 7 rem 3
    EXPECT_EQ(engine.stack(), QList<CANumber>{Exact(1)}) << keys;
    EXPECT_FALSE(engine.showsError()) << keys;
  }
  CAProgrammerEngine engine;
  engine.setStack({Exact(-1), CANumber(std::numeric_limits<int64_t>::min())});
  EXPECT_FALSE(engine.executeFunction(kFunctionRemainder, false));
  EXPECT_EQ(engine.stack().size(), 2);
}

TEST_F(ProgrammerEngineTest, RecallingAListItemBringsItsEntryToTheTop) {
  CAProgrammerEngine engine;
  Keys(engine, "1E2E3E");
  engine.recall(3);
  EXPECT_EQ(engine.stack(), (QList<CANumber>{Exact(1), Exact(3), Exact(2)}));
  engine.recall(0);  // the title item names no entry
  engine.recall(4);
  EXPECT_EQ(engine.stackTexts(), (QStringList{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("2")}));
}

TEST_F(ProgrammerEngineTest, PasteTypesOnlyTheBasesDigits) {
  CAProgrammerEngine engine;
  engine.changeBase(1);  // octal
  engine.paste(QStringLiteral("17"));
  EXPECT_EQ(engine.stack().first(), Exact(15));
  engine.paste(QStringLiteral("19"));
  EXPECT_EQ(engine.stack().first(), Exact(1));
  EXPECT_EQ(beeps, 1);
}

// In every base and locale the display pastes back as the number shown: the locale's grouping
// separator, and the spaces that group binary, octal and hexadecimal digits, are passed over.
TEST_F(ProgrammerEngineTest, WhatTheDisplayShowsPastesBackInEveryBase) {
  const CANumber integers[] = {Exact(1234567), Exact(-1234567)};
  const CANumber floating[] = {Exact(2469135, 2), Exact(-9, 4)};
  for (const char* name : {"en_US", "de_DE", "fr_FR"}) {
    const TestLocale locale(name);
    for (int index = 0; index < int(std::size(kProgrammerBases)); ++index) {
      const bool isFloating = kProgrammerBases[index] == kDecimalFloatingBase;
      for (const CANumber& number : isFloating ? floating : integers) {
        CAProgrammerEngine shown;
        shown.changeBase(index);
        shown.setStack({number});
        shown.loadAccumulator();
        CAProgrammerEngine pasted;
        pasted.changeBase(index);
        pasted.paste(shown.displayText());
        EXPECT_EQ(pasted.stack(), QList<CANumber>{number}) << name << ' ' << shown.displayText().toStdString();
      }
    }
  }
  EXPECT_EQ(beeps, 0);
}

}  // namespace
