// Math, rounding and trigonometry arithmetic against exact results from Python's fractions and
// extended-precision ones from mpmath (tools/make_function_vectors.py), plus the behaviours the
// vectors cannot show.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "FunctionVectors.h"
#include "calculator/model/formula/caMathCores.h"

namespace {

using Args = std::span<const CANumber>;

std::optional<CANumber> Optional(Args a, size_t i) {
  return a.size() > i ? std::optional<CANumber>(a[i]) : std::nullopt;
}

// Wraps a core of one argument that cannot fail.
template <CANumber (*Core)(const CANumber&)>
VectorFunction Unary() {
  return [](Args a) { return FunctionResult(Core(a[0])); };
}

const std::map<std::string, VectorFunction>& MathFunctions() {
  static const std::map<std::string, VectorFunction> functions = {
      {"SUM", [](Args a) { return FunctionResult(SumCore(a)); }},
      {"SUMSQ", [](Args a) { return FunctionResult(SumsqCore(a)); }},
      {"PRODUCT", [](Args a) { return FunctionResult(ProductCore(a)); }},
      {"GCD", [](Args a) { return GcdCore(a); }},
      {"LCM", [](Args a) { return LcmCore(a); }},
      {"MULTINOMIAL", [](Args a) { return MultinomialCore(a); }},
      {"SERIESSUM", [](Args a) { return SeriessumCore(a[0], a[1], a[2], a.subspan(3)); }},
      {"CEILING", [](Args a) { return CeilingCore(a[0], a[1]); }},
      {"FLOOR", [](Args a) { return FloorCore(a[0], a[1]); }},
      {"MROUND", [](Args a) { return MroundCore(a[0], a[1]); }},
      {"CEILING.PRECISE", [](Args a) { return CeilingPreciseCore(a[0], Optional(a, 1)); }},
      {"FLOOR.PRECISE", [](Args a) { return FloorPreciseCore(a[0], Optional(a, 1)); }},
      {"ROUND", [](Args a) { return FunctionResult(RoundCore(a[0], a[1])); }},
      {"ROUNDUP", [](Args a) { return FunctionResult(RoundupCore(a[0], a[1])); }},
      {"ROUNDDOWN", [](Args a) { return FunctionResult(RounddownCore(a[0], a[1])); }},
      {"MOD", [](Args a) { return FunctionResult(ModCore(a[0], a[1])); }},
      {"QUOTIENT", [](Args a) { return FunctionResult(QuotientCore(a[0], a[1])); }},
      {"POWER", [](Args a) { return FunctionResult(PowerCore(a[0], a[1])); }},
      {"LOG", [](Args a) { return FunctionResult(LogCore(a[0], Optional(a, 1))); }},
      {"ATAN2", [](Args a) { return FunctionResult(Atan2Core(a[0], a[1])); }},
      {"FACT", [](Args a) { return FactCore(a[0]); }},
      {"PI", [](Args) { return FunctionResult(PiCore()); }},
      {"E", [](Args) { return FunctionResult(ECore()); }},
      {"INT", Unary<IntCore>()},
      {"TRUNC", Unary<TruncCore>()},
      {"ABS", Unary<AbsCore>()},
      {"SIGN", Unary<SignCore>()},
      {"EVEN", Unary<EvenCore>()},
      {"ODD", Unary<OddCore>()},
      {"CBRT", Unary<CbrtCore>()},
      {"SQRT", Unary<SqrtCore>()},
      {"SQRTPI", Unary<SqrtpiCore>()},
      {"EXP", Unary<ExpCore>()},
      {"LN", Unary<LnCore>()},
      {"LOG10", Unary<Log10Core>()},
      {"LOG2", Unary<Log2Core>()},
      {"ACOS", Unary<AcosCore>()},
      {"ACOSH", Unary<AcoshCore>()},
      {"ASIN", Unary<AsinCore>()},
      {"ASINH", Unary<AsinhCore>()},
      {"ATAN", Unary<AtanCore>()},
      {"ATANH", Unary<AtanhCore>()},
      {"COS", Unary<CosCore>()},
      {"COSH", Unary<CoshCore>()},
      {"SIN", Unary<SinCore>()},
      {"SINH", Unary<SinhCore>()},
      {"TAN", Unary<TanCore>()},
      {"TANH", Unary<TanhCore>()},
      {"DEGREES", Unary<DegreesCore>()},
      {"RADIANS", Unary<RadiansCore>()},
  };
  return functions;
}

CANumber Fraction(int64_t n, uint64_t d) { return CANumber::withNumerator(n, d); }

// A real that the canonical form leaves real (a power that is not whole).
CANumber RawReal(long double value) {
  CANumber number = CANumber::withReal(value);
  number.power(CANumber(1));
  return number;
}

TEST(MathCores, ExactResultsMatchRationalArithmetic) {
  const auto vectors = ReadFunctionVectors(QStringLiteral("functions/exact.txt"), 2e-15L);
  EXPECT_GT(RunFunctionVectors(vectors, MathFunctions()), 5000);
}

TEST(MathCores, RealResultsMatchExtendedPrecision) {
  const auto vectors = ReadFunctionVectors(QStringLiteral("functions/reals.txt"), 0);
  EXPECT_GT(RunFunctionVectors(vectors, MathFunctions()), 1000);
}

TEST(MathCores, ModKeepsTheSignOfTheNumber) {
  // On purpose unlike common spreadsheets, whose MOD(-7, 3) is 2: the remainder of truncating
  // division, with the sign of the number.
  EXPECT_TRUE(MatchesExpected(ModCore(CANumber(-7), CANumber(3)), "=-1", 0));
  EXPECT_TRUE(MatchesExpected(ModCore(CANumber(7), CANumber(-3)), "=1", 0));
  EXPECT_TRUE(MatchesExpected(ModCore(CANumber(7), CANumber(0)), "inf", 0));
}

TEST(MathCores, CubeRootsOfNegativeNumbersAreReal) {
  // As a power of 1/3 the root of -8 was NaN ("<Value>") and that of 8 not exactly 2.
  const struct {
    CANumber x;
    const char* root;
  } cases[] = {
      {CANumber(-8), "=-2"},
      {CANumber(8), "=2"},
      {CANumber(-27), "=-3"},
      {Fraction(27, 8), "=3/2"},
      {Fraction(-1, 1000), "=-1/10"},
      {CANumber(2), "~1.25992104989487316476721060728"},
      {CANumber(-2), "~-1.25992104989487316476721060728"},
      {RawReal(-15.625L), "=-5/2"},
  };
  for (const auto& c : cases) EXPECT_TRUE(MatchesExpected(CbrtCore(c.x), c.root, 4e-19L)) << c.root;
  EXPECT_EQ(CbrtCore(CANumber::asNan()).form(), kNumberNaN);
  EXPECT_EQ(CbrtCore(CANumber::asInf()).form(), kNumberInfinity);
}

TEST(MathCores, EvenAndOddRoundTheMagnitudeUp) {
  // Both round away from zero: the integer part alone made EVEN(2.5) 2.
  const struct {
    CANumber x;
    const char* even;
    const char* odd;
  } cases[] = {
      {Fraction(5, 2), "=4", "=3"},      {Fraction(-5, 2), "=-4", "=-3"},
      {Fraction(7, 2), "=4", "=5"},      {CANumber(1), "=2", "=1"},
      {CANumber(2), "=2", "=3"},         {CANumber(0), "=0", "=1"},
      {CANumber(-1), "=-2", "=-1"},      {Fraction(-1, 2), "=-2", "=-1"},
      {RawReal(0.25L), "=2", "=1"},
      {CANumber(std::numeric_limits<int64_t>::min()), "~-9223372036854775808",
       "~-9223372036854775809"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(MatchesExpected(EvenCore(c.x), c.even, 0)) << c.even;
    EXPECT_TRUE(MatchesExpected(OddCore(c.x), c.odd, 1.1e-19L)) << c.odd;
  }
  // Beyond 64 bits every extended real is even: EVEN keeps it.
  EXPECT_TRUE(MatchesExpected(EvenCore(CANumber::withReal(1e30L)), "~1e30", 0));
}

TEST(MathCores, TruncationKeepsRealsBeyondSixtyFourBits) {
  // makeInteger would saturate 1e30 to 2^63 - 1; it is already a whole number.
  const CANumber huge = CANumber::withReal(1e30L);
  EXPECT_TRUE(MatchesExpected(TruncCore(huge), "~1e30", 0));
  EXPECT_TRUE(MatchesExpected(IntCore(huge), "~1e30", 0));
  EXPECT_TRUE(MatchesExpected(QuotientCore(huge, CANumber(1)), "~1e30", 0));
  EXPECT_TRUE(MatchesExpected(RoundCore(CANumber::withReal(-1e20L), CANumber(2)), "~-1e20", 0));
  EXPECT_TRUE(MatchesExpected(TruncCore(RawReal(-2.75L)), "=-2", 0));
}

TEST(MathCores, DigitRoundingIsExactOnDecimals) {
  // 10^-n is the exact fraction 1/10^n, so decimal halves round as written.
  const struct {
    CANumber x;
    int64_t digits;
    const char* rounded;
  } cases[] = {
      {Fraction(201, 200), 2, "=101/100"},   // ROUND(1.005, 2)
      {Fraction(107, 40), 2, "=67/25"},      // ROUND(2.675, 2) = 2.68
      {Fraction(-107, 40), 2, "=-67/25"},
      {RawReal(3.14159265358979323846L), 2, "=157/50"},
      {CANumber(5), 400, "=5"},             // a whole number has no decimals to lose
      {Fraction(1, 3), 6000, "=1/3"},       // 10^-6000 is below the smallest real
      {CANumber(5), -20, "=0"},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(MatchesExpected(RoundCore(c.x, CANumber(c.digits)), c.rounded, 0)) << c.rounded;
  EXPECT_TRUE(MatchesExpected(RoundupCore(CANumber(5), CANumber(-20)), "~1e20", 0));
  EXPECT_TRUE(MatchesExpected(RoundupCore(CANumber(5), CANumber(-6000)), "inf", 0));
  EXPECT_TRUE(MatchesExpected(RoundCore(CANumber(5), CANumber(-6000)), "=0", 0));
}

TEST(MathCores, SignificanceRoundingRefusesOppositeSigns) {
  EXPECT_EQ(CeilingCore(Fraction(-21, 10), CANumber(1)).error, uint32_t(kFormulaErrorNumber));
  EXPECT_EQ(FloorPreciseCore(Fraction(5, 2), CANumber(-1)).error, uint32_t(kFormulaErrorNumber));
  EXPECT_TRUE(MatchesExpected(CeilingCore(CANumber(0), CANumber(-5)), "=0", 0));
}

TEST(MathCores, RandbetweenCoversItsSpanWithoutOverflow) {
  // A span of one number is that number (it was error 8).
  EXPECT_TRUE(MatchesExpected(RandbetweenCore(CANumber(5), CANumber(5)), "=5", 0));
  EXPECT_TRUE(MatchesExpected(RandbetweenCore(Fraction(59, 10), Fraction(51, 10)), "=5", 0));
  EXPECT_EQ(RandbetweenCore(CANumber(6), CANumber(5)).error, uint32_t(kFormulaErrorNumber));
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  EXPECT_EQ(RandbetweenCore(CANumber(kMin), CANumber(kMax)).error, uint32_t(kFormulaErrorNumber));
  EXPECT_EQ(RandbetweenCore(CANumber(0), CANumber(4294967295)).error,
            uint32_t(kFormulaErrorNumber));
  EXPECT_TRUE(RandbetweenCore(CANumber(1), CANumber(4294967295)).succeeded());
  // The ends of the 64-bit range are reachable without overflow.
  const FunctionResult top = RandbetweenCore(CANumber(kMax), CANumber(kMax));
  EXPECT_TRUE(MatchesExpected(top, "=" + std::to_string(kMax), 0));
  const FunctionResult bottom = RandbetweenCore(CANumber(kMin), CANumber(kMin + 9));
  ASSERT_TRUE(bottom.succeeded());
  EXPECT_LE(bottom.value.numerator(), kMin + 9);

  std::set<int64_t> seen;
  for (int i = 0; i < 2000; ++i) {
    const FunctionResult result = RandbetweenCore(CANumber(-3), CANumber(3));
    ASSERT_TRUE(result.succeeded());
    ASSERT_EQ(result.value.form(), kNumberInteger);
    seen.insert(result.value.numerator());
  }
  EXPECT_EQ(seen, (std::set<int64_t>{-3, -2, -1, 0, 1, 2, 3}));
}

TEST(MathCores, RandIsBelowOne) {
  for (int i = 0; i < 2000; ++i) {
    const long double value = RandCore().realValue();
    ASSERT_GE(value, 0);
    ASSERT_LT(value, 1);
  }
}

TEST(MathCores, GcdAndLcmRefuseNumbersBeyondSixtyFourBits) {
  const CANumber huge = CANumber::withReal(1e20L);
  EXPECT_EQ(GcdCore(std::vector{huge, CANumber(10)}).error, uint32_t(kFormulaErrorNumber));
  // A lone operand comes back as it is.
  EXPECT_TRUE(MatchesExpected(GcdCore(std::vector{huge}), "~1e20", 0));
  EXPECT_EQ(LcmCore({}).error, uint32_t(kFormulaErrorNotAvailable));
}

TEST(MathCores, MultinomialOfLargeGroupsIsExact) {
  // 21! / (10! 11!) through whole factorials left a real just off 352716.
  EXPECT_TRUE(MatchesExpected(MultinomialCore(std::vector{CANumber(10), CANumber(11)}),
                              "=352716", 0));
}

TEST(MathCores, IntegralResultsOfRealFunctionsBecomeIntegers) {
  EXPECT_TRUE(MatchesExpected(SqrtCore(CANumber(4)), "=2", 0));
  EXPECT_TRUE(MatchesExpected(CosCore(CANumber(0)), "=1", 0));
  EXPECT_TRUE(MatchesExpected(SinCore(CANumber(0)), "=0", 0));
  EXPECT_TRUE(MatchesExpected(LogCore(CANumber(100)), "=2", 0));
  EXPECT_TRUE(MatchesExpected(DegreesCore(PiCore()), "=180", 0));
  EXPECT_TRUE(MatchesExpected(LogCore(CANumber(5), CANumber(1)), "inf", 0));
  EXPECT_EQ(SqrtCore(CANumber(-1)).form(), kNumberNaN);
  EXPECT_EQ(LnCore(CANumber(0)).form(), kNumberInfinity);
  EXPECT_EQ(AcosCore(CANumber(2)).form(), kNumberNaN);
}

TEST(MathCores, WholePowersHaveWholeLogarithms) {
  // The extended log10 of 1000 is a hair above 3.
  EXPECT_TRUE(MatchesExpected(Log10Core(CANumber(1000)), "=3", 0));
  EXPECT_TRUE(MatchesExpected(LogCore(Fraction(1, 1000)), "=-3", 0));
  EXPECT_TRUE(MatchesExpected(Log2Core(Fraction(1, 8)), "=-3", 0));
  EXPECT_TRUE(MatchesExpected(LogCore(CANumber(8), CANumber(2)), "=3", 0));
  EXPECT_TRUE(MatchesExpected(LogCore(CANumber(8), Fraction(1, 2)), "=-3", 0));
  EXPECT_TRUE(MatchesExpected(LogCore(CANumber(1000000000000000000), CANumber(10)), "=18", 0));
  EXPECT_TRUE(MatchesExpected(LogCore(CANumber(9), CANumber(2)),
                              "~3.16992500144231236295150469164", 2e-18L));
}

TEST(MathCores, Atan2TakesXFirst) {
  EXPECT_TRUE(MatchesExpected(Atan2Core(CANumber(0), CANumber(1)),
                              "~1.57079632679489661923132169164", 4e-19L));
  EXPECT_TRUE(MatchesExpected(Atan2Core(CANumber(1), CANumber(1)),
                              "~0.785398163397448309615660845820", 4e-19L));
}

TEST(MathCores, EmptyListsGiveTheirNeutralResults) {
  EXPECT_TRUE(MatchesExpected(SumCore({}), "=0", 0));
  EXPECT_TRUE(MatchesExpected(ProductCore({}), "=0", 0));
  EXPECT_TRUE(MatchesExpected(SumsqCore({}), "=0", 0));
  EXPECT_TRUE(MatchesExpected(MultinomialCore({}), "=0", 0));
  EXPECT_EQ(GcdCore({}).error, uint32_t(kFormulaErrorNotAvailable));
}

}  // namespace
