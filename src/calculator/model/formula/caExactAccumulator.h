// A sum that keeps every term it is given exactly, whatever their order: whole numbers and
// fractions as one wide numerator over their common denominator, reals (each a whole number of
// units of its lowest mantissa bit) as one wide fixed-point number. It is rounded once, when it
// is read, so the same terms in any order and in any grouping read the same: a range can be
// folded from either end, or from a state kept part of the way, and give what a walk over its
// cells gives; and that value is the exact sum wherever it is an exact number, the nearest real
// to it otherwise, never further from it than adding the terms one by one would be.
#pragma once

#include "calculator/model/CANumber.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class ExactAccumulator {
 public:
  // Adds a whole number, a fraction or a finite real exactly; NO, leaving the sum as it was, for
  // a term that is not finite, or a fraction whose denominator would take the common one past
  // 63 bits.
  bool tryAdd(const CANumber& term);
  // Adds a finite term: where tryAdd refuses a fraction, its nearest real is added instead (and
  // roundedTerm() tells it); a term that is not finite is left out.
  void add(const CANumber& term);
  // Adds the terms of another sum; NO, leaving this one as it was, where the common denominator
  // of both would pass 63 bits.
  bool add(const ExactAccumulator& other);

  // The sum: an exact number where no real was added and the sum in lowest terms fits the exact
  // forms, otherwise the real nearest to the exact sum (infinite where it passes the reals).
  CANumber value() const;

  bool empty() const { return numerator_.empty() && reals_.empty() && !hasReal_; }
  // Whether a fraction was added as its nearest real: then the sum is exact no more, and depends
  // on the order the fractions came in.
  bool roundedTerm() const { return rounded_; }
  // What the sum holds beyond its own size.
  size_t heapBytes() const { return (numerator_.capacity() + reals_.capacity()) * sizeof(uint64_t); }

 private:
  void addReal(long double value);

  // Two's complement, lowest limb first; empty is 0.
  std::vector<uint64_t> numerator_;
  uint64_t denominator_ = 1;
  // The reals: two's complement, limb i weighing 2^(64 (i + lowestLimb_)).
  std::vector<uint64_t> reals_;
  int32_t lowestLimb_ = 0;
  bool hasReal_ = false;
  bool rounded_ = false;
};
