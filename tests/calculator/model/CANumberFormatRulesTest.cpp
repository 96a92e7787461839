// Number format rules in tables of exact texts: mixed fractions, money with and without chosen
// decimals and parentheses, and which operation of a format a number reaches by its form
// (integer, fraction, real) and the format's display.
#include <gtest/gtest.h>

#include "calculator/model/CANumber.h"
#include "calculator/model/CANumberFormat.h"

#include <QLocale>

namespace {

CANumberFormat WithDisplay(int32_t display) {
  CANumberFormat format;
  format.setDisplay(display);
  return format;
}

// The whole part takes the format's grouping and negative form; the numerator and denominator
// never do, and a negative numerator always shows a minus.
TEST(NumberFormatRules, MixedFractions) {
  const struct {
    int64_t whole;
    int64_t numerator;
    uint64_t denominator;
    bool parens;
    bool grouping;
    const char* text;
  } cases[] = {
      {1, 3, 4, false, false, "1 3/4"},          {0, 3, 4, false, false, "3/4"},
      {0, -3, 4, false, false, "-3/4"},          {-1, -3, 4, false, false, "-1 3/4"},
      {5, 0, 4, false, false, "5"},              {-1, -3, 4, true, false, "(1) 3/4"},
      {0, -3, 4, true, false, "-3/4"},           {0, 3, 4, true, false, "3/4"},
      {-2, 1, 3, true, false, "(2) 1/3"},        {-2, 1, 3, false, false, "-2 1/3"},
      {1234, 1, 2, false, true, "1,234 1/2"},    {0, 1234, 5000, false, true, "1234/5000"},
      {2, 1234, 5000, false, true, "2 1234/5000"}, {0, -1234, 5, false, true, "-1234/5"},
  };
  for (const auto& c : cases) {
    CANumberFormat format = WithDisplay(kDisplayFraction);
    format.setNegativeParens(c.parens);
    format.setGroupThousands(c.grouping);
    EXPECT_EQ(format.formatWhole(c.whole, c.numerator, c.denominator), QString::fromUtf8(c.text))
        << c.whole << " " << c.numerator << "/" << c.denominator;
  }
}

// Money is whole units unless decimals are chosen or hundredths forced (which keep their look
// whatever the size); without parentheses the symbol stands before the minus sign, with them
// the parentheses hold the symbol too; only significant digits is set aside.
TEST(NumberFormatRules, Money) {
  const struct {
    long double value;
    int64_t size;
    const char* symbol;
    bool hundredths, parens, grouping, zeroBlank, significant;
    const char* text;
  } cases[] = {
      {5, -1, "$", false, false, false, false, false, "$5"},
      {-5, -1, "$", false, false, false, false, false, "$-5"},
      {-5, -1, "$", false, true, false, false, false, "($5)"},
      {5, -1, "$", false, true, false, false, false, "$5"},
      {-5, 2, "$", false, true, false, false, false, "($5.00)"},
      {1234.56L, -1, "$", false, false, false, false, false, "$1235"},
      {1234.56L, 0, "$", false, false, false, false, false, "$1235"},
      {1234.56L, 2, "$", false, false, false, false, false, "$1234.56"},
      {1234.5L, 3, "$", false, false, false, false, false, "$1234.500"},
      {1234.5L, -1, "$", true, false, false, false, false, "$1234.50"},
      {1234.5L, 3, "$", true, false, false, false, false, "$1234.50"},
      {-1234.5L, -1, "\u20AC", true, false, true, false, false, "\u20AC-1,234.50"},
      {1234.25L, -1, "$", true, false, false, false, false, "$1234.25"},
      {1234.25L, -1, "$", false, false, true, false, false, "$1,234"},
      {0, -1, "$", false, false, false, true, false, ""},
      {0, 2, "$", false, false, false, true, false, ""},
      {0, -1, "$", false, false, false, false, false, "$0"},
      {0, 2, "$", false, false, false, false, false, "$0.00"},
      {-0.25L, -1, "$", true, true, false, false, false, "($0.25)"},
      {5, -1, "$", true, false, false, false, true, "$5.00"},
  };
  for (const auto& c : cases) {
    CANumberFormat format = WithDisplay(kDisplayMoney);
    format.setSize(c.size);
    format.setCurrencySymbol(QString::fromUtf8(c.symbol));
    format.setForceHundredths(c.hundredths);
    format.setNegativeParens(c.parens);
    format.setGroupThousands(c.grouping);
    format.setZeroBlank(c.zeroBlank);
    format.setOnlySignificantDigits(c.significant);
    EXPECT_EQ(format.formatMoney(c.value), QString::fromUtf8(c.text)) << double(c.value) << " size " << c.size;
  }
}

TEST(NumberFormatRules, ALocaleWithoutACurrencySymbolShowsTheDollar) {
  SetNumberTextLocale(QLocale::c());
  EXPECT_EQ(NumberTextLocale().currencySymbol, QStringLiteral("$"));
  CANumberFormat money = WithDisplay(kDisplayMoney);
  EXPECT_EQ(money.formatMoney(7), QStringLiteral("$7"));
  SetNumberTextLocale(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(NumberTextLocale().currencySymbol, QStringLiteral("\u20AC"));
  SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates));
}

TEST(NumberFormatRules, FormatWithPicksTheOperationByFormAndDisplay) {
  const struct {
    const char* what;
    CANumber number;
    int32_t display;
    bool keepFraction;
    const char* text;
  } cases[] = {
      // Integers: the integer displays and fraction write the integer in their base; the others
      // write its real value.
      {"integer as hex", CANumber(255), kDisplayHex, false, "00000000000000FF"},
      {"integer as integer", CANumber(-12), kDisplayInteger, false, "-12"},
      {"integer as fraction", CANumber(7), kDisplayFraction, false, "7"},
      {"integer as decimal", CANumber(255), kDisplayFloat, false, "255.00"},
      {"integer as scientific", CANumber(255), kDisplayScientific, false, "2.55E+2"},
      {"integer as money", CANumber(3), kDisplayMoney, false, "$3"},
      {"integer as percent", CANumber(3), kDisplayPercent, false, "300%"},
      {"integer as date", CANumber(20240105), kDisplayDate, false, "1/5/2024"},
      // Fractions: rounded half away from zero for the integer displays, mixed or kept for
      // fraction, exact decimals when the denominator divides 10000, else the real value.
      {"fraction as mixed", CANumber::withNumerator(7, 4), kDisplayFraction, false, "1 3/4"},
      {"negative fraction as mixed", CANumber::withNumerator(-7, 4), kDisplayFraction, false, "-1 3/4"},
      {"fraction kept", CANumber::withNumerator(7, 4), kDisplayFraction, true, "7/4"},
      {"proper fraction", CANumber::withNumerator(3, 4), kDisplayFraction, false, "3/4"},
      {"fraction rounded", CANumber::withNumerator(7, 2), kDisplayInteger, false, "4"},
      {"negative fraction rounded", CANumber::withNumerator(-7, 2), kDisplayInteger, false, "-4"},
      {"fraction as hex", CANumber::withNumerator(31, 2), kDisplayHex, false, "0000000000000010"},
      {"fraction as decimal", CANumber::withNumerator(1, 8), kDisplayFloat, false, "0.125"},
      {"fraction without exact decimals", CANumber::withNumerator(1, 3), kDisplayFloat, false, "0.33"},
      {"fraction as percent", CANumber::withNumerator(1, 4), kDisplayPercent, false, "25%"},
      {"fraction as money", CANumber::withNumerator(9, 4), kDisplayMoney, false, "$2"},
      {"whole fraction", CANumber::withNumerator(8, 4), kDisplayFraction, false, "2"},
      // Reals: rounded for the integer displays while they fit, found as a fraction for fraction.
      {"real as mixed", CANumber::withReal(2.5L), kDisplayFraction, false, "2 1/2"},
      {"real kept", CANumber::withReal(2.5L), kDisplayFraction, true, "5/2"},
      {"real proper", CANumber::withReal(0.75L), kDisplayFraction, false, "3/4"},
      {"real rounded", CANumber::withReal(-2.5L), kDisplayInteger, false, "-3"},
      {"real as hex", CANumber::withReal(2.5L), kDisplayHex, false, "0000000000000003"},
      {"real too large for an integer", CANumber::withRealResult(1e30L), kDisplayInteger, false, "1E+30"},
  };
  for (const auto& c : cases) {
    CANumberFormat format = WithDisplay(c.display);
    format.setKeepFraction(c.keepFraction);
    format.setCurrencySymbol(QStringLiteral("$"));
    format.setDateOrder(kDateOrderMDY);
    format.setPadDayMonth(false);
    EXPECT_EQ(c.number.formatWith(&format), QString::fromUtf8(c.text)) << c.what;
  }
  // Numbers that are no value show their error text whatever the format.
  for (const int32_t display : {kDisplayHex, kDisplayFloat}) {
    const CANumberFormat format = WithDisplay(display);
    EXPECT_EQ(CANumber::asInf().formatWith(&format), QStringLiteral("<Infinite>"));
    EXPECT_EQ(CANumber::asNan().formatWith(&format), QStringLiteral("<Value>"));
  }
}

}  // namespace
