// Statistics arithmetic against exact results computed with Python's fractions and real ones
// from mpmath (tools/make_function_vectors.py), plus the behaviours the vectors cannot show.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "ExactRationalSupport.h"
#include "FunctionVectors.h"
#include "calculator/model/formula/caStatisticsCores.h"

#include <algorithm>

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
      {"the largest real twice, less once", {real(LDBL_MAX), real(LDBL_MAX), real(-LDBL_MAX)}, LDBL_MAX},
      {"1E4000 + 1E-4000 + 0.5 - 1E4000", {real(1e4000L), real(1e-4000L), real(0.5L), real(-1e4000L)}, 0.5L + 1e-4000L},
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

// Where an exact sum leaves the exact forms, worked by hand: only where the sum of all the terms
// does, whatever their partial sums pass on the way.
TEST(StatisticsCores, ExactSumsLeaveTheExactFormsWhereTheWholeSumDoes) {
  const CANumber max = CANumber(kInt64Max);
  const CANumber min = CANumber(kInt64Min);
  const CANumber big = CANumber(kInt64Max - 2);  // 9223372036854775805, odd
  CANumber halfBig = CANumber::withNumerator(kInt64Max - 2, 2);
  const uint64_t d = (uint64_t(1) << 62) + 1;  // prime to 6, and 6d passes 63 bits
  struct Case {
    const char* name;
    std::vector<CANumber> terms;
    CANumber expected;
  };
  const auto real = [](long double v) { return CANumber::withRealResult(v); };
  const Case cases[] = {
      {"1/3 + 1/6", {CANumber::withNumerator(1, 3), CANumber::withNumerator(1, 6)}, CANumber::withNumerator(1, 2)},
      {"1/2 + 1/2", {CANumber::withNumerator(1, 2), CANumber::withNumerator(1, 2)}, CANumber(1)},
      {"max - 1 + 1 stays whole", {max, CANumber(-1), CANumber(1)}, max},
      {"max + 1 - 1 passes 64 bits on the way", {max, CANumber(1), CANumber(-1)}, max},
      {"max + 1", {max, CANumber(1)}, real(9223372036854775808.0L)},
      {"min + 1 - 1", {CANumber(kInt64Min + 1), CANumber(-1)}, min},
      {"min - 1", {min, CANumber(-1)}, real(-9223372036854775809.0L)},
      {"two halves of an odd number past 64 bits", {halfBig, halfBig}, big},
      {"a common denominator past 63 bits that the sum does not need",
       {CANumber::withNumerator(1, 2), CANumber::withNumerator(1, 3), CANumber::withNumerator(1, 6),
        CANumber::withNumerator(1, d)},
       CANumber::withNumerator(int64_t(d + 1), d)},
      {"exact again after passing 64 bits", {max, max, CANumber::withNumerator(1, 2)},
       real(18446744073709551614.0L)},
      {"a denominator no sum can hold",
       {CANumber::withNumerator(1, 4294967311ULL), CANumber::withNumerator(1, 4294967357ULL)},
       real(1.0L / 4294967311.0L + 1.0L / 4294967357.0L)},
  };
  for (const Case& c : cases) {
    const CANumber sum = SumOfOperands(c.terms);
    EXPECT_EQ(sum.form(), c.expected.form()) << c.name;
    EXPECT_TRUE(sum == c.expected) << c.name << ": " << sum.description().toStdString();
    if (sum.form() == kNumberReal) {
      EXPECT_EQ(sum.realValue(), c.expected.realValue()) << c.name;
    }
  }
}

// The exact part of a sum takes a term only when CANumber::add would keep the sum exact, and then
// gives what CANumber::add gives: integers and fractions of every size, some near the limits.
TEST(StatisticsCores, ExactSumsTakeATermOnlyWhereAdditionKeepsTheSumExact) {
  std::mt19937_64 random(20261208);
  const uint64_t denominators[] = {1, 1, 1, 2, 3, 4, 7, 10, 100, 2147483647, 1000000007, 4611686018427387905ULL,
                                   2305843009213693951ULL, 4052555153018976267ULL};
  int taken = 0;
  int leftExact = 0;
  for (int run = 0; run < 10000; ++run) {
    ExactSum sum;
    CANumber reference;
    for (int step = 0; step < 30; ++step) {
      const uint64_t d = denominators[random() % std::size(denominators)];
      // Mostly small terms, so that sums run long before they leave 64 bits.
      const int magnitude = int(random() % 16);
      int64_t n = int64_t(random());
      if (magnitude < 10) n %= 1000;
      else if (magnitude < 15) n %= int64_t(1) << 40;
      const CANumber term = CANumber::withNumerator(n, d);
      CANumber expected = reference;
      expected.add(term);
      const bool exact = expected.form() <= kNumberFraction;
      if (sum.tryAdd(term)) {
        ++taken;
        ASSERT_TRUE(exact) << reference.description().toStdString() << " + " << term.description().toStdString();
        const CANumber value = sum.value();
        ASSERT_EQ(value.form(), expected.form());
        ASSERT_EQ(value.numerator(), expected.numerator());
        ASSERT_EQ(value.denominator(), expected.denominator());
      } else if (exact) {
        sum.set(expected);  // the addition the sum leaves to CANumber
      } else {
        ++leftExact;
        break;
      }
      reference = expected;
    }
  }
  EXPECT_GT(taken, 15000);
  EXPECT_GT(leftExact, 300);
}

// Folding a list number by number gives what the cores give for the whole list.
// Sums near the bounds of the exact numbers against exact sums worked apart, with Python's
// fractions (tests/data/functions/sums.txt): the exact sum wherever it is an exact number, else
// within a rounding of it.
TEST(StatisticsCores, SumsNearTheBoundsAreTheExactSum) {
  const auto vectors = ReadFunctionVectors(QStringLiteral("functions/sums.txt"), 0);
  const std::map<std::string, VectorFunction> functions = {
      {"SUM", [](Args a) { return FunctionResult(SumOfOperands(a)); }},
      {"AVERAGE", [](Args a) { return FunctionResult(AverageCore(a)); }},
  };
  EXPECT_GT(RunFunctionVectors(vectors, functions), 600);
}

TEST(StatisticsCores, FoldingAListGivesWhatTheCoresGiveForIt) {
  std::mt19937_64 random(7);
  const std::vector<CANumber> kinds = {
      CANumber(3), CANumber(-8), CANumber(kInt64Max), CANumber::withNumerator(1, 3), CANumber::withNumerator(-5, 4),
      CANumber::withRealResult(0.1L), CANumber::withRealResult(-1e300L), CANumber::withRealResult(1e300L),
      CANumber::asNan(), CANumber::asInf(), CANumber::withNumerator(3, 4), CANumber::withRealResult(0.75L)};
  for (int run = 0; run < 500; ++run) {
    std::vector<CANumber> list(random() % 12);
    for (CANumber& number : list) number = kinds[random() % (run % 2 ? kinds.size() : kinds.size() - 4)];
    ListAggregate fold(ListAggregate::kAll);
    for (const CANumber& number : list) fold.add(number);
    const auto same = [](const CANumber& a, const CANumber& b) {
      return a.form() == b.form() && (a == b || (a.form() == kNumberReal && a.realValue() == b.realValue()));
    };
    EXPECT_EQ(fold.count(), list.size());
    EXPECT_TRUE(same(fold.sum(), SumOfOperands(list))) << run;
    EXPECT_TRUE(same(fold.average(), AverageCore(list))) << run;
    EXPECT_TRUE(same(fold.largest(), MaxCore(list))) << run;
    EXPECT_TRUE(same(fold.smallest(), MinCore(list))) << run;
  }
}

// Fractions whose common denominator passes 64 bits sum to the same value in any order and any
// grouping: the exact sum where it is an exact number, else the real nearest to it, judged
// against GMP's rationals, while the common denominator stays within the bound; past it, the
// real nearest to the sum of the terms each rounded. The odd primes to 53 and their negatives
// give exactly 0, where rounding each full group of terms to a real left -2.98E-20, depending on
// where groups fell.
TEST(StatisticsCores, SumsOfFractionsPast64BitsAreExactInAnyOrderAndGrouping) {
  std::mt19937_64 random(20261208);
  const auto column = [&random](int run) {
    std::vector<CANumber> terms(2 + random() % 60);
    for (CANumber& term : terms) {
      // Many distinct denominators, a few wide ones, and whole numbers among them.
      const int kind = int(random() % 10);
      const uint64_t d = kind < 6 ? 2 + random() % 100000 : kind < 9 ? 2 + random() % (uint64_t(1) << 40) : 1;
      const int64_t n = int64_t(random() % (run % 3 ? 1000 : uint64_t(1) << 50)) - (run % 3 ? 500 : int64_t(1) << 49);
      term = d == 1 ? CANumber(n) : CANumber::withNumerator(n, d);
    }
    return terms;
  };
  const auto odd = [] {
    std::vector<CANumber> terms;
    for (const int p : {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53}) terms.push_back(CANumber::withNumerator(1, p));
    for (const int p : {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53}) terms.push_back(CANumber::withNumerator(-1, p));
    return terms;
  };
  for (int run = 0; run < 400; ++run) {
    std::vector<CANumber> terms = run == 0 ? odd() : column(run);
    if (run % 4 == 1) {
      // The same terms again, negated: the sum is exactly 0.
      const size_t count = terms.size();
      for (size_t i = 0; i < count; ++i) {
        CANumber negated = terms[i];
        negated.changeSign();
        terms.push_back(negated);
      }
      // Or exactly one small fraction, though the terms' common denominator passes 64 bits.
      if (run % 8 == 5) terms.push_back(CANumber::withNumerator(-3, 7));
    }
    BoundedSumReference expected(ExactAccumulator::kExactBits);
    for (const CANumber& term : terms) expected.add(term);
    const std::string name = "run " + std::to_string(run);
    const CANumber inOrder = SumOfOperands(terms);
    ASSERT_TRUE(expected.judge(inOrder)) << name;
    for (int shuffle = 0; shuffle < 4; ++shuffle) {
      std::shuffle(terms.begin(), terms.end(), random);
      const CANumber sum = SumOfOperands(terms);
      ASSERT_TRUE(sum == inOrder && sum.form() == inOrder.form()) << name << ": " << sum.description().toStdString();
      ListAggregate fold(ListAggregate::kAll);
      for (const CANumber& term : terms) fold.add(term);
      ASSERT_TRUE(fold.sum() == inOrder) << name;
      ASSERT_TRUE(fold.average() == AverageCore(terms)) << name;
      // In groups of any size, joined in any order.
      std::vector<ExactAccumulator> groups;
      for (size_t i = 0; i < terms.size();) {
        ExactAccumulator group;
        for (const size_t end = std::min(terms.size(), i + 1 + random() % 8); i < end; ++i) group.add(terms[i]);
        groups.push_back(group);
      }
      std::shuffle(groups.begin(), groups.end(), random);
      ExactAccumulator joined;
      for (const ExactAccumulator& group : groups) joined.add(group);
      ASSERT_TRUE(joined.value() == inOrder && joined.value().form() == inOrder.form()) << name;
    }
    if (run == 0 || run % 8 == 1) {
      EXPECT_TRUE(inOrder.form() == kNumberInteger && inOrder.numerator() == 0) << name;
      EXPECT_TRUE(AverageCore(terms).isZero()) << name;
    }
  }
}

// Sums on either side of the bound on the common denominator against sums worked apart with
// Python's fractions (tests/data/functions/bounded-sums.txt): exact within it, the terms each
// rounded past it; the same in every order, and in every grouping as a walk, a fold and the
// memo's states join them.
TEST(StatisticsCores, SumsPastTheBoundAreTheRoundedTermsInAnyOrderAndGrouping) {
  std::mt19937_64 random(83);
  const auto vectors = ReadFunctionVectors(QStringLiteral("functions/bounded-sums.txt"), 0);
  ASSERT_GE(vectors.size(), 15u);
  for (const FunctionVector& vector : vectors) {
    std::vector<CANumber> terms = vector.arguments;
    const std::string name = "line " + std::to_string(vector.line);
    ASSERT_TRUE(MatchesExpected(SumOfOperands(terms), vector.expected, vector.tolerance)) << name;
    for (int shuffle = 0; shuffle < 6; ++shuffle) {
      std::shuffle(terms.begin(), terms.end(), random);
      const CANumber walked = SumOfOperands(terms);
      ASSERT_TRUE(MatchesExpected(walked, vector.expected, vector.tolerance)) << name;
      // Groups joined in any order, as the folds from the end join their states.
      std::vector<ExactAccumulator> groups;
      for (size_t i = 0; i < terms.size();) {
        ExactAccumulator group;
        for (const size_t end = std::min(terms.size(), i + 1 + random() % 40); i < end; ++i) group.add(terms[i]);
        groups.push_back(group);
      }
      std::shuffle(groups.begin(), groups.end(), random);
      ExactAccumulator joined;
      for (const ExactAccumulator& group : groups) joined.add(group);
      // A state kept part of the way, then the rest folded on, as a running fold answers.
      const size_t split = random() % (terms.size() + 1);
      ExactAccumulator head;
      for (size_t i = 0; i < split; ++i) head.add(terms[i]);
      ListAggregate rest = ListAggregate::ofFolded(ListAggregate::kAll, split, head, false, CANumber(), 0, CANumber(), 0);
      for (size_t i = split; i < terms.size(); ++i) rest.add(terms[i]);
      for (const CANumber& sum : {joined.value(), rest.sum()})
        ASSERT_TRUE(sum == walked && sum.form() == walked.form()) << name << ": " << DescribeNumber(sum) << " for "
                                                                  << DescribeNumber(walked);
    }
  }
}

// Sums that add exactly first keep no rounded terms: whatever the order and grouping, they are
// unresolved exactly where the terms pass the bound (Python's fractions say which), and give
// the walk's sum wherever they are not.
TEST(StatisticsCores, SumsThatAddExactlyFirstAreUnresolvedExactlyWherePastTheBound) {
  std::mt19937_64 random(8383);
  const auto vectors = ReadFunctionVectors(QStringLiteral("functions/bounded-sums.txt"), 0);
  ASSERT_GE(vectors.size(), 15u);
  int pastCount = 0;
  for (const FunctionVector& vector : vectors) {
    std::vector<CANumber> terms = vector.arguments;
    BoundedSumReference reference(ExactAccumulator::kExactBits);
    for (const CANumber& term : terms) reference.add(term);
    const bool past = reference.past();
    pastCount += past ? 1 : 0;
    const std::string name = "line " + std::to_string(vector.line) + (past ? ", past" : ", within");
    for (int shuffle = 0; shuffle < 4; ++shuffle) {
      std::shuffle(terms.begin(), terms.end(), random);
      const CANumber walked = SumOfOperands(terms);
      const auto same = [&walked](const CANumber& sum) { return sum == walked && sum.form() == walked.form(); };
      CompensatedSum sum = CompensatedSum::exactFirst();
      ListAggregate fold(ListAggregate::kAll | ListAggregate::kExactFirst);
      for (const CANumber& term : terms) {
        sum.add(term);
        fold.add(term);
      }
      ASSERT_EQ(sum.unresolved(), past) << name;
      ASSERT_EQ(fold.unresolved(), past) << name;
      if (!past) { ASSERT_TRUE(same(sum.result()) && same(fold.sum())) << name; }
      // Groups joined in any order, some of them rounding their terms: one that does not is
      // enough to leave the whole unresolved.
      std::vector<ExactAccumulator> groups;
      for (size_t i = 0; i < terms.size();) {
        ExactAccumulator group = random() % 3 ? ExactAccumulator::exactFirst() : ExactAccumulator();
        for (const size_t end = std::min(terms.size(), i + 1 + random() % 40); i < end; ++i) group.add(terms[i]);
        groups.push_back(group);
      }
      std::shuffle(groups.begin(), groups.end(), random);
      ExactAccumulator joined = ExactAccumulator::exactFirst();
      for (const ExactAccumulator& group : groups) joined.add(group);
      ASSERT_EQ(joined.unresolved(), past) << name;
      if (!past) { ASSERT_TRUE(same(joined.value())) << name; }
      // A state kept part of the way, then the rest folded on.
      const size_t split = random() % (terms.size() + 1);
      ExactAccumulator head = ExactAccumulator::exactFirst();
      for (size_t i = 0; i < split; ++i) head.add(terms[i]);
      ListAggregate rest = ListAggregate::ofFolded(ListAggregate::kAll | ListAggregate::kExactFirst, split, head, false,
                                                   CANumber(), 0, CANumber(), 0);
      for (size_t i = split; i < terms.size(); ++i) rest.add(terms[i]);
      ASSERT_EQ(rest.unresolved(), past) << name;
      if (!past) { ASSERT_TRUE(same(rest.sum())) << name; }
    }
  }
  EXPECT_GT(pastCount, 0);
  EXPECT_LT(pastCount, int(vectors.size()));
}

// Reals among fractions past the bound: the reals exactly, the fractions rounded, the whole
// rounded once; the same in any order.
TEST(StatisticsCores, RealsBesideFractionsPastTheBoundAreAddedExactly) {
  std::mt19937_64 random(2026);
  const long double reals[] = {1e-30L, -3.25L, 1e18L, -1e18L, 0.1L, 1e300L, -1e300L, 7e-4000L};
  for (int run = 0; run < 60; ++run) {
    std::vector<CANumber> terms;
    for (int i = 0; i < 80; ++i) {
      const int kind = int(random() % 10);
      if (kind < 6)
        terms.push_back(CANumber::withNumerator(int64_t(random() % 2001) - 1000, 3 + random() % 1000003));
      else if (kind < 9)
        terms.push_back(CANumber::withRealResult(reals[random() % std::size(reals)]));
      else
        terms.push_back(CANumber(int64_t(random() >> 1)));
    }
    BoundedSumReference expected(ExactAccumulator::kExactBits);
    for (const CANumber& term : terms) expected.add(term);
    const std::string name = "run " + std::to_string(run);
    const CANumber inOrder = SumOfOperands(terms);
    ASSERT_TRUE(expected.judge(inOrder)) << name << (expected.past() ? ", past" : ", within");
    std::shuffle(terms.begin(), terms.end(), random);
    ASSERT_TRUE(SumOfOperands(terms) == inOrder) << name;
  }
}

// A term that is not finite ends a sum just past the bound as it ends any other: the reciprocals of
// the primes above 1009 pass the bound from the 26th on, where adding exactly first leaves the
// sum unresolved only once its parts are joined; the sum is the infinite (or NaN) term's in every
// order, whether walked, folded or folded from a state kept part of the way.
TEST(StatisticsCores, ATermThatIsNotFiniteEndsASumJustPastTheBoundInEveryOrder) {
  std::vector<int64_t> primes;
  for (int64_t n = 1010; primes.size() < 50; ++n) {
    bool prime = true;
    for (int64_t d = 2; d * d <= n && prime; ++d) prime = n % d != 0;
    if (prime) primes.push_back(n);
  }
  const struct {
    const char* name;
    CANumber term;
    int32_t form;
  } ends[] = {
      {"infinity", CANumber::asInf(), kNumberInfinity},
      {"minus infinity", CANumber::asInf(true), kNumberInfinity},
      {"NaN", CANumber::asNan(), kNumberNaN},
  };
  enum Place { kLast, kFirst, kMiddle };
  for (const size_t count : {10, 24, 25, 26, 27, 28, 29, 30, 32, 50}) {
    for (const auto& end : ends) {
      for (const Place place : {kLast, kFirst, kMiddle}) {
        std::vector<CANumber> terms;
        for (size_t i = 0; i < count; ++i) terms.push_back(CANumber::withNumerator(1, uint64_t(primes[i])));
        const size_t at = place == kLast ? terms.size() : place == kFirst ? 0 : terms.size() / 2;
        terms.insert(terms.begin() + ptrdiff_t(at), end.term);
        const std::string name = std::to_string(count) + " reciprocals, " + end.name + " at " +
                                 (place == kLast ? "the end" : place == kFirst ? "the start" : "the middle");
        const auto expect = [&](const CANumber& sum, const char* how) {
          EXPECT_EQ(sum.form(), end.form) << name << ", " << how << ": " << DescribeNumber(sum);
        };
        expect(SumOfOperands(terms), "walked");
        expect(AverageCore(terms), "averaged");
        // Folded adding exactly first, and folded again rounding every term where unresolved.
        ListAggregate fold(ListAggregate::kAll | ListAggregate::kExactFirst);
        for (const CANumber& term : terms) fold.add(term);
        if (fold.unresolved()) {
          fold = ListAggregate(ListAggregate::kAll);
          for (const CANumber& term : terms) fold.add(term);
        }
        expect(fold.sum(), "folded");
        // From a state kept of every split, the rest folded on.
        for (size_t split = 0; split <= terms.size(); ++split) {
          ListAggregate head(ListAggregate::kAll | ListAggregate::kExactFirst);
          for (size_t i = 0; i < split; ++i) head.add(terms[i]);
          ListAggregate rest = head;
          for (size_t i = split; i < terms.size(); ++i) rest.add(terms[i]);
          if (rest.unresolved()) continue;  // folded again from the first term, as above
          expect(rest.sum(), ("from a state after " + std::to_string(split)).c_str());
        }
      }
    }
  }
}

}  // namespace
