// Number format rules in tables: mixed fractions, money with and without parentheses, and which
// operation of a format a number reaches by its form (integer, fraction, real) and the format's
// display.
#include <gtest/gtest.h>

#include "calculator/model/CANumber.h"
#include "calculator/model/CANumberFormat.h"

namespace {

CANumberFormat WithDisplay(int32_t display) {
  CANumberFormat format;
  format.setDisplay(display);
  return format;
}

struct WholeCase {
  int64_t whole;
  int64_t numerator;
  uint64_t denominator;
  bool parens;
  bool grouping;
  const char* text;
};

// The whole part takes the format's grouping and negative form; the numerator and denominator
// never do, and a negative numerator always shows a minus.
TEST(NumberFormatRules, MixedFractions) {
  const WholeCase cases[] = {
      {1, 3, 4, false, false, "1 3/4"},       {0, 3, 4, false, false, "3/4"},
      {0, -3, 4, false, false, "-3/4"},       {-1, -3, 4, false, false, "-1 3/4"},
      {5, 0, 4, false, false, "5"},           {-1, -3, 4, true, false, "(1) 3/4"},
      {0, -3, 4, true, false, "-3/4"},        {1234, 1, 2, false, true, "1,234 1/2"},
      {0, 1234, 5000, false, true, "1234/5000"}, {2, 1234, 5000, false, true, "2 1234/5000"},
  };
  for (const WholeCase& c : cases) {
    CANumberFormat format = WithDisplay(kDisplayFraction);
    format.setNegativeParens(c.parens);
    format.setGroupThousands(c.grouping);
    EXPECT_EQ(format.formatWhole(c.whole, c.numerator, c.denominator), QString::fromUtf8(c.text))
        << c.whole << " " << c.numerator << "/" << c.denominator;
  }
}

struct MoneyCase {
  long double value;
  const char* symbol;
  bool parens;
  bool hundredths;
  bool grouping;
  bool zeroBlank;
  const char* text;
};

// Money is whole amounts unless hundredths are forced; without parentheses the symbol stands
// before the minus sign, with them the parentheses hold the symbol too.
TEST(NumberFormatRules, MoneyWithAndWithoutParentheses) {
  const MoneyCase cases[] = {
      {5, "$", false, false, false, false, "$5"},
      {-5, "$", false, false, false, false, "$-5"},
      {-5, "$", true, false, false, false, "($5)"},
      {5, "$", true, false, false, false, "$5"},
      {-1234.5L, "\u20AC", false, true, true, false, "\u20AC-1,234.50"},
      {1234.25L, "$", false, true, false, false, "$1234.25"},
      {1234.25L, "$", false, false, true, false, "$1,234"},
      {0, "$", false, false, false, true, ""},
      {0, "$", false, false, false, false, "$0"},
      {-0.25L, "$", true, true, false, false, "($0.25)"},
  };
  for (const MoneyCase& c : cases) {
    CANumberFormat format = WithDisplay(kDisplayMoney);
    format.setCurrencySymbol(QString::fromUtf8(c.symbol));
    format.setNegativeParens(c.parens);
    format.setForceHundredths(c.hundredths);
    format.setGroupThousands(c.grouping);
    format.setZeroBlank(c.zeroBlank);
    EXPECT_EQ(format.formatMoney(c.value), QString::fromUtf8(c.text)) << double(c.value);
  }
  // The options that make no sense for money are set aside.
  CANumberFormat format = WithDisplay(kDisplayMoney);
  format.setCurrencySymbol(QStringLiteral("$"));
  format.setForceHundredths(true);
  format.setOnlySignificantDigits(true);
  EXPECT_EQ(format.formatMoney(5), QStringLiteral("$5.00"));
}

struct DispatchCase {
  const char* what;
  CANumber number;
  int32_t display;
  bool keepFraction;
  const char* text;
};

TEST(NumberFormatRules, FormatWithPicksTheOperationByFormAndDisplay) {
  const DispatchCase cases[] = {
      // Integers: the integer displays and fraction write the integer in their base.
      {"integer as hex", CANumber(255), kDisplayHex, false, "00000000000000FF"},
      {"integer as integer", CANumber(-12), kDisplayInteger, false, "-12"},
      {"integer as fraction", CANumber(7), kDisplayFraction, false, "7"},
      {"integer as money", CANumber(3), kDisplayMoney, false, "$3"},
      {"integer as percent", CANumber(3), kDisplayPercent, false, "300%"},
      {"integer as date", CANumber(20240105), kDisplayDate, false, "1/5/2024"},
      // Fractions: rounded for the integer displays, mixed or kept for fraction, exact decimals.
      {"fraction as mixed", CANumber::withNumerator(7, 4), kDisplayFraction, false, "1 3/4"},
      {"negative fraction as mixed", CANumber::withNumerator(-7, 4), kDisplayFraction, false, "-1 3/4"},
      {"fraction kept", CANumber::withNumerator(7, 4), kDisplayFraction, true, "7/4"},
      {"proper fraction", CANumber::withNumerator(3, 4), kDisplayFraction, false, "3/4"},
      {"fraction rounded", CANumber::withNumerator(7, 2), kDisplayInteger, false, "4"},
      {"fraction as hex", CANumber::withNumerator(31, 2), kDisplayHex, false, "0000000000000010"},
      {"fraction as decimal", CANumber::withNumerator(1, 8), kDisplayFloat, false, "0.125"},
      {"fraction as percent", CANumber::withNumerator(1, 4), kDisplayPercent, false, "25%"},
      {"fraction as money", CANumber::withNumerator(9, 4), kDisplayMoney, false, "$2"},
      {"whole fraction", CANumber::withNumerator(8, 4), kDisplayFraction, false, "2"},
      // Reals: rounded for the integer displays, found as a fraction for fraction.
      {"real as mixed", CANumber::withReal(2.5L), kDisplayFraction, false, "2 1/2"},
      {"real kept", CANumber::withReal(2.5L), kDisplayFraction, true, "5/2"},
      {"real proper", CANumber::withReal(0.75L), kDisplayFraction, false, "3/4"},
      {"real rounded", CANumber::withReal(-2.5L), kDisplayInteger, false, "-3"},
      {"real as hex", CANumber::withReal(2.5L), kDisplayHex, false, "0000000000000003"},
  };
  for (const DispatchCase& c : cases) {
    CANumberFormat format = WithDisplay(c.display);
    format.setKeepFraction(c.keepFraction);
    format.setCurrencySymbol(QStringLiteral("$"));
    format.setDateOrder(kDateOrderMDY);
    format.setPadDayMonth(false);
    EXPECT_EQ(c.number.formatWith(&format), QString::fromUtf8(c.text)) << c.what;
  }
  // Numbers that are no value show their error text whatever the format.
  const CANumberFormat hex = WithDisplay(kDisplayHex);
  EXPECT_EQ(CANumber::asInf().formatWith(&hex), QStringLiteral("<Infinite>"));
  EXPECT_EQ(CANumber::asNan().formatWith(&hex), QStringLiteral("<Value>"));
}

}  // namespace
