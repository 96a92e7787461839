// Money with and without chosen decimals, its negative forms and the locale's symbol, and mixed
// fractions.
#include <gtest/gtest.h>

#include "calculator/model/CANumberFormat.h"

#include <QLocale>

namespace {

TEST(MoneyFormat, ChosenDecimalsAreShownAndTheDefaultShowsWholeUnits) {
  const struct {
    int64_t size;
    bool hundredths, parens, blank;
    long double x;
    const char* expected;
  } cases[] = {
      {-1, false, false, false, 1234.56L, "$1235"},  // the default: whole units
      {0, false, false, false, 1234.56L, "$1235"},
      {2, false, false, false, 1234.56L, "$1234.56"},
      {3, false, false, false, 1234.5L, "$1234.500"},
      {-1, true, false, false, 1234.5L, "$1234.50"},  // cents by "force hundredths"
      {3, true, false, false, 1234.5L, "$1234.50"},   // which keeps its look
      {-1, false, false, false, -5, "$-5"},           // the symbol before the minus sign
      {-1, false, true, false, -5, "($5)"},
      {2, false, true, false, -5, "($5.00)"},
      {2, false, false, true, 0, ""},
      {2, false, false, false, 0, "$0.00"},
  };
  for (const auto& c : cases) {
    CANumberFormat money;
    money.setDisplay(kDisplayMoney);
    money.setCurrencySymbol(QStringLiteral("$"));
    money.setSize(c.size);
    money.setForceHundredths(c.hundredths);
    money.setNegativeParens(c.parens);
    money.setZeroBlank(c.blank);
    EXPECT_EQ(money.formatMoney(c.x), QString::fromUtf8(c.expected))
        << c.size << " " << c.hundredths << " " << c.parens << " " << double(c.x);
  }
}

TEST(MoneyFormat, ALocaleWithoutACurrencySymbolShowsTheDollar) {
  SetNumberTextLocale(QLocale::c());
  EXPECT_EQ(NumberTextLocale().currencySymbol, QStringLiteral("$"));
  CANumberFormat money;
  money.setDisplay(kDisplayMoney);
  EXPECT_EQ(money.formatMoney(7), QStringLiteral("$7"));
  SetNumberTextLocale(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(NumberTextLocale().currencySymbol, QStringLiteral("\u20AC"));
  SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates));
}

TEST(MixedFraction, WholePartNumeratorAndDenominator) {
  const struct {
    int64_t whole, numerator, denominator;
    bool parens, group;
    const char* expected;
  } cases[] = {
      {1, 3, 4, false, false, "1 3/4"},
      {0, -3, 4, false, false, "-3/4"},
      {0, 3, 4, true, false, "3/4"},
      {5, 0, 4, false, false, "5"},
      {-2, 1, 3, true, false, "(2) 1/3"},
      {-2, 1, 3, false, false, "-2 1/3"},
      {1234, 1, 2, false, true, "1,234 1/2"},
      {0, -1234, 5, false, true, "-1234/5"},  // no grouping in the fraction
  };
  for (const auto& c : cases) {
    CANumberFormat format;
    format.setDisplay(kDisplayFraction);
    format.setNegativeParens(c.parens);
    format.setGroupThousands(c.group);
    EXPECT_EQ(format.formatWhole(c.whole, c.numerator, c.denominator), QString::fromUtf8(c.expected))
        << c.whole << " " << c.numerator << "/" << c.denominator;
  }
}

}  // namespace
