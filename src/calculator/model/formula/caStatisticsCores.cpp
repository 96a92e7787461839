// Statistics arithmetic on lists of exact numbers.
#include "calculator/model/formula/caStatisticsCores.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using Wide = unsigned __int128;

Wide WideGcd(Wide a, Wide b) {
  while (b) {
    const Wide t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// A counting argument truncated to a whole number: exact when it fits 64 bits.
struct Count {
  bool exact = true;
  int64_t integer = 0;
  long double real = 0;
  long double value() const { return exact ? static_cast<long double>(integer) : real; }
};

Count TruncatedCount(const CANumber& number) {
  CANumber truncated = number;
  TruncateTowardZero(truncated);
  Count count;
  if (truncated.form() == kNumberInteger) {
    count.integer = truncated.numerator();
  } else {
    count.exact = false;
    count.real = truncated.realValue();
  }
  return count;
}

uint32_t ArgumentError(const CANumber& a, const CANumber& b) {
  if (a.evaluationError()) return uint32_t(a.evaluationError());
  return uint32_t(b.evaluationError());
}

// The operands of COMBIN and PERMUT, or the error that refuses them.
uint32_t ReadCounts(const CANumber& number, const CANumber& chosen, Count* n, Count* k) {
  if (const uint32_t error = ArgumentError(number, chosen)) return error;
  *n = TruncatedCount(number);
  *k = TruncatedCount(chosen);
  if (n->value() < 0 || k->value() < 0) return kFormulaErrorNumber;
  if (n->exact && k->exact ? n->integer < k->integer : n->value() < k->value())
    return kFormulaErrorNumber;
  return 0;
}

CANumber WholeResult(Wide exact) { return CANumber(int64_t(exact)); }

bool OperandPrecedes(const CANumber& a, const CANumber& b) {
  // A strict weak order even with NaN among the values, which a plain "<" is not.
  const long double x = a.realValue();
  const long double y = b.realValue();
  if (std::isnan(x)) return false;
  if (std::isnan(y)) return true;
  return x < y;
}

}  // namespace

bool ExactSum::tryAdd(const CANumber& term) {
  using SignedWide = __int128;
  const bool whole = term.form() == kNumberInteger;
  const uint64_t d = whole ? 1 : term.denominator();
  SignedWide scaledSum = numerator_;
  uint64_t common = denominator_;
  uint64_t factor = 1;  // scales the term to the common denominator
  if (d == cachedDenominator_) {
    factor = cachedFactor_;
  } else if (d != common) {
    if (d == 0) return false;
    if (common % d != 0) {
      // The least common multiple, while it fits 63 bits.
      const uint64_t widen = d / uint64_t(WideGcd(common, d));
      const Wide widened = Wide(common) * widen;
      if (widened > Wide(kInt64Max)) return false;
      common = uint64_t(widened);
      scaledSum *= SignedWide(widen);
    }
    factor = common / d;
  }
  // Each part is below 2^126, so the sum cannot overflow.
  const SignedWide sum = scaledSum + SignedWide(term.numerator()) * SignedWide(factor);
  if (sum < kInt64Min || sum > kInt64Max) return false;
  numerator_ = sum;
  denominator_ = common;
  cachedDenominator_ = d;
  cachedFactor_ = factor;
  if (roundsTerms_) [[unlikely]] {
    if (whole)
      rounded_.addWhole(term.numerator());
    else
      rounded_.addFraction(term.numerator(), d);
  }
  return true;
}

CANumber ExactSum::value() const {
  if (denominator_ == 1) return CANumber(int64_t(numerator_));
  return CANumber::withNumerator(int64_t(numerator_), denominator_);
}

void ExactSum::set(const CANumber& exact) {
  *this = ExactSum(roundsTerms_);
  numerator_ = exact.numerator();
  denominator_ = exact.form() == kNumberInteger ? 1 : exact.denominator();
  commonDenominatorChanged();
  if (!roundsTerms_) return;
  if (denominator_ == 1)
    rounded_.addWhole(exact.numerator());
  else
    rounded_.addFraction(exact.numerator(), denominator_);
}

void ExactSum::addTo(ExactAccumulator& sum) const {
  sum.addExact(numerator_, denominator_, roundsTerms_ ? &rounded_ : nullptr);
}

CANumber ListAggregate::average() const {
  if (count_ == 0) return CANumber();
  CANumber mean = sum();
  mean.divide(CANumber(int64_t(count_)));
  return mean;
}

void CompensatedSum::addBeyondNear(const CANumber& term) {
  near_.addTo(far_);
  near_.set(CANumber());
  openNear();
  if (!nearOpen_ || !near_.tryAdd(term)) addOther(term);
}

void CompensatedSum::addOther(const CANumber& term) {
  // An unresolved sum is summed again from its first term: what it would make of this one is of
  // no use.
  if (invalid_ || far_.unresolved()) return;
  if (!term.isValid() || !std::isfinite(term.realValue())) {
    // Nor is it where the parts joined are past the bound: the sum of what came before is no
    // number, and the infinite term would leave NaN rather than itself. Summed again, the term
    // ends it as it ends any sum.
    if (unresolved()) return;
    CANumber sum = result();
    sum.add(term);
    invalid_ = sum;
    nearOpen_ = false;
    return;
  }
  far_.add(term);
}

CANumber CompensatedSum::result() const {
  if (invalid_) return *invalid_;
  if (far_.empty()) return near_.value();
  ExactAccumulator total = far_;
  near_.addTo(total);
  return total.value();
}

bool CompensatedSum::unresolved() const {
  if (invalid_) return false;
  // The near part alone is within the bound; joined with the far part it may not be.
  if (far_.unresolved()) return true;
  if (far_.empty()) return false;
  ExactAccumulator total = far_;
  near_.addTo(total);
  return total.unresolved();
}

CANumber SumOfOperands(std::span<const CANumber> operands) {
  CompensatedSum sum = CompensatedSum::exactFirst();
  for (const CANumber& operand : operands) sum.add(operand);
  if (!sum.unresolved()) return sum.result();
  // Past the bound: the terms are summed again, each rounded.
  CompensatedSum rounded;
  for (const CANumber& operand : operands) rounded.add(operand);
  return rounded.result();
}

CANumber AverageCore(std::span<const CANumber> operands) {
  if (operands.empty()) return CANumber();
  CANumber sum = SumOfOperands(operands);
  sum.divide(CANumber(int64_t(operands.size())));
  return sum;
}

CANumber MaxCore(std::span<const CANumber> operands) {
  if (operands.empty()) return CANumber();
  const CANumber* best = &operands.front();
  long double bestValue = best->realValue();
  for (const CANumber& operand : operands.subspan(1)) {
    const long double value = operand.realValue();
    if (value > bestValue) {
      best = &operand;
      bestValue = value;
    }
  }
  return best->copy();
}

CANumber MinCore(std::span<const CANumber> operands) {
  if (operands.empty()) return CANumber();
  const CANumber* best = &operands.front();
  long double bestValue = best->realValue();
  for (const CANumber& operand : operands.subspan(1)) {
    const long double value = operand.realValue();
    if (value < bestValue) {
      best = &operand;
      bestValue = value;
    }
  }
  return best->copy();
}

void SortOperands(std::vector<CANumber>& operands) {
  std::stable_sort(operands.begin(), operands.end(), OperandPrecedes);
}

CANumber MedianCore(std::span<const CANumber> operands) {
  if (operands.empty()) return CANumber();
  std::vector<CANumber> sorted(operands.begin(), operands.end());
  SortOperands(sorted);
  const size_t count = sorted.size();
  if (count % 2 == 1) return sorted[count / 2].copy();
  CANumber mean = sorted[count / 2 - 1];
  mean.add(sorted[count / 2]);
  mean.divide(g_number2);
  return mean;
}

FunctionResult ModeCore(std::span<const CANumber> operands) {
  std::vector<CANumber> sorted(operands.begin(), operands.end());
  SortOperands(sorted);
  size_t bestStart = 0;
  size_t bestLength = 1;  // a value must occur twice to be a mode
  for (size_t start = 0; start < sorted.size();) {
    size_t end = start + 1;
    while (end < sorted.size() && sorted[end].isEqual(sorted[start])) ++end;
    if (end - start > bestLength) {
      bestStart = start;
      bestLength = end - start;
    }
    start = end;
  }
  if (bestLength < 2) return FunctionResult::failure(kFormulaErrorNotAvailable);
  return sorted[bestStart].copy();
}

FunctionResult LargeCore(std::span<const CANumber> sortedOperands, int64_t n) {
  const auto count = int64_t(sortedOperands.size());
  if (count == 0) return FunctionResult::failure(kFormulaErrorNotAvailable);
  if (n < 1 || n > count) return FunctionResult::failure(kFormulaErrorNumber);
  return sortedOperands[size_t(count - n)].copy();
}

FunctionResult SmallCore(std::span<const CANumber> sortedOperands, int64_t n) {
  const auto count = int64_t(sortedOperands.size());
  if (count == 0) return FunctionResult::failure(kFormulaErrorNotAvailable);
  if (n < 1 || n > count) return FunctionResult::failure(kFormulaErrorNumber);
  return sortedOperands[size_t(n - 1)].copy();
}

FunctionResult VarianceCore(std::span<const CANumber> operands, bool sample) {
  if (operands.empty()) {
    if (sample) return FunctionResult::failure(kFormulaErrorNotAvailable);
    return CANumber();
  }
  const CANumber mean = AverageCore(operands);
  const auto sumOfSquares = [&](CompensatedSum squares) {
    for (const CANumber& operand : operands) {
      CANumber deviation = operand;
      deviation.subtract(mean);
      // A product rather than a power keeps the square of a fraction exact.
      CANumber square = deviation;
      square.multiply(deviation);
      squares.add(square);
    }
    return squares;
  };
  // Exactly first; past the bound, the squares are summed again, each rounded.
  CompensatedSum squares = sumOfSquares(CompensatedSum::exactFirst());
  if (squares.unresolved()) squares = sumOfSquares(CompensatedSum());
  CANumber sum = squares.result();
  if (sum.isValid()) sum.divide(CANumber(int64_t(operands.size()) - (sample ? 1 : 0)));
  return sum;
}

FunctionResult StandardDeviationCore(std::span<const CANumber> operands, bool sample) {
  FunctionResult variance = VarianceCore(operands, sample);
  if (variance.succeeded() && variance.value.isValid()) variance.value.squareRoot();
  return variance;
}

FunctionResult PermutCore(const CANumber& number, const CANumber& chosen) {
  Count n;
  Count k;
  if (const uint32_t error = ReadCounts(number, chosen, &n, &k))
    return FunctionResult::failure(error);
  long double product = 1;
  if (n.exact) {
    // n (n-1) ... (n-k+1), exact while it fits 63 bits; every factor but the last is at least
    // 2, so that takes at most 63 steps.
    Wide exact = 1;
    int64_t i = 0;
    for (; i < k.integer; ++i) {
      exact *= Wide(uint64_t(n.integer - i));
      if (exact > Wide(kInt64Max)) {
        ++i;
        break;
      }
    }
    if (exact <= Wide(kInt64Max)) return WholeResult(exact);
    product = static_cast<long double>(exact);
    for (; i < k.integer && !std::isinf(product); ++i)
      product *= static_cast<long double>(n.integer - i);
  } else {
    // Factors of 2^63 or more: the product is infinite within a few hundred steps.
    const long double count = k.value();
    for (long double i = 0; i < count && !std::isinf(product); ++i) product *= n.real - i;
  }
  return CANumber::withReal(product);
}

FunctionResult CombinCore(const CANumber& number, const CANumber& chosen) {
  Count n;
  Count k;
  if (const uint32_t error = ReadCounts(number, chosen, &n, &k))
    return FunctionResult::failure(error);
  long double binomial = 1;
  if (n.exact) {
    // C(n-k+i, i) for i = 1 ... k, the smaller of k and n-k: each step multiplies by at least 2,
    // and each exact division leaves a whole binomial.
    const int64_t steps = std::min(k.integer, n.integer - k.integer);
    const int64_t base = n.integer - steps;
    Wide exact = 1;
    int64_t i = 1;
    for (; i <= steps; ++i) {
      exact = exact * Wide(uint64_t(base + i)) / Wide(uint64_t(i));
      if (exact > Wide(kInt64Max)) {
        ++i;
        break;
      }
    }
    if (exact <= Wide(kInt64Max)) return WholeResult(exact);
    binomial = static_cast<long double>(exact);
    for (; i <= steps && !std::isinf(binomial); ++i)
      binomial = binomial * static_cast<long double>(base + i) / static_cast<long double>(i);
  } else {
    const long double steps = std::min(k.value(), n.real - k.value());
    const long double base = n.real - steps;
    for (long double i = 1; i <= steps && !std::isinf(binomial); ++i)
      binomial = binomial * (base + i) / i;
  }
  return CANumber::withReal(binomial);
}
