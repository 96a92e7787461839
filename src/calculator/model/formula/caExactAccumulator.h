// A sum that reads the same for the same terms in any order and in any grouping: a range can be
// folded from either end, or from a state kept part of the way, and give what a walk over its
// cells gives. Whole numbers and fractions are kept exactly as one numerator over their common
// denominator (a 64-bit one while it fits, a wider one beyond) while that denominator, the least
// common multiple of the terms' denominators, stays below 2^kExactBits; reals (each a whole
// number of units of its lowest mantissa bit) as one wide fixed-point number. It is rounded once,
// when it is read: to the exact sum wherever that is an exact number, to the real nearest to it
// otherwise.
// Past that bound (reciprocals of amounts or of primes add some twenty bits to the denominator
// a term, and an exact sum would cost the length of it for every term, copy and read), the sum
// is that of the terms each rounded to the nearest real, added without error and rounded once:
// whether a sum is past the bound depends on its terms' denominators alone, never on their order,
// and the work and room for a term stay bounded.
// Rounding every term costs an ordinary sum (of amounts in cents, say) as much again as the exact
// sum, and only sums past the bound use it; a sum that never reaches the bound has no use for it.
// A sum made to add exactly first keeps no rounded terms: should it pass the bound, it is
// unresolved, and its caller, who can read the terms again, sums them again as a sum that rounds
// every term. Since the bound depends on the denominators alone, a sum of part of the terms of one
// within the bound is within it too: a fold that stays within the bound answers each of its
// ranges exactly first.
#pragma once

#include "calculator/model/CANumber.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// Whole numbers and fractions each rounded to the nearest real, summed exactly: a fraction of
// CANumber lies between 2^-64 and 2^63 in magnitude, so that, rounded, it is a whole number of
// units of 2^-128 below 2^192, and 256 bits of two's complement hold the sum of any count of
// them; whole numbers are summed apart, in 128 bits.
class RoundedTerms {
 public:
  void addWhole(int64_t n) { whole_ += n; }
  void addWhole(__int128 n) { whole_ += n; }
  // n / d (d above 0, n not 0) rounded to the nearest real.
  void addFraction(int64_t n, uint64_t d) {
    // Both are reals exactly, so the quotient is the real nearest to n / d; a denominator that
    // fits the signed integers converts without the unsigned one's correction.
    const long double divisor = d <= uint64_t(INT64_MAX) ? static_cast<long double>(static_cast<int64_t>(d))
                                                         : static_cast<long double>(d);
    addReal(static_cast<long double>(n) / divisor);
  }
  void add(const RoundedTerms& other);
  // The sum in two's complement limbs, lowest first, limb i weighing 2^(64 (i - 2)).
  std::vector<uint64_t> limbs() const;

 private:
  // Adds a real from 2^-64 to 2^63 in magnitude.
  void addReal(long double value);
  // Adds magnitude · 2^(bit - 128), bit from 1 to 128, or takes it away.
  void addAt(uint64_t magnitude, int bit, bool negative);

  __int128 whole_ = 0;
  // The rounded fractions: 256 bits of two's complement, in units of 2^-128.
  unsigned __int128 low_ = 0;
  unsigned __int128 high_ = 0;
};

inline void RoundedTerms::addReal(long double value) {
  uint64_t mantissa = 0;
  uint16_t signAndExponent = 0;
  std::memcpy(&mantissa, &value, sizeof mantissa);
  std::memcpy(&signAndExponent, reinterpret_cast<const char*>(&value) + sizeof mantissa, sizeof signAndExponent);
  // value = mantissa · 2^(exponent - 63), the exponent from -64 to 63 for a fraction's.
  const int exponent = int(signAndExponent & 0x7FFF) - 16383;
  addAt(mantissa, exponent + 65, (signAndExponent & 0x8000) != 0);
}

inline void RoundedTerms::addAt(uint64_t magnitude, int bit, bool negative) {
  // The term as 256 bits, high and low halves.
  const unsigned __int128 wide = magnitude;
  const unsigned __int128 low = bit < 128 ? wide << bit : 0;
  const unsigned __int128 high = bit < 128 ? wide >> (128 - bit) : wide;
  if (!negative) {
    const unsigned __int128 sum = low_ + low;
    high_ += high + (sum < low_ ? 1 : 0);
    low_ = sum;
  } else {
    const unsigned __int128 borrow = low_ < low ? 1 : 0;
    low_ -= low;
    high_ -= high + borrow;
  }
}

class ExactAccumulator {
 public:
  // The exact sum is kept while the common denominator of the terms stays below 2 to this.
  static constexpr int kExactBits = 256;

  ExactAccumulator();
  // A sum that adds exactly first and keeps no rounded terms (see unresolved()).
  static ExactAccumulator exactFirst();
  ~ExactAccumulator();
  ExactAccumulator(const ExactAccumulator& other);
  ExactAccumulator& operator=(const ExactAccumulator& other);
  ExactAccumulator(ExactAccumulator&&) noexcept;
  ExactAccumulator& operator=(ExactAccumulator&&) noexcept;

  // Adds a whole number, a fraction or a finite real exactly; NO, leaving the sum as it was, for
  // a term that is not finite.
  bool tryAdd(const CANumber& term);
  // The same where a term that is not finite is simply left out.
  void add(const CANumber& term) { tryAdd(term); }
  // Adds the terms of another sum.
  void add(const ExactAccumulator& other);
  // Adds whole numbers and fractions summed apart: numerator / denominator, the denominator the
  // least common multiple of theirs (not put in lowest terms), and the terms each rounded.
  // The rounded terms are not given by a sum that adds exactly first.
  void addExact(__int128 numerator, uint64_t denominator, const RoundedTerms* rounded);

  // The sum: an exact number where no real was added, the common denominator stayed within the
  // bound and the sum in lowest terms fits the exact forms; otherwise the real nearest to the
  // exact sum (of the rounded terms past the bound), infinite where it passes the reals.
  CANumber value() const;

  bool empty() const { return !taken_; }
  // Whether the whole numbers and fractions are past the bound, and summed rounded.
  bool pastBound() const { return past_; }
  // Whether the sum is past the bound without the rounded terms of all its terms (only a sum that
  // adds exactly first, or one joined with such a sum): its value is then no sum of the terms, and
  // the terms are to be summed again by a sum that rounds them. Terms added after are ignored.
  bool unresolved() const { return unresolved_; }
  // What the sum holds beyond its own size.
  size_t heapBytes() const;

 private:
  struct Wide;
  // Adds n / d (d above 0, in lowest terms or not) to the exact sum.
  void addExactPart(int64_t n, uint64_t d);
  void addReal(long double value);
  // Moves the whole numbers and fractions to the wide common denominator, for good.
  Wide& widen();
  // Drops the exact sum for good: the rounded terms stand for it.
  void passBound();
  CANumber wideValue() const;
  CANumber roundedValue() const;

  // Two's complement, lowest limb first; empty is 0. Unused once the sum is wide.
  std::vector<uint64_t> numerator_;
  uint64_t denominator_ = 1;
  // The whole numbers and fractions once their common denominator passes 63 bits.
  std::unique_ptr<Wide> wide_;
  // The reals: two's complement, limb i weighing 2^(64 (i + lowestLimb_)).
  std::vector<uint64_t> reals_;
  int32_t lowestLimb_ = 0;
  // The whole numbers and fractions, each rounded: what the sum is past the bound.
  RoundedTerms rounded_;
  bool hasReal_ = false;
  bool past_ = false;
  bool taken_ = false;
  // Whether rounded_ holds every whole number and fraction added.
  bool roundsTerms_ = true;
  bool unresolved_ = false;
};
