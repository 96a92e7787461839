// Math, rounding and trigonometry arithmetic on exact numbers.
#include "calculator/model/formula/caMathCores.h"

#include <array>
#include <cmath>
#include <limits>

#include "calculator/model/formula/caStatisticsCores.h"
#include "framlet/foundation/flRandom.h"

namespace {

// The constants are the double-precision ones, as the functions have always shown them.
constexpr long double kPi = 3.141592653589793;
constexpr long double kE = 2.718281828459045;
// RAND divides a draw below this limit by the limit itself.
constexpr uint32_t kRandLimit = 2357111317u;
constexpr double kRandDivisor = 2357111317.0;
constexpr int64_t kMaxRandomSpan = 4294967295LL;
// From this size on a factorial is beyond the extended reals.
constexpr int64_t kFirstInfiniteFactorial = 1755;
constexpr int kLargestExactPowerOfTen = 18;

using Wide = unsigned __int128;

constexpr std::array<uint64_t, kLargestExactPowerOfTen + 1> kPowersOfTen = [] {
  std::array<uint64_t, kLargestExactPowerOfTen + 1> powers{};
  uint64_t power = 1;
  for (auto& entry : powers) {
    entry = power;
    power *= 10;
  }
  return powers;
}();

CANumber Real(long double value) { return CANumber::withReal(value); }

// A real too large for the 64-bit integer operations (gcd, lcm) to take without saturating.
bool BeyondIntegers(const CANumber& x) {
  return x.form() == kNumberReal && !(std::fabs(x.realValue()) < kTwoTo63);
}

// The cube root of a perfect cube, or nothing.
std::optional<uint64_t> ExactCubeRoot(uint64_t value) {
  const auto guess = static_cast<int64_t>(std::llround(std::cbrt(static_cast<long double>(value))));
  for (int64_t root = std::max<int64_t>(guess - 1, 0); root <= guess + 1; ++root) {
    if (Wide(root) * Wide(root) * Wide(root) == Wide(value)) return uint64_t(root);
  }
  return std::nullopt;
}

// The magnitude rounded up to a whole number and then to the wanted parity, sign restored.
CANumber RoundToParity(const CANumber& x, bool odd) {
  if (!x.isValid()) return x;
  const bool negative = !x.isPositive();
  const long double real = x.realValue();
  if (x.form() == kNumberReal && !(std::fabs(real) < kTwoTo63)) {
    // Already whole; from 2^64 on every extended real is even, so an odd one cannot be held.
    long double magnitude = std::fabs(real);
    if ((std::fmod(magnitude, 2.0L) != 0) != odd) magnitude += 1;
    return Real(negative ? -magnitude : magnitude);
  }
  Wide magnitude = 0;
  switch (x.form()) {
    case kNumberInteger:
      magnitude = negative ? Wide(0 - uint64_t(x.numerator())) : Wide(uint64_t(x.numerator()));
      break;
    case kNumberFraction: {
      const Wide numerator =
          negative ? Wide(0 - uint64_t(x.numerator())) : Wide(uint64_t(x.numerator()));
      magnitude = (numerator + x.denominator() - 1) / x.denominator();
      break;
    }
    default:
      magnitude = Wide(static_cast<uint64_t>(std::ceil(std::fabs(real))));
      break;
  }
  if ((magnitude % 2 == 1) != odd) ++magnitude;
  if (magnitude <= Wide(kInt64Max)) {
    const auto value = int64_t(magnitude);
    return CANumber(negative ? -value : value);
  }
  const auto value = static_cast<long double>(magnitude);
  return Real(negative ? -value : value);
}

bool IsExact(const CANumber& x) {
  return x.form() == kNumberInteger || x.form() == kNumberFraction;
}

// a - trunc(a / b) b in exact arithmetic, for exact operands whose steps fit 64 bits. The
// remainder of CANumber takes fractions through fmod of their reals, where 1/6 is not exact
// and 4 is then no multiple of it.
std::optional<CANumber> ExactRemainder(const CANumber& a, const CANumber& b) {
  if (!IsExact(a) || !IsExact(b) || b.isZero()) return std::nullopt;
  CANumber multiple = a;
  multiple.divide(b);
  if (!IsExact(multiple)) return std::nullopt;
  multiple.makeInteger();
  multiple.multiply(b);
  CANumber rest = a;
  rest.subtract(multiple);
  if (!IsExact(multiple) || !IsExact(rest)) return std::nullopt;
  return rest;
}

CANumber Remainder(const CANumber& a, const CANumber& b) {
  if (auto exact = ExactRemainder(a, b)) return *exact;
  CANumber rest = a;
  rest.remainder(b);
  return rest;
}

// The whole exponent k with base^k exactly x, when x and the base are exact and the extended
// logarithm lies near such a k: log10l(1000) is a hair above 3, and LOG10(1000) must be 3.
std::optional<int64_t> ExactLogarithm(const CANumber& x, const CANumber& base,
                                      long double logarithm) {
  constexpr long double kLargestExactExponent = 64;
  if (!IsExact(x) || !IsExact(base) || !(std::fabs(logarithm) <= kLargestExactExponent))
    return std::nullopt;
  const auto k = static_cast<int64_t>(std::llround(logarithm));
  CANumber power(1);
  for (int64_t i = 0; i < (k < 0 ? -k : k) && IsExact(power); ++i) power.multiply(base);
  if (k < 0) power.invert();
  if (!IsExact(power) || !power.isEqual(x)) return std::nullopt;
  return k;
}

CANumber Logarithm(const CANumber& x, const CANumber& base, long double logarithm) {
  if (const auto k = ExactLogarithm(x, base, logarithm)) return CANumber(*k);
  return Real(logarithm);
}

FunctionResult Invalid(const CANumber& x) {
  return FunctionResult::failure(uint32_t(x.evaluationError()));
}

// Significance 1 with the sign of the number.
CANumber UnitWithSignOf(const CANumber& x) { return CANumber(x.isPositive() ? 1 : -1); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Math

CANumber CbrtCore(const CANumber& x) {
  if (x.form() == kNumberInteger || x.form() == kNumberFraction) {
    const bool negative = x.numerator() < 0;
    const uint64_t magnitude = negative ? 0 - uint64_t(x.numerator()) : uint64_t(x.numerator());
    const auto numeratorRoot = ExactCubeRoot(magnitude);
    const auto denominatorRoot = ExactCubeRoot(x.denominator());
    if (numeratorRoot && denominatorRoot && *denominatorRoot != 0) {
      const auto root = int64_t(*numeratorRoot);
      return CANumber::withNumerator(negative ? -root : root, *denominatorRoot);
    }
  }
  if (!x.isValid()) return x;
  return Real(std::cbrt(x.realValue()));
}

CANumber ECore() { return Real(kE); }

CANumber ExpCore(const CANumber& x) {
  return Real(std::exp(static_cast<double>(x.realValue())));
}

FunctionResult FactCore(const CANumber& x) {
  if (!x.isValid()) return Invalid(x);
  if (!x.isPositive()) return FunctionResult::failure(kFormulaErrorNumber);
  CANumber result = x;
  result.factorial();
  return result;
}

FunctionResult GcdCore(std::span<const CANumber> operands) {
  if (operands.empty()) return FunctionResult::failure(kFormulaErrorNotAvailable);
  CANumber result = operands.front().copy();
  if (!result.isPositive()) return FunctionResult::failure(kFormulaErrorNumber);
  for (const CANumber& operand : operands.subspan(1)) {
    if (BeyondIntegers(result) || BeyondIntegers(operand))
      return FunctionResult::failure(kFormulaErrorNumber);
    result.gcd(operand);
    if (!result.isValid()) return FunctionResult::failure(kFormulaErrorNumber);
    if (result.isEqual(g_number1)) break;
  }
  return result;
}

FunctionResult LcmCore(std::span<const CANumber> operands) {
  if (operands.empty()) return FunctionResult::failure(kFormulaErrorNotAvailable);
  CANumber result = operands.front().copy();
  if (!result.isPositive()) return FunctionResult::failure(kFormulaErrorNumber);
  for (const CANumber& operand : operands.subspan(1)) {
    // A multiple that has left 64 bits is a real: combining it further would saturate.
    if (BeyondIntegers(result) || BeyondIntegers(operand))
      return FunctionResult::failure(kFormulaErrorNumber);
    result.lcm(operand);
    if (!result.isValid()) return FunctionResult::failure(kFormulaErrorNumber);
    if (result.isZero()) break;
  }
  return result;
}

CANumber LnCore(const CANumber& x) { return Real(std::log(x.realValue())); }

CANumber LogCore(const CANumber& x, const std::optional<CANumber>& base) {
  if (!base) return Log10Core(x);
  CANumber result = LnCore(x);
  result.divide(LnCore(*base));
  if (result.isValid()) {
    if (const auto k = ExactLogarithm(x, *base, result.realValue())) return CANumber(*k);
  }
  return result;
}

CANumber Log10Core(const CANumber& x) {
  return Logarithm(x, CANumber(10), std::log10(x.realValue()));
}

CANumber Log2Core(const CANumber& x) { return Logarithm(x, g_number2, std::log2(x.realValue())); }

CANumber ModCore(const CANumber& number, const CANumber& divisor) {
  return Remainder(number, divisor);
}

FunctionResult MultinomialCore(std::span<const CANumber> operands) {
  if (operands.empty()) return CANumber();
  for (const CANumber& operand : operands) {
    CANumber count = operand;
    TruncateTowardZero(count);
    if (!count.isValid() || !count.isPositive() || count.form() != kNumberInteger ||
        count.numerator() >= kFirstInfiniteFactorial)
      return FunctionResult::failure(kFormulaErrorNumber);
  }
  // (k1 + ... + km)! / (k1! ... km!) is the product of the binomials C(k1 + ... + ki, ki):
  // exact where whole factorials would already have left 64 bits.
  CANumber result(1);
  CANumber total;
  for (const CANumber& operand : operands) {
    CANumber count = operand;
    TruncateTowardZero(count);
    total.add(count);
    result.multiply(CombinCore(total, count).value);
    if (!result.isValid()) break;
  }
  return result;
}

CANumber PiCore() { return Real(kPi); }

CANumber PowerCore(const CANumber& base, const CANumber& exponent) {
  CANumber result = base;
  result.power(exponent);
  return result;
}

CANumber ProductCore(std::span<const CANumber> operands) {
  if (operands.empty()) return CANumber();
  CANumber product(1);
  for (const CANumber& operand : operands) product.multiply(operand);
  return product;
}

CANumber QuotientCore(const CANumber& dividend, const CANumber& divisor) {
  CANumber result = dividend;
  result.divide(divisor);
  TruncateTowardZero(result);
  return result;
}

CANumber RandCore() {
  double quotient = 1;
  while (quotient == 1) quotient = double(RandomNumber(kRandLimit)) / kRandDivisor;
  return Real(quotient);
}

FunctionResult RandbetweenCore(const CANumber& bottom, const CANumber& top) {
  const int64_t low = bottom.integerValue();
  const int64_t high = top.integerValue();
  // In 128 bits: the span of two 64-bit bounds may not fit 64.
  const __int128 span = __int128(high) - __int128(low) + 1;
  if (span < 1 || span > kMaxRandomSpan) return FunctionResult::failure(kFormulaErrorNumber);
  return CANumber(low + int64_t(RandomNumber(uint32_t(span))));
}

FunctionResult SeriessumCore(const CANumber& x, const CANumber& n, const CANumber& m,
                             std::span<const CANumber> coefficients) {
  if (coefficients.empty()) return FunctionResult::failure(kFormulaErrorNotAvailable);
  CANumber sum;
  CANumber exponent = n;
  for (const CANumber& coefficient : coefficients) {
    CANumber term = x;
    term.power(exponent);
    term.multiply(coefficient);
    sum.add(term);
    if (!sum.isValid()) break;
    exponent.add(m);
  }
  return sum;
}

CANumber SignCore(const CANumber& x) {
  if (x.isZero()) return CANumber();
  return CANumber(x.isPositive() ? 1 : -1);
}

CANumber SqrtCore(const CANumber& x) {
  CANumber result = x;
  result.squareRoot();
  return result;
}

CANumber SqrtpiCore(const CANumber& x) {
  CANumber result = x;
  result.multiply(PiCore());
  result.squareRoot();
  return result;
}

CANumber SumCore(std::span<const CANumber> operands) { return SumOfOperands(operands); }

CANumber SumsqCore(std::span<const CANumber> operands) {
  CompensatedSum sum;
  for (const CANumber& operand : operands) {
    CANumber square = operand;
    square.multiply(operand);
    sum.add(square);
  }
  return sum.result();
}

// ---------------------------------------------------------------------------------------------
// Rounding

FunctionResult RoundToSignificanceCore(const CANumber& x, const CANumber& s, RoundingMode mode) {
  if (!x.isValid()) return Invalid(x);
  if (!s.isValid()) return Invalid(s);
  if (x.isZero() || s.isZero()) return CANumber();
  const bool negative = !x.isPositive();
  if (negative != !s.isPositive()) return FunctionResult::failure(kFormulaErrorNumber);
  CANumber magnitude = x;
  magnitude.makePositive();
  CANumber step = s;
  step.makePositive();
  if (Remainder(magnitude, step).isZero()) return x;

  CANumber rounded = magnitude;
  if (mode == kRoundHalfAwayFromZero) {
    CANumber half = step;
    half.divide(g_number2);
    rounded.add(half);
  } else {
    rounded.add(step);
  }
  rounded.divide(step);
  TruncateTowardZero(rounded);
  rounded.multiply(step);
  if (mode == kRoundTowardZero || (mode == kRoundTowardNegative && !negative) ||
      (mode == kRoundTowardPositive && negative))
    rounded.subtract(step);
  if (negative) rounded.changeSign();
  return rounded;
}

CANumber RoundValueCore(const CANumber& x, const CANumber& digits, RoundingMode mode) {
  if (!x.isValid() || x.isZero()) return x;
  const int64_t n = digits.integerValue();
  // A whole number has no decimals to lose, however many places are asked for.
  if (n >= 0 && x.form() == kNumberInteger) return x;
  // 10^-n as an exact fraction where it fits, so that ROUND(1.005, 2) is exactly 1.01.
  CANumber step;
  if (n >= 0 && n <= kLargestExactPowerOfTen) {
    step = CANumber::withNumerator(1, kPowersOfTen[size_t(n)]);
  } else if (n < 0 && n >= -kLargestExactPowerOfTen) {
    step = CANumber(int64_t(kPowersOfTen[size_t(-n)]));
  } else {
    CANumber exponent(n);
    exponent.changeSign();
    step = CANumber(10);
    step.power(exponent);
    // Places beyond the smallest extended real change nothing; tens beyond the largest leave
    // nothing but zero, or infinity when rounding away from zero.
    if (step.isZero()) return x;
    if (!step.isValid()) return mode == kRoundAwayFromZero ? CANumber::asInf() : CANumber();
  }
  if (!x.isPositive()) step.changeSign();
  return RoundToSignificanceCore(x, step, mode).value;
}

CANumber AbsCore(const CANumber& x) {
  CANumber result = x;
  result.makePositive();
  return result;
}

FunctionResult CeilingCore(const CANumber& x, const CANumber& significance) {
  return RoundToSignificanceCore(x, significance, kRoundAwayFromZero);
}

FunctionResult CeilingPreciseCore(const CANumber& x, const std::optional<CANumber>& significance) {
  return RoundToSignificanceCore(x, significance ? *significance : UnitWithSignOf(x),
                                 kRoundTowardPositive);
}

CANumber EvenCore(const CANumber& x) { return RoundToParity(x, false); }

FunctionResult FloorCore(const CANumber& x, const CANumber& significance) {
  return RoundToSignificanceCore(x, significance, kRoundTowardZero);
}

FunctionResult FloorPreciseCore(const CANumber& x, const std::optional<CANumber>& significance) {
  return RoundToSignificanceCore(x, significance ? *significance : UnitWithSignOf(x),
                                 kRoundTowardNegative);
}

CANumber IntCore(const CANumber& x) {
  if (!x.isValid()) return x;
  return RoundToSignificanceCore(x, UnitWithSignOf(x), kRoundTowardNegative).value;
}

FunctionResult MroundCore(const CANumber& x, const CANumber& multiple) {
  return RoundToSignificanceCore(x, multiple, kRoundHalfAwayFromZero);
}

CANumber OddCore(const CANumber& x) { return RoundToParity(x, true); }

CANumber RoundCore(const CANumber& x, const CANumber& digits) {
  return RoundValueCore(x, digits, kRoundHalfAwayFromZero);
}

CANumber RounddownCore(const CANumber& x, const CANumber& digits) {
  return RoundValueCore(x, digits, kRoundTowardZero);
}

CANumber RoundupCore(const CANumber& x, const CANumber& digits) {
  return RoundValueCore(x, digits, kRoundAwayFromZero);
}

CANumber TruncCore(const CANumber& x) {
  CANumber result = x;
  TruncateTowardZero(result);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Trigonometry

CANumber AcosCore(const CANumber& x) { return Real(std::acos(x.realValue())); }
// Near 1 the library's forms lose the digits of x - 1; these keep them.
CANumber AcoshCore(const CANumber& x) {
  const long double v = x.realValue();
  if (!(v >= 1) || v > 2) return Real(std::acosh(v));
  // acosh(1 + t) = log1p(t + sqrt(2t + t^2)), with t exact for x near 1.
  CANumber excess = x;
  excess.subtract(g_number1);
  const long double t = excess.realValue();
  return Real(std::log1pl(t + std::sqrt(t * (2 + t))));
}
CANumber AsinCore(const CANumber& x) { return Real(std::asin(x.realValue())); }
CANumber AsinhCore(const CANumber& x) { return Real(std::asinh(x.realValue())); }
CANumber AtanCore(const CANumber& x) { return Real(std::atan(x.realValue())); }
CANumber Atan2Core(const CANumber& x, const CANumber& y) {
  return Real(std::atan2(y.realValue(), x.realValue()));
}
CANumber AtanhCore(const CANumber& x) {
  const long double v = x.realValue();
  if (!(std::fabs(v) > 0.5L && std::fabs(v) < 1)) return Real(std::atanh(v));
  // atanh(v) = log1p(2v / (1 - v)) / 2, with 1 - |v| taken exactly for v near ±1.
  CANumber gap = g_number1;
  if (v > 0) gap.subtract(x); else gap.add(x);
  const long double g = gap.realValue();
  const long double magnitude = std::log1pl(2 * (1 - g) / g) / 2;
  return Real(v > 0 ? magnitude : -magnitude);
}
CANumber CosCore(const CANumber& x) { return Real(std::cos(x.realValue())); }
CANumber CoshCore(const CANumber& x) { return Real(std::cosh(x.realValue())); }
CANumber DegreesCore(const CANumber& x) { return Real(x.realValue() * 180 / kPi); }
CANumber RadiansCore(const CANumber& x) { return Real(x.realValue() * kPi / 180); }
CANumber SinCore(const CANumber& x) { return Real(std::sin(x.realValue())); }
CANumber SinhCore(const CANumber& x) { return Real(std::sinh(x.realValue())); }
CANumber TanCore(const CANumber& x) { return Real(std::tan(x.realValue())); }
CANumber TanhCore(const CANumber& x) { return Real(std::tanh(x.realValue())); }
