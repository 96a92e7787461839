// The arithmetic of the math, rounding and trigonometry functions. Sums, products, rounding,
// gcd and lcm stay exact; logarithms, powers, roots and trigonometry go through 80-bit extended
// reals and are canonicalised afterwards, so an integral result becomes an integer again.
#pragma once

#include <optional>
#include <span>

#include "calculator/model/formula/caFunctionCores.h"

// How significance rounding moves a value that is not already a multiple.
enum RoundingMode : int {
  kRoundTowardNegative = 0,    // FLOOR.PRECISE, INT
  kRoundAwayFromZero = 1,      // CEILING, ROUNDUP
  kRoundHalfAwayFromZero = 2,  // MROUND, ROUND
  kRoundTowardZero = 3,        // FLOOR, ROUNDDOWN
  kRoundTowardPositive = 4,    // CEILING.PRECISE
};

// --- Math

// Exact cube root when numerator and denominator are perfect cubes, else the real cube root;
// negative numbers have negative roots.
CANumber CbrtCore(const CANumber& x);
CANumber ECore();
CANumber ExpCore(const CANumber& x);
// Error 8 for a negative number.
FunctionResult FactCore(const CANumber& x);
// Lists of at least one number, else error 7. A first operand below zero, an operand beyond 64
// bits or an invalid combination is error 8. One operand comes back as it is.
FunctionResult GcdCore(std::span<const CANumber> operands);
FunctionResult LcmCore(std::span<const CANumber> operands);
CANumber LnCore(const CANumber& x);
// Base 10 without a base; with one, ln(x) / ln(base), so a base of 1 gives infinity. An exact
// number that is a whole power of an exact base has that whole logarithm: LOG(8, 2) is 3.
CANumber LogCore(const CANumber& x, const std::optional<CANumber>& base = std::nullopt);
CANumber Log10Core(const CANumber& x);
CANumber Log2Core(const CANumber& x);
// The remainder of truncating division, with the sign of the number; exact for exact operands.
CANumber ModCore(const CANumber& number, const CANumber& divisor);
// The number of ways to divide the sum of the truncated operands into groups of those sizes,
// computed as a product of exact binomials. Empty: 0. A negative operand, or one whose
// factorial is beyond the extended reals, is error 8.
FunctionResult MultinomialCore(std::span<const CANumber> operands);
CANumber PiCore();
CANumber PowerCore(const CANumber& base, const CANumber& exponent);
// Exact product in list order. Empty: 0.
CANumber ProductCore(std::span<const CANumber> operands);
// The quotient truncated toward zero.
CANumber QuotientCore(const CANumber& dividend, const CANumber& divisor);
// A random number from 0 up to but excluding 1.
CANumber RandCore();
// A random whole number from bottom to top inclusive (both truncated); error 8 when top is
// below bottom or the span holds more than 4294967295 numbers.
FunctionResult RandbetweenCore(const CANumber& bottom, const CANumber& top);
// sum of coefficient_i * x^(n + i m); error 7 without coefficients.
FunctionResult SeriessumCore(const CANumber& x, const CANumber& n, const CANumber& m,
                             std::span<const CANumber> coefficients);
CANumber SignCore(const CANumber& x);
CANumber SqrtCore(const CANumber& x);
CANumber SqrtpiCore(const CANumber& x);
// Exact sum in list order (CANumber SumOfOperands); SUMSQ of x * x. Empty: 0.
CANumber SumCore(std::span<const CANumber> operands);
CANumber SumsqCore(std::span<const CANumber> operands);

// --- Rounding

// Rounds x to a multiple of the significance s; error 8 when they differ in sign (zero
// counts as positive). A zero x or s gives 0.
FunctionResult RoundToSignificanceCore(const CANumber& x, const CANumber& s, RoundingMode mode);
// Rounds x to `digits` decimal places (negative: to tens, hundreds...) by significance
// rounding with 10^-digits, held as an exact fraction where it fits.
CANumber RoundValueCore(const CANumber& x, const CANumber& digits, RoundingMode mode);

CANumber AbsCore(const CANumber& x);
FunctionResult CeilingCore(const CANumber& x, const CANumber& significance);
// Without a significance: 1 with the sign of the number.
FunctionResult CeilingPreciseCore(const CANumber& x,
                                  const std::optional<CANumber>& significance = std::nullopt);
// The magnitude rounded up to the next even (odd) whole number; EVEN(0) is 0, ODD(0) is 1.
CANumber EvenCore(const CANumber& x);
FunctionResult FloorCore(const CANumber& x, const CANumber& significance);
FunctionResult FloorPreciseCore(const CANumber& x,
                                const std::optional<CANumber>& significance = std::nullopt);
CANumber IntCore(const CANumber& x);
FunctionResult MroundCore(const CANumber& x, const CANumber& multiple);
CANumber OddCore(const CANumber& x);
CANumber RoundCore(const CANumber& x, const CANumber& digits);
CANumber RounddownCore(const CANumber& x, const CANumber& digits);
CANumber RoundupCore(const CANumber& x, const CANumber& digits);
CANumber TruncCore(const CANumber& x);

// --- Trigonometry: extended reals, canonicalised with real conversion.

CANumber AcosCore(const CANumber& x);
CANumber AcoshCore(const CANumber& x);
CANumber AsinCore(const CANumber& x);
CANumber AsinhCore(const CANumber& x);
CANumber AtanCore(const CANumber& x);
// The angle of the point (x, y): the first argument is x.
CANumber Atan2Core(const CANumber& x, const CANumber& y);
CANumber AtanhCore(const CANumber& x);
CANumber CosCore(const CANumber& x);
CANumber CoshCore(const CANumber& x);
CANumber DegreesCore(const CANumber& x);
CANumber RadiansCore(const CANumber& x);
CANumber SinCore(const CANumber& x);
CANumber SinhCore(const CANumber& x);
CANumber TanCore(const CANumber& x);
CANumber TanhCore(const CANumber& x);
