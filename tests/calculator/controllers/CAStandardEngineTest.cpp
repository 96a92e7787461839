#include "calculator/controllers/CAStandardEngine.h"

#include "CalculatorTestSupport.h"
#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/model/LocaleTestSupport.h"
#include "platform/UserDefaults.h"

namespace {

using StandardEngineTest = CalculatorTest;

TEST_F(StandardEngineTest, InfixKeysGiveTheirResults) {
  struct Case {
    const char* keys;
    CANumber top;
    int pending;
  };
  const Case cases[] = {
      {"2+3=", Exact(5), kFunctionNone},
      {"2+3+", Exact(5), kFunctionAdd},
      {"50%20=", Exact(10), kFunctionNone},
      {"7+40%5=", Exact(9), kFunctionNone},  // a + b % c = adds b·c/100
      {"200-50%10=", Exact(195), kFunctionNone},
      {"10-4=", Exact(6), kFunctionNone},     // the entry below is the left operand
      {"8/3=", Exact(8, 3), kFunctionNone},   // exact fractions
      {"1.5*4=", Exact(6), kFunctionNone},
      {"2*3+4=", Exact(10), kFunctionNone},   // no precedence: one pending operator
      {"2+3*4=", Exact(20), kFunctionNone},
      {"9-", Exact(9), kFunctionSubtract},
      {"2+3=4+1=", Exact(5), kFunctionNone},  // a number typed after equals starts afresh
      // A percentage no number follows: of the first operand after + and -, the second operand
      // over 100 after * and /, and alone the number over 100.
      {"50+10%=", Exact(55), kFunctionNone},
      {"50-10%=", Exact(45), kFunctionNone},
      {"200*10%=", Exact(20), kFunctionNone},
      {"200/10%=", Exact(2000), kFunctionNone},
      {"10%=", Exact(1, 10), kFunctionNone},
      {"2*3.5%=", Exact(7, 100), kFunctionNone},
      {"200*10%+1=", Exact(21), kFunctionNone},
      {"50+10%*2=", Exact(110), kFunctionNone},
      {"10%+5=", Exact(51, 10), kFunctionNone},
      {"50+10%", Exact(10), kFunctionAdd},  // still open for a number typed next
  };
  for (const Case& c : cases) {
    CAStandardEngine engine;
    EXPECT_TRUE(type(engine, QString::fromLatin1(c.keys))) << c.keys;
    ASSERT_FALSE(engine.stack().isEmpty()) << c.keys;
    EXPECT_EQ(engine.stack().first(), c.top) << c.keys;
    EXPECT_EQ(engine.pendingFunction(), c.pending) << c.keys;
  }
  EXPECT_EQ(beeps, 0);
}

TEST_F(StandardEngineTest, TheDisplayShowsTheResultWithTheChosenDigits) {
  CAStandardEngine engine;
  type(engine, QStringLiteral("1234+1="));
  EXPECT_EQ(engine.displayText(), QStringLiteral("1,235.00"));
  SetCalculatorPreferences({.decimalDigits = 4});
  engine.changeFloatDigits();
  EXPECT_EQ(engine.displayText(), QStringLiteral("1,235.0000"));
  type(engine, QStringLiteral("12.5"));
  EXPECT_EQ(engine.displayText(), QStringLiteral("12.5"));  // typed text shows as typed
}

// The percent key shows what the percentage comes to as soon as it is pressed.
TEST_F(StandardEngineTest, ThePercentKeyShowsItsResultAtOnce) {
  const struct {
    const char* keys;
    const char* shown;
  } cases[] = {
      {"50+10%", "55.00"},  {"50-10%", "45.00"},     {"200*10%", "20.00"},  {"200/10%", "2,000.00"},
      {"10%", "0.10"},      {"7+40%", "9.80"},       {"7+40%5", "5"},
      {"200*10%+", "20.00"}, {"200*10%+1", "1"},     {"2+3=%", "0.05"},
  };
  for (const auto& c : cases) {
    CAStandardEngine engine;
    EXPECT_TRUE(type(engine, QString::fromLatin1(c.keys))) << c.keys;
    EXPECT_EQ(engine.displayText(), QLatin1String(c.shown)) << c.keys;
  }
  EXPECT_EQ(beeps, 0);
}

TEST_F(StandardEngineTest, RefusedKeysBeep) {
  CAStandardEngine engine;
  EXPECT_TRUE(type(engine, QStringLiteral("1.5")));
  EXPECT_FALSE(engine.handleCharacter(u'.'));  // a second point
  EXPECT_FALSE(engine.handleCharacter(u'A'));  // no hexadecimal digits here
  EXPECT_FALSE(engine.handleCharacter(u'?'));
  EXPECT_FALSE(engine.executeFunction(kFunctionDrop, false));
  EXPECT_EQ(beeps, 4);
  EXPECT_EQ(engine.stack().first(), Exact(3, 2));  // drop entered the typed number first
}

TEST_F(StandardEngineTest, DivisionByZeroShowsTheErrorAndKeepsTheOperands) {
  CAStandardEngine engine;
  EXPECT_FALSE(type(engine, QStringLiteral("5/0=")));
  EXPECT_EQ(beeps, 1);
  EXPECT_TRUE(engine.showsError());
  EXPECT_EQ(engine.displayText(), QStringLiteral("<Infinite>"));
  EXPECT_EQ(engine.stack()[1], Exact(5));
  // The next calculation starts normally.
  EXPECT_TRUE(type(engine, QStringLiteral("6*7=")));
  EXPECT_FALSE(engine.showsError());
  EXPECT_EQ(engine.stack().first(), Exact(42));
}

TEST_F(StandardEngineTest, SquareRootOfANegativeIsRefused) {
  CAStandardEngine engine;
  type(engine, QStringLiteral("9-16="));
  EXPECT_FALSE(engine.executeFunction(kFunctionSquareRoot, false));
  EXPECT_TRUE(engine.showsError());
  EXPECT_EQ(engine.stack().first(), Exact(-7));
  type(engine, QStringLiteral("16"));
  EXPECT_TRUE(engine.executeFunction(kFunctionSquareRoot, false));
  EXPECT_EQ(engine.stack().first(), Exact(4));
}

TEST_F(StandardEngineTest, MemoryKeys) {
  CAStandardEngine engine;
  type(engine, QStringLiteral("9="));
  engine.executeFunction(kFunctionStore, false);
  EXPECT_EQ(CACalculatorEngine::memory(), Exact(9));
  // Recall while an operator waits keeps the first operand and puts the memory above it.
  type(engine, QStringLiteral("4+"));
  EXPECT_TRUE(engine.executeFunction(kFunctionRecall, false));
  EXPECT_EQ(engine.stack(), (QList<CANumber>{Exact(9), Exact(4)}));
  type(engine, QStringLiteral("="));
  EXPECT_EQ(engine.stack().first(), Exact(13));
  engine.executeFunction(kFunctionMemoryAdd, false);
  EXPECT_EQ(CACalculatorEngine::memory(), Exact(22));
  engine.executeFunction(kFunctionMemorySubtract, false);
  EXPECT_EQ(CACalculatorEngine::memory(), Exact(9));
  engine.executeFunction(kFunctionMemoryClear, false);
  EXPECT_EQ(CACalculatorEngine::memory(), Exact(0));
  // Store needs a number.
  engine.executeFunction(kFunctionAllClear, false);
  EXPECT_FALSE(engine.executeFunction(kFunctionStore, false));
}

TEST_F(StandardEngineTest, DeleteRemovesTypedCharactersThenClearsTheEntry) {
  CAStandardEngine engine;
  type(engine, QStringLiteral("7+123"));
  EXPECT_TRUE(engine.executeFunction(kFunctionDelete, false));
  EXPECT_EQ(engine.accumulator(), QStringLiteral("12"));
  type(engine, QStringLiteral("="));
  EXPECT_EQ(engine.stack().first(), Exact(19));
  // Nothing typed: delete clears the entry.
  EXPECT_TRUE(engine.executeFunction(kFunctionDelete, false));
  EXPECT_FALSE(engine.accumulating());
  engine.executeFunction(kFunctionAllClear, false);
  EXPECT_EQ(engine.displayText(), QStringLiteral("0.00"));
}

// A pasted text is a number only when the number reader takes it whole: a blank inside it, a
// letter or another character beeps and enters nothing, never the number its digits would make.
TEST_F(StandardEngineTest, PasteEntersOnlyATextReadWholeAndBeepsAtAnyOther) {
  struct Case {
    const char* text;
    std::optional<CANumber> top;
    int beeps;
  };
  const Case cases[] = {
      {"1,234 5", std::nullopt, 1},
      {"12a", std::nullopt, 1},  // no hexadecimal digits in this calculator
      {"3.25\n", Exact(13, 4), 0},
      {"x9", std::nullopt, 1},
  };
  for (const Case& c : cases) {
    beeps = 0;
    CAStandardEngine engine;
    engine.paste(QString::fromLatin1(c.text));
    EXPECT_EQ(engine.stack(), c.top ? QList<CANumber>{*c.top} : QList<CANumber>{}) << c.text;
    EXPECT_EQ(beeps, c.beeps) << c.text;
  }
  CAStandardEngine engine;
  engine.paste(QStringLiteral("abc"));
  EXPECT_TRUE(engine.stack().isEmpty());
}

// A pasted number is read as the locale shows numbers: its decimal separator is the point and
// its grouping separator is passed over where it groups digits (French groups with a narrow or a
// plain no-break space). A mark that groups no digits leaves no number: "2,5" is no 25 in English.
TEST_F(StandardEngineTest, PasteReadsTheLocalesDecimalAndGroupingSeparators) {
  struct Case {
    const char* locale;
    const char* text;  // UTF-8
    std::optional<CANumber> top;
    int beeps;
  };
  const Case cases[] = {
      {"en_US", "4,471.00", Exact(4471), 0},     {"en_US", "2.5", Exact(5, 2), 0},
      {"en_US", "2,5", std::nullopt, 1},         {"en_US", "-2.25", Exact(-9, 4), 0},
      {"de_DE", "4.471,00", Exact(4471), 0},     {"de_DE", "2,5", Exact(5, 2), 0},
      {"de_DE", "1234,5", Exact(2469, 2), 0},    {"de_DE", "-1.234,25", Exact(-4937, 4), 0},
      {"fr_FR", "4\u202F471,00", Exact(4471), 0}, {"fr_FR", "4\u00A0471,00", Exact(4471), 0},
      {"fr_FR", "4 471,00", Exact(4471), 0},     {"fr_FR", "2,5", Exact(5, 2), 0},
      {"fr_FR", "1234,5", Exact(2469, 2), 0},    {"fr_FR", "3.25", std::nullopt, 1},
      {"de_DE", "2,5,1", std::nullopt, 1},  // a second point is refused
      {"en_US", "1-2", std::nullopt, 1},    // a minus only signs the number it starts
      {"de_DE", "3.14", std::nullopt, 1},   {"de_DE", "0.125", std::nullopt, 1},
      {"de_DE", "1.5", std::nullopt, 1},    {"en_US", "0,125", std::nullopt, 1},
      {"en_US", "1,5", std::nullopt, 1},
  };
  for (const Case& c : cases) {
    const TestLocale locale(c.locale);
    beeps = 0;
    CAStandardEngine engine;
    engine.paste(QString::fromUtf8(c.text));
    EXPECT_EQ(engine.stack(), c.top ? QList<CANumber>{*c.top} : QList<CANumber>{}) << c.locale << ' ' << c.text;
    EXPECT_EQ(beeps, c.beeps) << c.locale << ' ' << c.text;
  }
}

// The locale's decimal separator typed is the point, as "." is everywhere.
TEST_F(StandardEngineTest, TheLocalesDecimalSeparatorTypesThePoint) {
  const struct {
    const char* locale;
    const char* keys;
    CANumber top;
  } cases[] = {{"de_DE", "2,5+1=", Exact(7, 2)}, {"de_DE", "2.5+1=", Exact(7, 2)}, {"fr_FR", "2,5*2=", Exact(5)},
               {"en_US", "2.5*2=", Exact(5)}};
  for (const auto& c : cases) {
    const TestLocale locale(c.locale);
    CAStandardEngine engine;
    EXPECT_TRUE(type(engine, QString::fromLatin1(c.keys))) << c.locale << ' ' << c.keys;
    EXPECT_EQ(engine.stack(), QList<CANumber>{c.top}) << c.locale << ' ' << c.keys;
  }
  const TestLocale locale("en_US");
  CAStandardEngine engine;
  EXPECT_FALSE(type(engine, QStringLiteral("2,")));  // the grouping separator is no key
  EXPECT_EQ(beeps, 1);
}

// What the display shows, pasted into a fresh calculator, is the number shown.
TEST_F(StandardEngineTest, WhatTheDisplayShowsPastesBackAsTheSameNumber) {
  const CANumber numbers[] = {Exact(4471),    Exact(2469, 2), Exact(-9, 4),
                              Exact(1234567), Exact(1, 2),    CANumber::withReal(-1.5e23L)};
  for (const char* name : {"en_US", "de_DE", "fr_FR"}) {
    const TestLocale locale(name);
    for (const CANumber& number : numbers) {
      CAStandardEngine shown;
      shown.setStack({number});
      shown.loadAccumulator();
      CAStandardEngine pasted;
      pasted.paste(shown.displayText());
      EXPECT_EQ(pasted.stack(), QList<CANumber>{number}) << name << ' ' << shown.displayText().toStdString();
      EXPECT_EQ(pasted.displayText(), shown.displayText()) << name;
    }
  }
  EXPECT_EQ(beeps, 0);
}

TEST_F(StandardEngineTest, TheStackAndMemoryLastAcrossLaunches) {
  UserDefaults defaults(QStringLiteral("test.standardCalculator"));
  {
    CAStandardEngine engine;
    type(engine, QStringLiteral("2/3+"));
    CACalculatorEngine::setMemory(Exact(-5, 2));
    engine.setStack({Exact(2, 3), Exact(7)});
    engine.save(defaults);
  }
  CACalculatorEngine::resetSharedMemory();
  CAStandardEngine engine;
  engine.load(defaults);
  EXPECT_EQ(engine.stack(), (QList<CANumber>{Exact(2, 3), Exact(7)}));
  EXPECT_EQ(CACalculatorEngine::memory(), Exact(-5, 2));

  // Unreadable entries are skipped; an empty stack removes the key.
  defaults.setObject(QStringList{QStringLiteral("i4"), QStringLiteral("garbage"), QStringLiteral("i6")},
                     QLatin1String(kStandardCalcStackKey));
  engine.load(defaults);
  EXPECT_EQ(engine.stack().size(), 2);
  engine.setStack({});
  engine.save(defaults);
  EXPECT_FALSE(defaults.objectForKey(QLatin1String(kStandardCalcStackKey)).isValid());
}

}  // namespace
