// Exact numbers: parsing, canonical form, arithmetic against an independent rational
// implementation, the archive text and display.
#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QTextStream>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "calculator/model/CANumber.h"
#include "calculator/model/formula/FunctionVectors.h"
#include "calculator/model/CANumberFormat.h"
#include "support/LogCapture.h"
#include "support/TestData.h"

namespace {

CANumber Fraction(int64_t n, uint64_t d) { return CANumber::withNumerator(n, d); }

struct ParseCase {
  const char* text;
  bool groups;
  const char* expected;
  qsizetype index;
};

CANumber ParseAll(const QString& text, bool groups, qsizetype* index) {
  *index = 0;
  return CANumber::withString(text, index, text.size(), groups);
}

TEST(NumberParsing, DecimalTextReadsExactly) {
  const ParseCase cases[] = {
      {"0.25", false, "f1/4", 4},
      {"2.50", false, "f5/2", 4},
      {"5.", false, "i5", 2},
      {"1,234.5", true, "f2469/2", 7},
      {"1,234.5", false, "i1", 1},
      {"(12)", false, "i-12", 4},
      {"-(12)", false, "i0", 1},
      {"(-12)", false, "i0", 1},
      {"-", false, "i0", 0},
      {"12-", false, "i12", 2},
      {"(12", false, "i0", 0},
      {"$5", false, "i5", 2},
      {"5$", false, "i5", 2},
      {"\u20AC-3.5", false, "f-7/2", 5},
      {"5%", false, "f1/20", 2},
      {"2.5%", false, "f1/40", 4},
      {"1.5e3%", false, "i15", 6},
      {"1e5", false, "i100000", 3},
      {"1E+2", false, "i100", 4},
      {"25e-2", false, "f1/4", 5},
      {"1e", false, "i1", 1},
      {"1ex", false, "nan", 2},
      {"1e+x", false, "nan", 3},
      {"1e-", false, "nan", 3},
      {"9223372036854775807", false, "i9223372036854775807", 19},
      {"-9223372036854775807", false, "i-9223372036854775807", 20},
      {"12abc", false, "i12", 2},
      {".5", false, "f1/2", 2},
      {"0.000000000000000001", false, "f1/1000000000000000000", 20},
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
  EXPECT_EQ(DescribeNumber(ParseAll(QStringLiteral("-1e5000"), false, &index)), "inf");
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
  EXPECT_EQ(DescribeNumber(*CANumber::withValidatedString(QStringLiteral("  1,234  "), true)), "i1234");
  EXPECT_EQ(DescribeNumber(*CANumber::withValidatedString(QStringLiteral("(3.5)"), true)), "f-7/2");
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("1,234"), false));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("12abc"), true));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral(""), true));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("   "), true));
  // No digit at all, or a malformed exponent: the user's text stays text.
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("$"), true));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("."), true));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("%"), true));
  EXPECT_FALSE(CANumber::withValidatedString(QStringLiteral("1e+"), true));
  // Without validation whatever was parsed is returned.
  EXPECT_EQ(DescribeNumber(CANumber::withString(QStringLiteral("  42 apples"), false)), "i42");
}

TEST(NumberParsing, UsesTheLocaleSeparators) {
  SetNumberTextLocale(QLocale(QLocale::German, QLocale::Germany));
  qsizetype index = 0;
  const CANumber n = ParseAll(QStringLiteral("1.234,5"), true, &index);
  SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(DescribeNumber(n), "f2469/2");
  EXPECT_EQ(index, 7);
}

TEST(NumberParsing, ReadsDigitsInABaseWithAWordSize) {
  struct Row {
    const char* text;
    int base;
    int wordSize;
    const char* expected;
  };
  const Row rows[] = {
      {"FFFF", 16, 16, "i-1"},
      {"-5", 10, 32, "i-5"},
      {"777", 8, 64, "i511"},
      {"11111111", 2, 16, "i255"},
      {"ffffffff", 16, 32, "i-1"},
      {"7FFFFFFF", 16, 32, "i2147483647"},
      {"FFFFFFFFFFFFFFFFFF", 16, 64, "i-1"},
      {"-32768", 10, 16, "i-32768"},
      {"-9223372036854775808", 10, 64, "i-9223372036854775808"},
      {"", 10, 64, "i0"},
  };
  for (const Row& row : rows) {
    const auto n = CANumber::withString(QString::fromLatin1(row.text), row.base, row.wordSize);
    ASSERT_TRUE(n.has_value()) << row.text;
    EXPECT_EQ(DescribeNumber(*n), row.expected) << row.text;
  }
  EXPECT_FALSE(CANumber::withString(QStringLiteral("12G"), 16, 64));
  EXPECT_FALSE(CANumber::withString(QStringLiteral("8"), 8, 64));
  EXPECT_FALSE(CANumber::withString(QStringLiteral("-5"), 16, 64));
  LogCapture log;
  EXPECT_FALSE(CANumber::withString(QStringLiteral("1"), 1, 64));
  EXPECT_FALSE(CANumber::withString(QStringLiteral("1"), 17, 64));
  EXPECT_EQ(log.entries().filter(QStringLiteral("Bad base")).size(), 2);
}

TEST(NumberCanonicalForm, ReadRealsBecomeFractionsAndComputedRealsStay) {
  EXPECT_EQ(DescribeNumber(CANumber::withReal(0.25L)), "f1/4");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(1.0L / 3)), "f1/3");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(-2.75L)), "f-11/4");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(0.1L)), "f1/10");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(42.0L)), "i42");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(0.0L)), "i0");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(NAN)), "nan");
  EXPECT_EQ(DescribeNumber(CANumber::withReal(-INFINITY)), "inf");
  EXPECT_EQ(CANumber::withReal(std::sqrt(2.0L)).form(), kNumberReal);
  EXPECT_EQ(CANumber::withReal(1e-12L).form(), kNumberReal);
  EXPECT_EQ(CANumber::withReal(1e30L).form(), kNumberReal);
  CANumber root(2);
  root.squareRoot();
  EXPECT_EQ(root.form(), kNumberReal);
  EXPECT_EQ(DescribeNumber(Fraction(6, 4)), "f3/2");
  EXPECT_EQ(DescribeNumber(Fraction(-6, 3)), "i-2");
  EXPECT_EQ(DescribeNumber(Fraction(0, 7)), "i0");
  EXPECT_EQ(DescribeNumber(Fraction(INT64_MIN, 2)), "i-4611686018427387904");
}

TEST(NumberCanonicalForm, CopyPutsRealsIntoCanonicalFormWithConversion) {
  CANumber half(2);
  half.power(CANumber(-1));
  ASSERT_EQ(half.form(), kNumberReal);
  EXPECT_EQ(DescribeNumber(half.copy()), "f1/2");
  CANumber root(2);
  root.squareRoot();
  EXPECT_EQ(root.copy().form(), kNumberReal);
  EXPECT_EQ(DescribeNumber(Fraction(-3, 4).copy()), "f-3/4");
  EXPECT_EQ(DescribeNumber(CANumber::asInf().copy()), "inf");
}

TEST(NumberCanonicalForm, IntegerValueTruncatesAndSaturates) {
  EXPECT_EQ(Fraction(-7, 2).integerValue(), -3);
  EXPECT_EQ(Fraction(7, 2).integerValue(), 3);
  CANumber huge = CANumber::withReal(1e30L);
  EXPECT_EQ(huge.integerValue(), INT64_MAX);
  EXPECT_EQ(CANumber::withReal(-1e30L).integerValue(), INT64_MIN);
  EXPECT_EQ(CANumber::asInf().integerValue(), INT64_MAX);
  EXPECT_EQ(CANumber::asNan().integerValue(), 0);
  CANumber made = CANumber::withReal(-1e30L);
  made.makeInteger();
  EXPECT_EQ(DescribeNumber(made), "i-9223372036854775808");
}

TEST(NumberCanonicalForm, DateValuesMustBeRealDates) {
  int32_t day = 0;
  EXPECT_TRUE(CANumber(20240229).getDateValue(&day));
  EXPECT_EQ(day, 20240229);
  EXPECT_FALSE(CANumber(20230229).getDateValue(&day));
  EXPECT_FALSE(CANumber(18991231).getDateValue(&day));
  EXPECT_FALSE(CANumber::asInf().getDateValue(&day));
  EXPECT_TRUE(Fraction(40480459, 2).getDateValue(&day));  // 20240229.5
}

TEST(NumberCanonicalForm, WordSizesKeepTheLowBitsWithTheirSign) {
  CANumber n(0x18000);
  EXPECT_TRUE(n.enforceWordSize(16));
  EXPECT_EQ(n.numerator(), -32768);
  CANumber m(0x100000005);
  EXPECT_FALSE(m.enforceWordSize(32));
  EXPECT_EQ(m.numerator(), 5);
  CANumber k(-5);
  EXPECT_FALSE(k.enforceWordSize(64));
  EXPECT_EQ(k.numerator(), -5);
  CANumber f = Fraction(-7, 2);
  f.makeInteger(16);
  EXPECT_EQ(DescribeNumber(f), "i-3");
  CANumber nan = CANumber::asNan();
  nan.makeInteger();
  EXPECT_EQ(DescribeNumber(nan), "nan");
}

// ---------------------------------------------------------------------------------------------

using Operation = void (CANumber::*)(const CANumber&);

std::string Apply(CANumber a, Operation op, const CANumber& b) {
  (a.*op)(b);
  return DescribeNumber(a);
}

TEST(NumberArithmetic, ExactResultsAndTheirOverflowIntoReals) {
  struct Row {
    CANumber a;
    Operation op;
    CANumber b;
    const char* expected;
  };
  const CANumber twoTo62(int64_t(1) << 62);
  const Row rows[] = {
      {Fraction(1, 3), &CANumber::add, Fraction(1, 6), "f1/2"},
      {Fraction(1, 2), &CANumber::add, Fraction(1, 2), "i1"},
      {twoTo62, &CANumber::add, twoTo62, "r9223372036854775808"},
      {CANumber(INT64_MIN), &CANumber::add, CANumber(-1), "r-9223372036854775809"},
      {CANumber(INT64_MAX), &CANumber::add, CANumber(INT64_MIN), "i-1"},
      {Fraction(1, 3), &CANumber::add, CANumber(0), "f1/3"},
      {CANumber(5), &CANumber::subtract, Fraction(1, 2), "f9/2"},
      {CANumber(0), &CANumber::subtract, CANumber(INT64_MIN), "r9223372036854775808"},
      {CANumber(7), &CANumber::divide, CANumber(0), "inf"},
      {CANumber(0), &CANumber::divide, CANumber(0), "inf"},
      {CANumber(5), &CANumber::divide, CANumber::asInf(), "i0"},
      {CANumber::asInf(), &CANumber::divide, CANumber::asInf(), "i1"},
      {CANumber::asNan(), &CANumber::divide, CANumber::asInf(), "nan"},
      {CANumber(INT64_MIN), &CANumber::divide, CANumber(-1), "r9223372036854775808"},
      {CANumber(6), &CANumber::divide, CANumber(4), "f3/2"},
      {CANumber::asInf(), &CANumber::multiply, CANumber(0), "inf"},
      {CANumber(0), &CANumber::multiply, CANumber::asInf(), "inf"},
      {CANumber(3), &CANumber::multiply, CANumber::asNan(), "nan"},
      {Fraction(2, 3), &CANumber::multiply, Fraction(3, 4), "f1/2"},
      {CANumber(INT64_MIN), &CANumber::multiply, CANumber(1), "i-9223372036854775808"},
      {CANumber(INT64_MIN), &CANumber::multiply, CANumber(-1), "r9223372036854775808"},
      {CANumber(3037000499), &CANumber::multiply, CANumber(3037000499), "i9223372030926249001"},
      // Exact whenever the result in lowest terms fits, however large the cross products.
      {Fraction(4363, 3594), &CANumber::add, Fraction(262105349, 2056709802),
       "f275428652512/205328195233"},
      {Fraction(INT64_MAX, 3), &CANumber::multiply, Fraction(3, INT64_MAX), "i1"},
      {CANumber(-7), &CANumber::remainder, CANumber(3), "i-1"},
      {CANumber(7), &CANumber::remainder, CANumber(-3), "i1"},
      {Fraction(15, 2), &CANumber::remainder, CANumber(2), "r1.5"},
      {CANumber(7), &CANumber::remainder, CANumber(0), "inf"},
      {CANumber(INT64_MIN), &CANumber::remainder, CANumber(-1), "i0"},
      {CANumber::asNan(), &CANumber::remainder, CANumber::asInf(), "nan"},
      {CANumber(2), &CANumber::power, CANumber(10), "i1024"},
      {CANumber(4), &CANumber::power, Fraction(1, 2), "i2"},
      {CANumber(-8), &CANumber::power, Fraction(1, 3), "nan"},
      {CANumber(0), &CANumber::power, CANumber(-1), "inf"},
      {CANumber(12), &CANumber::gcd, CANumber(18), "i6"},
      {CANumber(0), &CANumber::gcd, CANumber(18), "i18"},
      {Fraction(25, 2), &CANumber::gcd, CANumber(8), "i4"},
      {CANumber(-4), &CANumber::gcd, CANumber(6), "nan"},
      {CANumber(4), &CANumber::lcm, CANumber(6), "i12"},
      {CANumber(0), &CANumber::lcm, CANumber(6), "i0"},
      {CANumber(INT64_MAX), &CANumber::lcm, CANumber(2), "r18446744073709551614"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(Apply(row.a, row.op, row.b), row.expected)
        << DescribeNumber(row.a) << " op " << DescribeNumber(row.b);
}

TEST(NumberArithmetic, UnaryOperations) {
  CANumber n(4);
  n.squareRoot();
  EXPECT_EQ(DescribeNumber(n), "i2");
  n = CANumber(-1);
  n.squareRoot();
  EXPECT_EQ(DescribeNumber(n), "nan");
  n = Fraction(-3, 4);
  n.invert();
  EXPECT_EQ(DescribeNumber(n), "f-4/3");
  n = CANumber(0);
  n.invert();
  EXPECT_EQ(DescribeNumber(n), "inf");
  n.invert();
  EXPECT_EQ(DescribeNumber(n), "i0");
  n = CANumber(INT64_MIN);
  n.invert();
  EXPECT_EQ(DescribeNumber(n), "f-1/9223372036854775808");
  n = CANumber(INT64_MIN);
  n.changeSign();
  EXPECT_EQ(DescribeNumber(n), "r9223372036854775808");
  n = CANumber(INT64_MIN);
  n.makePositive();
  EXPECT_EQ(DescribeNumber(n), "r9223372036854775808");
  n = Fraction(-5, 3);
  n.makePositive();
  EXPECT_EQ(DescribeNumber(n), "f5/3");
}

TEST(NumberArithmetic, FactorialsUpTo20AreExactAndLargerOnesReal) {
  CANumber n(20);
  n.factorial();
  EXPECT_EQ(DescribeNumber(n), "i2432902008176640000");
  n = CANumber(21);
  n.factorial();
  EXPECT_EQ(n.form(), kNumberReal);
  EXPECT_EQ(n.realValue(), 2432902008176640000.0L * 21);
  n = Fraction(7, 2);
  n.factorial();
  EXPECT_EQ(DescribeNumber(n), "i6");
  n = CANumber(-1);
  n.factorial();
  EXPECT_EQ(DescribeNumber(n), "nan");
  n = CANumber(0);
  n.factorial();
  EXPECT_EQ(DescribeNumber(n), "i1");
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

TEST(NumberArithmetic, EqualityComparesValuesAcrossForms) {
  EXPECT_FALSE(CANumber::asNan() == CANumber(0));
  EXPECT_TRUE(CANumber::asNan() == CANumber::asNan());
  EXPECT_TRUE(CANumber::asInf() == CANumber::asInf());
  EXPECT_FALSE(CANumber::asInf() == CANumber(INT64_MAX));
  CANumber half(1);
  half.divide(CANumber(2));
  CANumber realHalf = CANumber(2);
  realHalf.power(CANumber(-1));
  EXPECT_EQ(realHalf.form(), kNumberReal);
  EXPECT_TRUE(realHalf == half);
  CANumber raw;
  raw.setForm(kNumberFraction);
  raw.setNumerator(4);
  raw.setDenominator(2);
  EXPECT_TRUE(raw == CANumber(2));
  EXPECT_FALSE(Fraction(1, 3) == Fraction(1, 4));
}

TEST(NumberArithmetic, QueriesAndErrorCodes) {
  EXPECT_EQ(CANumber::asInf().evaluationError(), 3);
  EXPECT_EQ(CANumber::asNan().evaluationError(), 6);
  EXPECT_EQ(CANumber(5).evaluationError(), 0);
  EXPECT_TRUE(CANumber(0).isPositive());
  EXPECT_FALSE(Fraction(-1, 2).isPositive());
  EXPECT_TRUE(CANumber::asNan().isPositive());
  EXPECT_FALSE(CANumber::asNan().isZero());
  EXPECT_TRUE(CANumber::zero().isZero());
  EXPECT_FALSE(CANumber::asInf().isValid());
  EXPECT_TRUE(g_number2 == CANumber(2));
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
      if (f[7] == QLatin1String("1")) {
        EXPECT_EQ(result.form(), kNumberInteger);
      }
      continue;
    }
    ++realCount;
    EXPECT_NE(result.form(), kNumberFraction) << line.toStdString();
    const long double expected = std::strtold(f[9].toLatin1().constData(), nullptr);
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

TEST(NumberArchive, WritesPrefixAndValue) {
  CANumber realHalf = CANumber(2);
  realHalf.power(CANumber(-1));
  CANumber raw;
  raw.setForm(kNumberFraction);
  raw.setNumerator(4);
  raw.setDenominator(2);
  CANumber big(10);
  big.power(CANumber(20));
  struct Row {
    CANumber number;
    const char* archive;
  };
  const Row rows[] = {
      {CANumber(42), "i42"},
      {CANumber(-7), "i-7"},
      {Fraction(-3, 4), "f-3/4"},
      {CANumber::asNan(), "n"},
      {CANumber::asInf(), "\u221E"},
      {raw, "i2"},
      {realHalf, "r0.5"},
      {big, "r1.0E+20"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.number.archive(), QString::fromUtf8(row.archive));
}

TEST(NumberArchive, ReadsEveryForm) {
  struct Row {
    const char* archive;
    const char* expected;
  };
  const Row rows[] = {
      {"i42", "i42"},     {"i-7", "i-7"},
      {"f-3/4", "f-3/4"}, {"f4/2", "i2"},
      {"n", "nan"},       {"\u221E", "inf"},
      {"r0.5", "r0.5"},   {"r1.0E+20", "r100000000000000000000"},
      {"r2.5", "r2.5"},   {"r4", "i4"},
  };
  for (const Row& row : rows) {
    const auto n = CANumber::withArchive(QString::fromUtf8(row.archive));
    ASSERT_TRUE(n.has_value()) << row.archive;
    EXPECT_EQ(DescribeNumber(*n), row.expected) << row.archive;
  }
  for (const char* bad : {"", "x5", "f3", "f3/", "f3/0", "f3/-4", "f1.5/2"})
    EXPECT_FALSE(CANumber::withArchive(QString::fromUtf8(bad)).has_value()) << bad;
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

TEST(NumberDisplay, ChoosesTheFormatByForm) {
  EXPECT_EQ(CANumber(42).description(), QStringLiteral("42"));
  EXPECT_EQ(CANumber(-42).description(), QStringLiteral("-42"));
  EXPECT_EQ(Fraction(1, 3).description(), QStringLiteral("1/3"));
  EXPECT_EQ(Fraction(7, 4).description(), QStringLiteral("1 3/4"));
  EXPECT_EQ(Fraction(-7, 4).description(), QStringLiteral("-1 3/4"));
  EXPECT_EQ(Fraction(-3, 4).description(), QStringLiteral("-3/4"));
  EXPECT_EQ(CANumber::asInf().description(), QStringLiteral("<Infinite>"));
  EXPECT_EQ(CANumber::asNan().description(), QStringLiteral("<Value>"));
  // Large integers leave the integer display for scientific notation.
  EXPECT_TRUE(CANumber(1000000000000).description().contains(QStringLiteral("E+12")));
  EXPECT_EQ(CANumber(999999999999).description(), QStringLiteral("999999999999"));
  EXPECT_EQ(StringWithFormat("%@", Fraction(1, 2)), QStringLiteral("1/2"));
}

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

TEST(NumberDisplay, FractionAndFloatDisplays) {
  CANumberFormat fraction;
  fraction.setDisplay(kDisplayFraction);
  CANumber real = Fraction(-7, 4);
  real.power(CANumber(1));
  ASSERT_EQ(real.form(), kNumberReal);
  EXPECT_EQ(real.formatWith(&fraction), QStringLiteral("-1 3/4"));
  fraction.setKeepFraction(true);
  EXPECT_EQ(Fraction(7, 4).formatWith(&fraction), QStringLiteral("7/4"));
  EXPECT_EQ(real.formatWith(&fraction), QStringLiteral("-1 3/4"));  // a negative whole part stays
  CANumber positive = Fraction(7, 4);
  positive.power(CANumber(1));
  EXPECT_EQ(positive.formatWith(&fraction), QStringLiteral("7/4"));
  EXPECT_EQ(CANumber(5).formatWith(&fraction), QStringLiteral("5"));

  CANumberFormat decimal;
  decimal.setDisplay(kDisplayFloat);
  decimal.setSize(2);
  EXPECT_EQ(Fraction(1, 8).formatWith(&decimal), QStringLiteral("0.12"));
  decimal.setSize(3);
  EXPECT_EQ(Fraction(-1, 3).formatWith(&decimal), QStringLiteral("-0.333"));
  EXPECT_EQ(CANumber(5).formatWith(&decimal), QStringLiteral("5.000"));
  CANumber zeroDenominator;
  zeroDenominator.setForm(kNumberFraction);
  zeroDenominator.setNumerator(3);
  zeroDenominator.setDenominator(0);
  EXPECT_EQ(zeroDenominator.formatWith(&decimal), QStringLiteral("<Infinite>"));
}

TEST(NumberDisplay, GenericDisplaysUseTheRealValue) {
  CANumberFormat date;
  date.setDisplay(kDisplayDate);
  EXPECT_EQ(CANumber(20240105).formatWith(&date), QStringLiteral("1/5/2024"));
  // A value beyond 32 bits is no date, even where its low bits would be one.
  EXPECT_EQ(CANumber((int64_t(1) << 32) + 20240105).formatWith(&date), QStringLiteral("<Date>"));
  CANumberFormat percent;
  percent.setDisplay(kDisplayPercent);
  EXPECT_EQ(Fraction(1, 4).formatWith(&percent), QStringLiteral("25%"));
  CANumber huge(10);
  huge.power(CANumber(19));  // a real beyond the percent display's range
  EXPECT_FALSE(huge.formatWith(&percent).contains(QLatin1Char('%')));
  CANumberFormat money;
  money.setDisplay(kDisplayMoney);
  money.setForceHundredths(true);
  EXPECT_EQ(Fraction(5, 2).formatWith(&money), QStringLiteral("$2.50"));
}

}  // namespace
