// A sum that keeps every term it is given exactly, whatever their order: whole numbers and
// fractions as one wide numerator over their common denominator (a 64-bit one while it fits, a
// wider one beyond), reals (each a whole number of units of its lowest mantissa bit) as one wide
// fixed-point number. It is rounded once, when it
// is read, so the same terms in any order and in any grouping read the same: a range can be
// folded from either end, or from a state kept part of the way, and give what a walk over its
// cells gives; and that value is the exact sum wherever it is an exact number, the nearest real
// to it otherwise, never further from it than adding the terms one by one would be.
#pragma once

#include "calculator/model/CANumber.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class ExactAccumulator {
 public:
  ExactAccumulator();
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

  // The sum: an exact number where no real was added and the sum in lowest terms fits the exact
  // forms, otherwise the real nearest to the exact sum (infinite where it passes the reals).
  CANumber value() const;

  bool empty() const { return numerator_.empty() && reals_.empty() && !hasReal_ && !wide_; }
  // What the sum holds beyond its own size.
  size_t heapBytes() const;

 private:
  struct Wide;
  void addReal(long double value);
  // Moves the whole numbers and fractions to the wide common denominator, for good.
  Wide& widen();
  CANumber wideValue() const;

  // Two's complement, lowest limb first; empty is 0. Unused once the sum is wide.
  std::vector<uint64_t> numerator_;
  uint64_t denominator_ = 1;
  // The whole numbers and fractions once their common denominator passes 63 bits.
  std::unique_ptr<Wide> wide_;
  // The reals: two's complement, limb i weighing 2^(64 (i + lowestLimb_)).
  std::vector<uint64_t> reals_;
  int32_t lowestLimb_ = 0;
  bool hasReal_ = false;
};
