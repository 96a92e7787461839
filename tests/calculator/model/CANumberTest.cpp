// Exact numbers: parsing, canonical form, arithmetic against an independent rational
// implementation, the archive text and display.
#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QTextStream>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "calculator/model/CANumber.h"
#include "calculator/model/formula/FunctionVectors.h"
#include "calculator/model/CANumberFormat.h"
#include "support/CReals.h"
#include "support/TestData.h"

namespace {

struct ParseCase { const char* text; bool groups; const char* expected; qsizetype index; };

CANumber ParseAll(const QString& text, bool groups, qsizetype* index) {
  *index = 0;
  return CANumber::withString(text, index, text.size(), groups);
}

TEST(NumberParsing, DecimalTextReadsExactly) {
  const ParseCase cases[] = {
      {"0.25", false, "f1/4", 4}, {"5.", false, "i5", 2}, {"1,234.5", true, "f2469/2", 7},
      {"1,234.5", false, "i1", 1}, {"(12)", false, "i-12", 4}, {"(-12)", false, "i0", 1}, {"-", false, "i0", 0},
      {"(12", false, "i0", 0}, {"$5", false, "i5", 2}, {"\u20AC-3.5", false, "f-7/2", 5}, {"5%", false, "f1/20", 2},
      {"1.5e3%", false, "i15", 6}, {"1e5", false, "i100000", 3}, {"25e-2", false, "f1/4", 5}, {"1e", false, "i1", 1},
      {"1ex", false, "nan", 2}, {"1e-", false, "nan", 3}, {"9223372036854775807", false, "i9223372036854775807", 19},
      {"12abc", false, "i12", 2}, {".5", false, "f1/2", 2},
      {"0.000000000000000001", false, "f1/1000000000000000000", 20},
      // A group separator between digit groups only; elsewhere it ends the number.
      {"1,234,567.5", true, "f2469135/2", 11}, {"1,2,3", true, "i1", 1}, {"12,34", true, "i12", 2},
      {",123", true, "i0", 0}, {"1234,567", true, "i1234", 4}, {"1,,000", true, "i1", 1}, {"1,2345", true, "i1", 1},
      // The minus sign proper is a minus sign.
      {"\u22121,234.56", true, "f-30864/25", 9}, {"\u22120.50", false, "f-1/2", 5}, {"\u22122.50%", false, "f-1/40", 6},
      {"(\u221212)", false, "i0", 1}, {"\u2212", false, "i0", 0}, {"1e\u22122", false, "f1/100", 4},
  };
  for (const ParseCase& c : cases) {
    qsizetype index = 0;
    const QString text = QString::fromUtf8(c.text);
    const CANumber n = ParseAll(text, c.groups, &index);
    EXPECT_EQ(DescribeNumber(n), c.expected) << c.text;
    EXPECT_EQ(index, c.index) << c.text;
  }
}

TEST(NumberParsing, OverlongDigitsGoOnAsReals) {
  qsizetype index = 0;
  const CANumber big = ParseAll(QStringLiteral("92233720368547758070"), false, &index);
  EXPECT_EQ(big.form(), kNumberReal);
  EXPECT_EQ(big.realValue(), 92233720368547758070.0L);
  // Twenty or more decimals no longer fit a 64-bit denominator: the value is read as a real
  // and the denominator never wraps around.
  const CANumber tiny = ParseAll(QStringLiteral("0.00000000000000000000001"), false, &index);
  EXPECT_EQ(tiny.form(), kNumberReal);
  EXPECT_NEAR(double(tiny.realValue() / 1e-23L), 1.0, 1e-15);
  const CANumber many = ParseAll(QStringLiteral("0.1234567890123456789012"), false, &index);
  EXPECT_NEAR(double(many.realValue()), 0.1234567890123456789012, 1e-15);
  EXPECT_EQ(index, 24);
  const CANumber percent = ParseAll(QStringLiteral("0.0000000000000000000025%"), false, &index);
  EXPECT_EQ(percent.form(), kNumberReal);
  EXPECT_NEAR(double(percent.realValue() / 2.5e-23L), 1.0, 1e-12);
}

TEST(NumberParsing, HugeExponentsSaturateWithoutHanging) {
  qsizetype index = 0;
  EXPECT_EQ(DescribeNumber(ParseAll(QStringLiteral("1e99999999999999999999"), false, &index)), "inf");
  EXPECT_EQ(index, 22);
  EXPECT_EQ(DescribeNumber(ParseAll(QStringLiteral("0e999999"), false, &index)), "i0");
  EXPECT_EQ(DescribeNumber(ParseAll(QStringLiteral("1e-99999"), false, &index)), "i0");
}

TEST(NumberParsing, ReadsTheIndependentDecimalVectors) {
  QFile file(TestDataPath(QStringLiteral("number_parsing.txt")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  QTextStream stream(&file);
  int count = 0;
  while (!stream.atEnd()) {
    const QStringList fields = stream.readLine().split(QLatin1Char(' '));
    if (fields.size() != 3) continue;
    const auto number = CANumber::withValidatedString(fields[0], false);
    ASSERT_TRUE(number.has_value()) << fields[0].toStdString();
    const CANumber expected = Fraction(fields[1].toLongLong(), fields[2].toULongLong());
    EXPECT_EQ(DescribeNumber(*number), DescribeNumber(expected)) << fields[0].toStdString();
    ++count;
  }
  EXPECT_GT(count, 500);
}

TEST(NumberParsing, ValidatedTextMustBeANumberThroughout) {
  const std::optional<CANumber> grouped = CANumber::withValidatedString(QStringLiteral("  1,234  "), true);
  ASSERT_TRUE(grouped.has_value());
  EXPECT_EQ(DescribeNumber(*grouped), "i1234");
  const std::optional<CANumber> negative = CANumber::withValidatedString(QStringLiteral("(3.5)"), true);
  ASSERT_TRUE(negative.has_value());
  EXPECT_EQ(DescribeNumber(*negative), "f-7/2");
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("1,234"), false));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("12abc"), true));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral(""), true));
  // No digit at all, or a malformed exponent: the user's text stays text.
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("$"), true));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("."), true));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("1e+"), true));
  // Without validation whatever was parsed is returned.
  EXPECT_EQ(DescribeNumber(CANumber::withString(QStringLiteral("  42 apples"), false)), "i42");
}

TEST(NumberCanonicalForm, ReadRealsBecomeFractionsAndComputedRealsStay) {
  EXPECT_EQ(DescribeNumber(CANumber::withReal(0.25L)), "f1/4");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(1.0L / 3)), "f1/3");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(0.1L)), "f1/10");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(NAN)), "nan");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(-INFINITY)), "inf");
  EXPECT_EQ(CANumber::withReal(std::sqrt(2.0L)).form(), kNumberReal);
  EXPECT_EQ(CANumber::withReal(1e-12L).form(), kNumberReal);
  CANumber root(2);
  root.squareRoot();
  EXPECT_EQ(root.form(), kNumberReal);
  EXPECT_EQ(DescribeNumber(Fraction(6, 4)), "f3/2");
  EXPECT_EQ(DescribeNumber(Fraction(-6, 3)), "i-2");
  EXPECT_EQ(DescribeNumber(Fraction(INT64_MIN, 2)), "i-4611686018427387904");
}

// ---------------------------------------------------------------------------------------------

using Operation = void (CANumber::*)(const CANumber&);

std::string Apply(CANumber a, Operation op, const CANumber& b) {
  (a.*op)(b);
  return DescribeNumber(a);
}

TEST(NumberArithmetic, ExactResultsAndTheirOverflowIntoReals) {
  struct Row { CANumber a; Operation op; CANumber b; const char* expected; };
  const CANumber twoTo62(int64_t(1) << 62);
  const Row rows[] = {
      {Fraction(1, 3), &CANumber::add, Fraction(1, 6), "f1/2"},
      {twoTo62, &CANumber::add, twoTo62, "r9223372036854775808"},
      {CANumber(INT64_MIN), &CANumber::add, CANumber(-1), "r-9223372036854775809"},
      {CANumber(INT64_MAX), &CANumber::add, CANumber(INT64_MIN), "i-1"},
      {CANumber(5), &CANumber::subtract, Fraction(1, 2), "f9/2"},
      {CANumber(0), &CANumber::subtract, CANumber(INT64_MIN), "r9223372036854775808"},
      {CANumber(7), &CANumber::divide, CANumber(0), "inf"}, {CANumber(5), &CANumber::divide, CANumber::asInf(), "i0"},
      {CANumber::asInf(), &CANumber::divide, CANumber::asInf(), "i1"},
      {CANumber::asNan(), &CANumber::divide, CANumber::asInf(), "nan"},
      {CANumber(INT64_MIN), &CANumber::divide, CANumber(-1), "r9223372036854775808"},
      {CANumber::asInf(), &CANumber::multiply, CANumber(0), "inf"},
      {Fraction(2, 3), &CANumber::multiply, Fraction(3, 4), "f1/2"},
      {CANumber(INT64_MIN), &CANumber::multiply, CANumber(-1), "r9223372036854775808"},
      {CANumber(3037000499), &CANumber::multiply, CANumber(3037000499), "i9223372030926249001"},
      // Exact whenever the result in lowest terms fits, however large the cross products.
      {Fraction(4363, 3594), &CANumber::add, Fraction(262105349, 2056709802), "f275428652512/205328195233"},
      {Fraction(INT64_MAX, 3), &CANumber::multiply, Fraction(3, INT64_MAX), "i1"},
      {CANumber(-7), &CANumber::remainder, CANumber(3), "i-1"},
      {Fraction(15, 2), &CANumber::remainder, CANumber(2), "r1.5"},
      {CANumber(7), &CANumber::remainder, CANumber(0), "inf"},
      {CANumber(INT64_MIN), &CANumber::remainder, CANumber(-1), "i0"},
      {CANumber(2), &CANumber::power, CANumber(10), "i1024"}, {CANumber(4), &CANumber::power, Fraction(1, 2), "i2"},
      {CANumber(-8), &CANumber::power, Fraction(1, 3), "nan"}, {CANumber(0), &CANumber::power, CANumber(-1), "inf"},
      {CANumber(12), &CANumber::gcd, CANumber(18), "i6"}, {Fraction(25, 2), &CANumber::gcd, CANumber(8), "i4"},
      {CANumber(-4), &CANumber::gcd, CANumber(6), "nan"}, {CANumber(4), &CANumber::lcm, CANumber(6), "i12"},
      {CANumber(INT64_MAX), &CANumber::lcm, CANumber(2), "r18446744073709551614"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(Apply(row.a, row.op, row.b), row.expected)
        << DescribeNumber(row.a) << " op " << DescribeNumber(row.b);
}

TEST(NumberArithmetic, HugeFactorialsBecomeInfinityAndShowAsSuch) {
  CANumber n(1755);
  n.factorial();
  EXPECT_EQ(DescribeNumber(n), "inf");
  EXPECT_EQ(n.formatWith(nullptr), QStringLiteral("<Infinite>"));
  // The loop ends once the product is infinite, not after 2^63 rounds.
  n = CANumber(INT64_MAX);
  n.factorial();
  EXPECT_EQ(DescribeNumber(n), "inf");
  n = CANumber(1754);
  n.factorial();
  EXPECT_EQ(n.form(), kNumberReal);
  EXPECT_TRUE(std::isfinite(n.realValue()));
}

// The property test: every result whose lowest terms fit 64 bits equals the rational result
// that Python's fractions module computed; the others went on as reals (which may have come
// out integral) and lie within a few units in the last place of it.
TEST(NumberArithmetic, AgreesWithAnIndependentRationalImplementation) {
  QFile file(TestDataPath(QStringLiteral("number_arithmetic.txt")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  QTextStream stream(&file);
  int count = 0;
  int exactCount = 0;
  int realCount = 0;
  while (!stream.atEnd()) {
    const QString line = stream.readLine();
    const QStringList f = line.split(QLatin1Char(' '));
    if (f.size() != 10) continue;
    const CANumber a = Fraction(f[1].toLongLong(), f[2].toULongLong());
    const CANumber b = Fraction(f[3].toLongLong(), f[4].toULongLong());
    CANumber result = a;
    if (f[0] == QLatin1String("add"))
      result.add(b);
    else if (f[0] == QLatin1String("sub"))
      result.subtract(b);
    else if (f[0] == QLatin1String("mul"))
      result.multiply(b);
    else
      result.divide(b);
    ++count;
    if (f[5] == QLatin1String("inf")) {
      EXPECT_EQ(result.form(), kNumberInfinity) << line.toStdString();
      continue;
    }
    if (f[8] == QLatin1String("1")) {
      ++exactCount;
      EXPECT_EQ(DescribeNumber(result), result.form() == kNumberInteger
                                      ? std::string("i").append(f[6].toStdString())
                                      : std::string("f").append(f[6].toStdString()).append("/").append(f[7].toStdString()))
          << line.toStdString();
      if (f[7] == QLatin1String("1")) { EXPECT_EQ(result.form(), kNumberInteger); }
      continue;
    }
    ++realCount;
    EXPECT_NE(result.form(), kNumberFraction) << line.toStdString();
    const long double expected = ReadCReal(f[9].toStdString());
    // The real path rounds each operand and the result once; a sum may cancel, so its error
    // is measured against the operands' size.
    const long double scale = f[0] == QLatin1String("add") || f[0] == QLatin1String("sub")
                                  ? std::max(std::fabs(a.realValue()), std::fabs(b.realValue()))
                                  : std::fabs(expected);
    EXPECT_LE(std::fabs(result.realValue() - expected), scale * 4e-19L) << line.toStdString();
  }
  EXPECT_EQ(count, 3000);
  EXPECT_GT(exactCount, 1000);
  EXPECT_GT(realCount, 300);
}

TEST(NumberParsing, RandomTextNeverLeavesTheText) {
  // Characters that steer the parsers into their corners, in random order and length.
  const QString alphabet = QString::fromUtf8("0123456789.,-+()eE%$\u20AC x/\u221Erifn");
  std::mt19937 random(11);
  for (int round = 0; round < 20000; ++round) {
    QString text;
    const int length = int(random() % 24);
    for (int i = 0; i < length; ++i) text += alphabet[qsizetype(random() % alphabet.size())];
    qsizetype index = 0;
    const CANumber number = CANumber::withString(text, &index, text.size(), round % 2 == 0);
    ASSERT_GE(index, 0);
    ASSERT_LE(index, text.size()) << text.toStdString();
    const auto back = CANumber::withArchive(number.archive());
    ASSERT_TRUE(back.has_value()) << text.toStdString();
    EXPECT_TRUE(*back == number || !number.isValid()) << text.toStdString();
    (void)CANumber::withArchive(text);
    (void)CANumber::withValidatedString(text, true);
    (void)CANumber::withString(text, 16, 32);
  }
}

// ---------------------------------------------------------------------------------------------

TEST(NumberArchive, ReadsEveryForm) {
  struct Row { const char* archive; const char* expected; };
  const Row rows[] = {
      {"f-3/4", "f-3/4"}, {"f4/2", "i2"}, {"n", "nan"},       {"\u221E", "inf"},
      {"r0.5", "r0.5"},   {"r1.0E+20", "r100000000000000000000"},
  };
  for (const Row& row : rows) {
    const auto n = CANumber::withArchive(QString::fromUtf8(row.archive));
    ASSERT_TRUE(n.has_value()) << row.archive;
    EXPECT_EQ(DescribeNumber(*n), row.expected) << row.archive;
  }
  for (const char* bad : {"", "x5", "f3", "f3/", "f3/0", "f3/-4", "f1.5/2"})
    EXPECT_FALSE(CANumber::withArchive(QString::fromUtf8(bad)).has_value()) << bad;
}

TEST(NumberArchive, WholeNumbersAreWrittenInDecimalAfterAnI) {
  const std::pair<int64_t, const char*> rows[] = {
      {0, "i0"}, {7, "i7"}, {-42, "i-42"}, {INT64_MAX, "i9223372036854775807"}, {INT64_MIN, "i-9223372036854775808"},
  };
  for (const auto& [value, text] : rows) {
    EXPECT_EQ(CANumber(value).archive(), QLatin1String(text)) << text;
    const auto back = CANumber::withArchive(QLatin1String(text));
    ASSERT_TRUE(back.has_value()) << text;
    EXPECT_TRUE(*back == CANumber(value)) << text;
  }
}

TEST(NumberArchive, RealsReadBackAsTheSameExtendedReal) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> exponent(-60, 60);
  for (int i = 0; i < 3000; ++i) {
    long double x = std::pow(10.0L, static_cast<long double>(exponent(random)));
    // Fill the whole 64-bit mantissa, beyond what a double could hold.
    x *= 1 + static_cast<long double>(random()) / 18446744073709551616.0L;
    if (i % 2) x = -x;
    const CANumber n = CANumber::withReal(x);
    if (n.form() != kNumberReal) continue;
    const QString text = n.archive();
    const auto back = CANumber::withArchive(text);
    ASSERT_TRUE(back.has_value()) << text.toStdString();
    ASSERT_EQ(back->form(), kNumberReal) << text.toStdString();
    EXPECT_EQ(back->realValue(), x) << text.toStdString();
  }
}

TEST(NumberParsing, TypedRealsAreTheNearestExtendedRealToTheirDigits) {
  // The shortest texts of random extended reals, as the standard library writes them, read back as
  // those reals when typed, in either notation.
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> exponent(-40, 40);
  for (int i = 0; i < 3000; ++i) {
    long double x = std::pow(10.0L, static_cast<long double>(exponent(random)));
    x *= 1 + static_cast<long double>(random()) / 18446744073709551616.0L;
    if (i % 2) x = -x;
    char buffer[128];
    const auto format = i % 3 ? std::chars_format::scientific : std::chars_format::fixed;
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, x, format);
    ASSERT_EQ(written.ec, std::errc());
    const QString text = QString::fromLatin1(buffer, written.ptr - buffer);
    const auto typed = CANumber::withValidatedString(text, true);
    ASSERT_TRUE(typed.has_value()) << text.toStdString();
    EXPECT_TRUE(*typed == CANumber::withRealResult(x)) << text.toStdString() << " reads as " << DescribeNumber(*typed);
  }
  // Percent, groups and another locale's separators take nothing from the rounding.
  const struct {
    const char* locale;
    const char* typed;
    const char* digits;
  } cases[] = {
      {"en_US", "1.4142135623730950488", "1.4142135623730950488"},
      {"en_US", "1.1805916207174113034E+21", "1.1805916207174113034e21"},
      {"en_US", "-1.5E-20", "-1.5e-20"},
      {"en_US", "123,456,789,012,345,678,901.5", "123456789012345678901.5"},
      {"en_US", "1.4142135623730950488E+3%", "14.142135623730950488"},
      {"de_DE", "1.234.567,8912345678912345678", "1234567.8912345678912345678"},
      {"de_DE", "1,0E+20", "1e20"},
  };
  for (const auto& c : cases) {
    SetNumberTextLocale(QLocale(QString::fromLatin1(c.locale)));
    const auto typed = CANumber::withValidatedString(QString::fromLatin1(c.typed), true);
    SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    long double expected = 0;
    std::from_chars(c.digits, c.digits + std::strlen(c.digits), expected);
    ASSERT_TRUE(typed.has_value()) << c.typed;
    EXPECT_TRUE(*typed == CANumber::withRealResult(expected)) << c.typed << " reads as " << DescribeNumber(*typed);
  }
}

TEST(NumberStorage, ExtendedRealsKeepEveryBit) {
  for (const long double x : {LDBL_MAX, -LDBL_MAX, LDBL_MIN, -LDBL_TRUE_MIN, 1.0L / 3,
                              std::nextafter(1.0L, 2.0L)}) {
    const CANumber number = CANumber::withRealResult(x);
    ASSERT_EQ(number.form(), kNumberReal) << double(x);
    const long double back = number.realValue();
    EXPECT_EQ(std::memcmp(&back, &x, 10), 0) << double(x);
  }
}

TEST(NumberArchive, SeparatorOfTheLocaleNeitherWrittenNorNeeded) {
  CANumber third(1);
  third.divide(CANumber(3));
  third.squareRoot();  // a real
  ASSERT_EQ(third.form(), kNumberReal);
  SetNumberTextLocale(QLocale(QLocale::German, QLocale::Germany));
  const QString text = third.archive();
  const auto commaRead = CANumber::withArchive(QStringLiteral("r0,333333333333333"));
  const auto back = CANumber::withArchive(text);
  SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_FALSE(text.contains(QLatin1Char(',')));
  EXPECT_TRUE(text.startsWith(QStringLiteral("r0.57735")));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->realValue(), third.realValue());
  // An archive written under a comma locale keeps its fraction digits under ".".
  ASSERT_TRUE(commaRead.has_value());
  EXPECT_NEAR(double(commaRead->realValue()), 0.333333333333333, 1e-18);
  const auto commaHere = CANumber::withArchive(QStringLiteral("r2,5"));
  ASSERT_TRUE(commaHere.has_value());
  EXPECT_EQ(commaHere->realValue(), 2.5L);
}

// ---------------------------------------------------------------------------------------------

TEST(NumberDisplay, IntegerDisplaysRoundRealsHalfAwayFromZero) {
  CANumberFormat format;
  format.setDisplay(kDisplayInteger);
  CANumber a = Fraction(-12, 5);  // -2.4
  a.power(CANumber(1));
  ASSERT_EQ(a.form(), kNumberReal);
  EXPECT_EQ(a.formatWith(&format), QStringLiteral("-2"));
  CANumber b = Fraction(-5, 2);
  b.power(CANumber(1));
  EXPECT_EQ(b.formatWith(&format), QStringLiteral("-3"));
  EXPECT_EQ(Fraction(-5, 2).formatWith(&format), QStringLiteral("-3"));
  EXPECT_EQ(Fraction(5, 2).formatWith(&format), QStringLiteral("3"));
  SetNumberPreferencesProvider([] {
    CANumberPreferences preferences;
    preferences.roundDown = true;
    return preferences;
  });
  EXPECT_EQ(b.formatWith(&format), QStringLiteral("-2"));
  EXPECT_EQ(Fraction(5, 2).formatWith(&format), QStringLiteral("2"));
  SetNumberPreferencesProvider(nullptr);
  format.setDisplay(kDisplayHex);
  EXPECT_EQ(CANumber(255).formatWith(&format), QStringLiteral("00000000000000FF"));
}

}  // namespace
