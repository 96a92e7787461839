// Statistics arithmetic against exact results computed with Python's fractions and real ones
// from mpmath (tools/make_function_vectors.py), plus the behaviours the vectors cannot show.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "FunctionVectors.h"
#include "calculator/model/formula/caStatisticsCores.h"

namespace {

FunctionResult Ordered(Args args, bool large) {
  // LARGE and SMALL vectors: n first, then the values of the range.
  std::vector<CANumber> values(args.begin() + 1, args.end());
  SortOperands(values);
  const int64_t n = args[0].integerValue();
  return large ? LargeCore(values, n) : SmallCore(values, n);
}

const std::map<std::string, VectorFunction>& StatisticsFunctions() {
  static const std::map<std::string, VectorFunction> functions = {
      {"AVERAGE", [](Args a) { return FunctionResult(AverageCore(a)); }},
      {"MAX", [](Args a) { return FunctionResult(MaxCore(a)); }},
      {"MIN", [](Args a) { return FunctionResult(MinCore(a)); }},
      {"MEDIAN", [](Args a) { return FunctionResult(MedianCore(a)); }}, {"MODE", [](Args a) { return ModeCore(a); }},
      {"LARGE", [](Args a) { return Ordered(a, true); }}, {"SMALL", [](Args a) { return Ordered(a, false); }},
      {"VAR.P", [](Args a) { return VarianceCore(a, false); }},
      {"VAR.S", [](Args a) { return VarianceCore(a, true); }},
      {"STDEV.P", [](Args a) { return StandardDeviationCore(a, false); }},
      {"STDEV.S", [](Args a) { return StandardDeviationCore(a, true); }},
      {"COMBIN", [](Args a) { return CombinCore(a[0], a[1]); }},
      {"PERMUT", [](Args a) { return PermutCore(a[0], a[1]); }},
  };
  return functions;
}

TEST(StatisticsCores, ExactResultsMatchRationalArithmetic) {
  const auto vectors = ReadFunctionVectors(QStringLiteral("functions/exact.txt"), 2e-15L);
  EXPECT_GT(RunFunctionVectors(vectors, StatisticsFunctions()), 3000);
}

TEST(StatisticsCores, StandardDeviationsMatchExtendedPrecision) {
  const auto vectors = ReadFunctionVectors(QStringLiteral("functions/reals.txt"), 0);
  EXPECT_GT(RunFunctionVectors(vectors, StatisticsFunctions()), 100);
}

// Sums of reals keep what cancels: each row's terms, in order, and the result worked by hand.
TEST(StatisticsCores, SumsOfRealsKeepExactlyRepresentableResults) {
  const auto real = [](long double v) { return CANumber::withReal(v); };
  const CANumber big = CANumber::withRealResult(1e20L);
  const CANumber minusBig = CANumber::withRealResult(-1e20L);
  struct Case { const char* name; std::vector<CANumber> terms; long double expected; };
  const Case cases[] = {
      {"1E20 + 1 - 1E20", {big, CANumber(1), minusBig}, 1},
      {"1E20 + 0.5 - 1E20 + 0.25", {big, real(0.5L), minusBig, CANumber::withNumerator(1, 4)}, 0.75L},
      {"0.1 ten times", std::vector<CANumber>(10, CANumber::withRealResult(0.1L)), 10 * 0.1L},
      {"1E30 + 1E-30 - 1E30", {CANumber::withRealResult(1e30L), CANumber::withRealResult(1e-30L), CANumber::withRealResult(-1e30L)}, 1e-30L},
  };
  for (const Case& c : cases) EXPECT_EQ(SumOfOperands(c.terms).realValue(), c.expected) << c.name;
  // Squares and deviations are summed the same way.
  const std::vector<CANumber> squares{big, CANumber(1), minusBig};
  EXPECT_EQ(AverageCore(squares).realValue(), 1.0L / 3);
  // Exact terms stay exact, and a term that is not finite still ends the sum.
  EXPECT_EQ(SumOfOperands(std::vector<CANumber>{CANumber(1), CANumber::withNumerator(1, 3)}).form(), kNumberFraction);
  const CANumber infinite = CANumber::withRealResult(INFINITY);
  EXPECT_EQ(SumOfOperands(std::vector<CANumber>{infinite, CANumber::withRealResult(-INFINITY)}).form(), kNumberInfinity);
}

TEST(StatisticsCores, ExtremesKeepTheWinningOperandsExactForm) {
  const CANumber third = CANumber::withNumerator(1, 3);
  const CANumber fifth = CANumber::withReal(0.2L);
  EXPECT_TRUE(MatchesExpected(MaxCore(std::vector{third, fifth}), "=1/3", 0));
  // Among equal values the first wins: the fraction 3/4 before a real 0.75.
  CANumber real = CANumber::withNumerator(3, 4);
  real.power(CANumber(1));  // a power is left real when it is not whole
  ASSERT_EQ(real.form(), kNumberReal);
  const std::vector<CANumber> equal = {CANumber::withNumerator(3, 4), real};
  EXPECT_EQ(MaxCore(equal).form(), kNumberFraction);
  EXPECT_EQ(MinCore(equal).form(), kNumberFraction);
}

TEST(StatisticsCores, SortingToleratesNaNAmongTheValues) {
  // A stored NaN must not break the ordering that MEDIAN, MODE, LARGE and SMALL sort by.
  std::vector<CANumber> values = {CANumber(3), CANumber::asNan(), CANumber(1), CANumber::asNan(), CANumber(2)};
  SortOperands(values);
  EXPECT_TRUE(values[0].isEqual(CANumber(1)));
  EXPECT_TRUE(values[2].isEqual(CANumber(3)));
  EXPECT_EQ(values[4].form(), kNumberNaN);
}

TEST(StatisticsCores, CountsOfLargeGroupsAreExactProducts) {
  // Whole factorials are infinite from 1755! on and inexact above 20!: PERMUT(2000, 1) was 0.
  const struct { int64_t n; int64_t k; const char* combin; const char* permut; } cases[] = {
      {2000, 1, "=2000", "=2000"}, {1755, 2, "=1539135", "=3078270"},
      {66, 33, "=7219428434016265740", "~6.26885901188449472496496794796e+55"},
      {21, 21, "=1", "~51090942171709440000"},
      {9223372036854775807, 1, "=9223372036854775807", "=9223372036854775807"},
      {9223372036854775807, 9223372036854775806, "=9223372036854775807", "inf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.n) + ", " + std::to_string(c.k));
    EXPECT_TRUE(MatchesExpected(CombinCore(CANumber(c.n), CANumber(c.k)), c.combin, 1e-18L));
    EXPECT_TRUE(MatchesExpected(PermutCore(CANumber(c.n), CANumber(c.k)), c.permut, 1e-18L));
  }
}

TEST(StatisticsCores, CountsOfHugeRealGroupsEndWithoutWalkingEveryStep) {
  const CANumber huge = CANumber::withReal(1e30L);
  EXPECT_TRUE(MatchesExpected(PermutCore(huge, CANumber(2)), "~1e60", 1e-18L));
  EXPECT_EQ(PermutCore(huge, huge).value.form(), kNumberInfinity);
  EXPECT_EQ(CombinCore(huge, CANumber::withReal(5e29L)).value.form(), kNumberInfinity);
  EXPECT_EQ(CombinCore(CANumber(5), huge).error, uint32_t(kFormulaErrorNumber));
}

}  // namespace
