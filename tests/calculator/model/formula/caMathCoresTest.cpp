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

// Wraps a core of one argument that cannot fail.
template <CANumber (*Core)(const CANumber&)>
VectorFunction Unary() {
  return [](Args a) { return FunctionResult(Core(a[0])); };
}

const std::map<std::string, VectorFunction>& MathFunctions() {
  static const std::map<std::string, VectorFunction> functions = {
      {"SUM", [](Args a) { return FunctionResult(SumCore(a)); }},
      {"SUMSQ", [](Args a) { return FunctionResult(SumsqCore(a)); }},
      {"PRODUCT", [](Args a) { return FunctionResult(ProductCore(a)); }}, {"GCD", [](Args a) { return GcdCore(a); }},
      {"LCM", [](Args a) { return LcmCore(a); }}, {"MULTINOMIAL", [](Args a) { return MultinomialCore(a); }},
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
      {"FACT", [](Args a) { return FactCore(a[0]); }}, {"PI", [](Args) { return FunctionResult(PiCore()); }},
      {"E", [](Args) { return FunctionResult(ECore()); }}, {"INT", Unary<IntCore>()}, {"TRUNC", Unary<TruncCore>()},
      {"ABS", Unary<AbsCore>()}, {"SIGN", Unary<SignCore>()}, {"EVEN", Unary<EvenCore>()}, {"ODD", Unary<OddCore>()},
      {"CBRT", Unary<CbrtCore>()}, {"SQRT", Unary<SqrtCore>()}, {"SQRTPI", Unary<SqrtpiCore>()},
      {"EXP", Unary<ExpCore>()}, {"LN", Unary<LnCore>()}, {"LOG10", Unary<Log10Core>()}, {"LOG2", Unary<Log2Core>()},
      {"ACOS", Unary<AcosCore>()}, {"ACOSH", Unary<AcoshCore>()}, {"ASIN", Unary<AsinCore>()},
      {"ASINH", Unary<AsinhCore>()}, {"ATAN", Unary<AtanCore>()}, {"ATANH", Unary<AtanhCore>()},
      {"COS", Unary<CosCore>()}, {"COSH", Unary<CoshCore>()}, {"SIN", Unary<SinCore>()}, {"SINH", Unary<SinhCore>()},
      {"TAN", Unary<TanCore>()}, {"TANH", Unary<TanhCore>()}, {"DEGREES", Unary<DegreesCore>()},
      {"RADIANS", Unary<RadiansCore>()},
  };
  return functions;
}

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

TEST(MathCores, CubeRootsOfNegativeNumbersAreReal) {
  // As a power of 1/3 the root of -8 was NaN ("<Value>") and that of 8 not exactly 2.
  const struct { CANumber x; const char* root; } cases[] = {
      {CANumber(-8), "=-2"}, {CANumber(8), "=2"}, {Fraction(27, 8), "=3/2"},
      {CANumber(2), "~1.25992104989487316476721060728"}, {RawReal(-15.625L), "=-5/2"},
  };
  for (const auto& c : cases) EXPECT_TRUE(MatchesExpected(CbrtCore(c.x), c.root, 4e-19L)) << c.root;
  EXPECT_EQ(CbrtCore(CANumber::asNan()).form(), kNumberNaN);
  EXPECT_EQ(CbrtCore(CANumber::asInf()).form(), kNumberInfinity);
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

TEST(MathCores, RandbetweenCoversItsSpanWithoutOverflow) {
  // A span of one number is that number (it was error 8).
  EXPECT_TRUE(MatchesExpected(RandbetweenCore(CANumber(5), CANumber(5)), "=5", 0));
  EXPECT_TRUE(MatchesExpected(RandbetweenCore(Fraction(59, 10), Fraction(51, 10)), "=5", 0));
  EXPECT_EQ(RandbetweenCore(CANumber(6), CANumber(5)).error, uint32_t(kFormulaErrorNumber));
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  EXPECT_EQ(RandbetweenCore(CANumber(kMin), CANumber(kMax)).error, uint32_t(kFormulaErrorNumber));
  EXPECT_EQ(RandbetweenCore(CANumber(0), CANumber(4294967295)).error, uint32_t(kFormulaErrorNumber));
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

TEST(MathCores, GcdAndLcmRefuseNumbersBeyondSixtyFourBits) {
  const CANumber huge = CANumber::withReal(1e20L);
  EXPECT_EQ(GcdCore(std::vector{huge, CANumber(10)}).error, uint32_t(kFormulaErrorNumber));
  // A lone operand comes back as it is.
  EXPECT_TRUE(MatchesExpected(GcdCore(std::vector{huge}), "~1e20", 0));
  EXPECT_EQ(LcmCore({}).error, uint32_t(kFormulaErrorNotAvailable));
}

TEST(MathCores, MultinomialOfLargeGroupsIsExact) {
  // 21! / (10! 11!) through whole factorials left a real just off 352716.
  EXPECT_TRUE(MatchesExpected(MultinomialCore(std::vector{CANumber(10), CANumber(11)}), "=352716", 0));
}

}  // namespace
