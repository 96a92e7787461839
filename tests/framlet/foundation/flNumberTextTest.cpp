// Expected texts are worked out by hand from the rules for places, rounding and grouping.
#include "framlet/foundation/flNumberText.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

FLNumberFormatOptions Options(int64_t digits) {
  FLNumberFormatOptions options;
  options.decimalSeparator = QStringLiteral(".");
  options.digits = digits;
  return options;
}

constexpr int64_t kAuto = FLNumberFormatOptions::kAutomaticDigits;

TEST(FlNumberText, FormatFloatPlacesRoundingAndGrouping) {
  FLNumberFormatOptions grouped = Options(2);
  grouped.groupSeparator = QStringLiteral(",");
  FLNumberFormatOptions significant = Options(2);
  significant.onlySignificantDigits = true;
  FLNumberFormatOptions defaults = Options(-1);
  defaults.defaultDigits = 3;
  FLNumberFormatOptions hundredths = Options(5);
  hundredths.forceHundredths = true;
  hundredths.onlySignificantDigits = true;
  FLNumberFormatOptions german = Options(2);
  german.groupSeparator = QStringLiteral(".");
  german.decimalSeparator = QStringLiteral(",");
  FLNumberFormatOptions parens = Options(0);
  parens.negativeParens = true;
  FLNumberFormatOptions automatic = Options(kAuto), whole = Options(0);
  whole.disallowScientific = true;
  FLNumberFormatOptions wholeGrouped = whole;
  wholeGrouped.groupSeparator = QStringLiteral(",");
  const FLNumberFormatOptions two = Options(2);
  FLNumberFormatOptions down = Options(2);
  down.roundDown = true;
  FLNumberFormatOptions money = Options(kAuto);
  money.forceHundredths = true;
  money.roundDown = true;
  FLNumberFormatOptions autoSignificant = Options(kAuto);
  autoSignificant.onlySignificantDigits = true;
  FLNumberFormatOptions traditional = autoSignificant;
  traditional.traditionalScientific = true;

  const struct { const FLNumberFormatOptions* options; long double value; const char* expected; } cases[] = {
      {&grouped, 1234.5L, "1,234.50"}, {&grouped, 999.999L, "1,000.00"}, {&significant, 2, "2.0"},
      {&significant, 2.125L, "2.13"}, {&defaults, 3.14159L, "3.142"}, {&hundredths, 3.14159L, "3.14"},
      {&german, 1234567.891L, "1.234.567,89"}, {&parens, -5, "(5)"}, {&parens, -0.4L, "(0)"},
      {&automatic, 0.1L, "0.1"}, {&automatic, 123.456L, "123.456"}, {&automatic, 0.000123L, "0.000123"},
      // Large values with a fraction keep to the digits an 80-bit real carries.
      {&automatic, 20000.1L, "20000.1"}, {&automatic, 987654321098.7L, "987654321098.7"},
      // Either side of a power of ten the integer part's digit count sets the places.
      {&automatic, 9.5L, "9.5"}, {&automatic, 10.25L, "10.25"}, {&automatic, 999999.125L, "999999.125"},
      {&automatic, 1000000.0625L, "1000000.0625"}, {&automatic, 99999999999.75L, "99999999999.75"},
      // Integer parts of 2 to the 64th and more are written exactly.
      {&whole, 18446744073709551616.0L, "18446744073709551616"},
      {&wholeGrouped, -1e20L, "-100,000,000,000,000,000,000"},
      // Two places round half up unless rounding down; money with automatic places always rounds.
      {&two, 1.999L, "2.00"}, {&down, 1.999L, "1.99"}, {&money, 1.999L, "2.00"},
      {&two, -0.001L, "-0.00"},  // a negative that rounds to zero stays negative
      // Scientific at the edges.
      {&autoSignificant, 1e12L, "1.0E+12"}, {&autoSignificant, 999999999999.5L, "999999999999.5"},
      {&autoSignificant, 1e-14L, "1.0E-14"}, {&traditional, 1e12L, "1.0 × 10¹²"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatFloat(*c.options, c.value), QString::fromUtf8(c.expected)) << double(c.value);
}

TEST(FlNumberText, FormatScientificForms) {
  FLNumberFormatOptions automatic = Options(kAuto);
  automatic.onlySignificantDigits = true;
  FLNumberFormatOptions traditional = automatic;
  traditional.traditionalScientific = true;
  FLNumberFormatOptions two = Options(2), parens = Options(1);
  parens.negativeParens = true;
  FLNumberFormatOptions blank = Options(2);
  blank.zeroBlank = true;

  const struct { const FLNumberFormatOptions* options; long double value; const char* expected; } cases[] = {
      {&automatic, 1e-14L, "1.0E-14"}, {&automatic, 0, "0.0E+0"}, {&blank, 0, ""},
      {&traditional, 2.5e-7L, "2.5 × 10⁻⁷"}, {&traditional, -4.5e-10L, "-4.5 × 10⁻¹⁰"},
      {&parens, -1.5e-20L, "(1.5E-20)"},
      // Rounding that carries the mantissa to ten moves the exponent instead.
      {&two, 9.999e12L, "1.00E+13"}, {&automatic, 99999999999999999.0L, "1.0E+17"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatScientific(*c.options, c.value), QString::fromUtf8(c.expected)) << double(c.value);
}

TEST(FlNumberText, NonFiniteValuesReturn) {
  const FLNumberFormatOptions automatic = Options(kAuto);
  const long double inf = std::numeric_limits<long double>::infinity();
  EXPECT_EQ(FormatScientific(automatic, inf), QString::fromUtf8("∞"));
  EXPECT_EQ(FormatFloat(automatic, -inf), QString::fromUtf8("-∞"));
  EXPECT_EQ(FormatFloat(automatic, std::nanl("")), QStringLiteral("NaN"));
  EXPECT_FALSE(FormatScientific(automatic, std::numeric_limits<long double>::max()).isEmpty());
  EXPECT_FALSE(FormatScientific(automatic, std::numeric_limits<long double>::denorm_min()).isEmpty());
}

TEST(FlNumberText, FormatIntegerBasesWordSizesAndGrouping) {
  const QString grouping = QStringLiteral(",");
  const struct { int64_t value; int base; int64_t wordSize; bool group; const char* expected; } cases[] = {
      {-1, 16, 6, false, "3F"},  // a word size that is no multiple of four keeps its top bits
      {-1, 16, 0, false, "FFFFFFFFFFFFFFFF"}, {-1, 8, 64, false, "1777777777777777777777"},
      {0xFFF, 8, 12, true, "7 777"}, {1234567, 10, 64, true, "1,234,567"}, {-300, 10, 8, false, "-44"},
      {std::numeric_limits<int64_t>::min(), 10, 64, true, "-9,223,372,036,854,775,808"},
      {42, 3, 64, false, "42"},  // any other base is decimal
  };
  for (const auto& c : cases) {
    FLNumberFormatOptions options = Options(c.wordSize);
    if (c.group) options.groupSeparator = grouping;
    EXPECT_EQ(FormatInteger(c.value, c.base, options), QString::fromUtf8(c.expected))
        << c.value << " base " << c.base << " size " << c.wordSize;
  }
}

}  // namespace

// Ungrouped integer parts below 2 to the 64th are written in one piece; grouped ones go the
// general way. With the group separator taken out again the two must give the same text.
TEST(FlNumberText, FormatFloatUngroupedMatchesGroupedWithoutSeparators) {
  FLNumberFormatOptions saving = Options(kAuto);
  saving.onlySignificantDigits = true;
  saving.disallowScientific = true;
  FLNumberFormatOptions fixed = Options(2), whole = Options(0);
  whole.disallowScientific = true;
  FLNumberFormatOptions parens = Options(3);
  parens.negativeParens = true;
  FLNumberFormatOptions comma = Options(kAuto);
  comma.decimalSeparator = QStringLiteral(",");
  FLNumberFormatOptions many = Options(40);
  many.disallowScientific = true;

  std::vector<long double> values = {0,       1,         -1,         0.5L,        -0.5L,   12.34L,
                                     -99.99L, 999.995L,  1e-5L,      -1e-12L,     1e11L,   -123456789012.5L,
                                     0.1L,    1.0L / 3,  -2.0L / 3,  4503599627370495.5L,   9.2e18L,
                                     18446744073709551615.0L,    -1.8e19L};
  for (int64_t n = -2000; n <= 2000; n += 7) {
    values.push_back(static_cast<long double>(n));
    values.push_back(static_cast<long double>(n) / 100);
    values.push_back(static_cast<long double>(n) / 1000 * 1e9L);
  }
  for (int64_t n = 0; n < 100000; n += 997) values.push_back(static_cast<long double>(n) / 100);
  for (int e = -12; e <= 19; ++e) {
    values.push_back(std::pow(10.0L, e));
    values.push_back(-3.0L * std::pow(10.0L, e));
    values.push_back(std::nextafter(std::pow(10.0L, e), 0.0L));
  }

  for (FLNumberFormatOptions* options : {&saving, &fixed, &whole, &parens, &comma, &many}) {
    FLNumberFormatOptions grouped = *options;
    grouped.groupSeparator = QStringLiteral("'");
    for (const long double value : values) {
      const QString general = FormatFloat(grouped, value);
      EXPECT_EQ(FormatFloat(*options, value), QString(general).remove(u'\'')) << double(value);
    }
  }
}

namespace {

// Zero in scientific form has the exponent 0 (0 = 0.0 × 10⁰), whatever the digits; an exponent
// of +1 would read as ten times zero and match the way no other program writes it.
TEST(FlNumberText, ZeroInScientificFormHasTheExponentZero) {
  FLNumberFormatOptions automatic = Options(kAuto);
  automatic.onlySignificantDigits = true;
  FLNumberFormatOptions traditional = automatic;
  traditional.traditionalScientific = true;
  EXPECT_EQ(FormatScientific(automatic, 0), QStringLiteral("0.0E+0"));
  EXPECT_EQ(FormatScientific(automatic, -0.0L), QStringLiteral("0.0E+0"));
  EXPECT_EQ(FormatScientific(Options(2), 0), QStringLiteral("0.0E+0"));
  EXPECT_EQ(FormatScientific(traditional, 0), QString::fromUtf8("0.0 × 10⁰"));
}

}  // namespace

namespace {

// The one rounding rule on decimal digits: a first dropped digit of 5 or more carries, through
// nines and into the whole part; cut, the digits stay as they are.
TEST(FlNumberText, RoundDecimalDigitsCarriesHalfUpOrCuts) {
  const struct {
    const char* whole;
    const char* fraction;
    int places;
    const char* nearest;  // whole "." fraction
    const char* down;
  } cases[] = {
      {"0", "125", 2, "0.13", "0.12"},   {"9", "999", 2, "10.00", "9.99"}, {"", "995", 2, "1.00", ".99"},
      {"1926", "165", 2, "1926.17", "1926.16"}, {"1", "4999", 2, "1.50", "1.49"}, {"2", "5", 0, "3.", "2."},
      {"7", "", 3, "7.000", "7.000"},    {"99", "96", 1, "100.0", "99.9"},  {"0", "0449", 2, "0.04", "0.04"},
  };
  for (const auto& c : cases) {
    for (const bool halfUp : {true, false}) {
      std::string whole = c.whole;
      std::string fraction = c.fraction;
      RoundDecimalDigits(whole, fraction, c.places, halfUp);
      EXPECT_EQ(whole + "." + fraction, halfUp ? c.nearest : c.down) << c.whole << "." << c.fraction << " at "
                                                                     << c.places;
    }
  }
}

// Exact fractions show their own decimal digits, rounded as the options say, in fixed, money-like
// (hundredths), percent (scaled by a hundred) and scientific form, and agree with the reals that
// stand for the same decimals.
TEST(FlNumberText, ExactValuesRoundTheirOwnDigits) {
  FLNumberFormatOptions two = Options(2);
  FLNumberFormatOptions twoDown = two;
  twoDown.roundDown = true;
  FLNumberFormatOptions grouped = two;
  grouped.groupSeparator = QStringLiteral(",");
  FLNumberFormatOptions hundredths = Options(kAuto);
  hundredths.forceHundredths = true;
  hundredths.roundDown = true;  // automatic digits with hundredths always round
  FLNumberFormatOptions automatic = Options(kAuto);
  FLNumberFormatOptions one = Options(1);
  FLNumberFormatOptions many = Options(30);
  many.disallowScientific = true;
  FLNumberFormatOptions parens = Options(0);
  parens.negativeParens = true;

  const struct {
    const FLNumberFormatOptions* options;
    FLNumberValue value;
    bool scientific;
    const char* expected;
  } cases[] = {
      {&two, FLNumberValue::withFraction(1, 8), false, "0.13"},
      {&twoDown, FLNumberValue::withFraction(1, 8), false, "0.12"},
      {&two, FLNumberValue::withFraction(385233, 200), false, "1926.17"},
      {&grouped, FLNumberValue::withFraction(6172839, 5000), false, "1,234.57"},
      {&two, FLNumberValue::withFraction(2793, 2000), false, "1.40"},  // 19.95 × 0.07
      {&two, FLNumberValue::withFraction(-107, 40), false, "-2.68"},
      {&two, FLNumberValue::withFraction(-1, 1000), false, "-0.00"},
      {&hundredths, FLNumberValue::withFraction(1, 8), false, "0.13"},
      {&two, FLNumberValue::withFraction(201, 20000).scaled(2), false, "1.01"},  // 1.005%
      {&automatic, FLNumberValue::withFraction(1, 3), false, "0.333333333333333"},
      {&automatic, FLNumberValue::withFraction(2, 3), false, "0.666666666666667"},
      {&automatic, FLNumberValue::withFraction(5, 1), false, "5.0"},
      {&many, FLNumberValue::withFraction(1, 3), false, "0.333333333333333333333333333333"},
      {&parens, FLNumberValue::withFraction(-5, 2), false, "(3)"},
      {&one, FLNumberValue::withFraction(1, 800), true, "1.3E-3"},
      {&one, FLNumberValue::withFraction(9999, 100), true, "1.0E+2"},
      {&one, FLNumberValue::withFraction(-1, 3), true, "-3.3E-1"},
      {&automatic, FLNumberValue::withFraction(INT64_MAX, 3), false, "3.074457345618259E+18"},
      {&two, FLNumberValue::withFraction(1, 0), false, "∞"},
      // Reals by the decimals they stand for, though the binary value lies below or above them.
      {&two, FLNumberValue::withReal(1926.165L), false, "1926.17"},
      {&two, FLNumberValue::withReal(1.005L), false, "1.01"},
      {&twoDown, FLNumberValue::withReal(0.29L), false, "0.29"},
      {&two, FLNumberValue::withReal(0.01005L).scaled(2), false, "1.01"},
      {&one, FLNumberValue::withReal(0.00125L), true, "1.3E-3"},
  };
  for (const auto& c : cases) {
    const QString text = c.scientific ? FormatScientific(*c.options, c.value) : FormatFloat(*c.options, c.value);
    EXPECT_EQ(text, QString::fromUtf8(c.expected)) << c.expected;
  }
}

}  // namespace
