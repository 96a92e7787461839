// The arithmetic of the statistics functions: means, extremes, order statistics, modes,
// variances over lists of numbers, and the counting functions COMBIN and PERMUT. Lists arrive
// in argument order, as the operand helpers build them; sums and products stay exact as far as
// CANumber can hold them.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "calculator/model/formula/caExactAccumulator.h"
#include "calculator/model/formula/caFunctionCores.h"

// The near part of a running sum: integers and fractions kept over a common denominator, the
// least common multiple of the terms' denominators, and put in lowest terms only when read.
// Adding a whole number is then one addition, where CANumber::add reduces a fraction every time.
// A term is taken only while that denominator stays within 63 bits and the numerator over it
// within 64: then the sum in lowest terms fits CANumber's exact forms, and is what CANumber::add
// would give. The terms are summed rounded as well, for a sum that passes the bound, unless the
// sum adds exactly first (see ExactAccumulator).
class ExactSum {
 public:
  explicit ExactSum(bool roundsTerms = true) : roundsTerms_(roundsTerms) {}
  // Adds an integer or fraction; NO, leaving the sum as it was, when the numerator or the
  // common denominator would not fit (then a wider sum must take it).
  bool tryAdd(const CANumber& term);
  // The sum in canonical form.
  CANumber value() const;
  // Starts again from an exact number.
  void set(const CANumber& exact);
  // Adds what the sum holds to a wider one.
  void addTo(ExactAccumulator& sum) const;

 private:
  void commonDenominatorChanged() {
    cachedDenominator_ = denominator_;
    cachedFactor_ = 1;
  }

  __int128 numerator_ = 0;  // within 64 bits between additions
  uint64_t denominator_ = 1;
  // The last term denominator other than the common one, and what scales it to the common one.
  uint64_t cachedDenominator_ = 1;
  uint64_t cachedFactor_ = 1;
  RoundedTerms rounded_;
  bool roundsTerms_;
};

// A running sum of any numbers: the same whatever the terms' order (ExactAccumulator), read as
// the exact sum where that is an exact number and as the nearest real otherwise, so that
// SUM(1E20, 1, -1E20) is 1 and a sum whose partial sums pass 2^63 before they cancel loses no
// term; past the bound on the common denominator, the sum of the rounded terms. Whole numbers and
// fractions whose partial sums keep to 64 bits, the common case, are added by ExactSum first. Once
// a term is NaN or infinite the sum is that term added to what came before, and stays so.
// A sum that adds exactly first keeps no rounded terms: past the bound it is unresolved, takes no
// more terms, and is to be summed again by a sum that rounds them.
class CompensatedSum {
 public:
  CompensatedSum() = default;
  static CompensatedSum exactFirst() { return CompensatedSum(false); }

  void add(const CANumber& term) {
    // Sums of whole numbers and fractions take the exact path at once, unless they are past the
    // bound, where only the rounded terms count.
    if (term.form() <= kNumberFraction) {
      if (nearOpen_) [[likely]] {
        if (!near_.tryAdd(term)) addBeyondNear(term);
        return;
      }
      if (!invalid_ && far_.tryAdd(term)) return;
    }
    addOther(term);
  }
  // The sum; NaN where it is unresolved.
  CANumber result() const;
  // Whether the sum is past the bound without every term's rounded value, so that it gives no
  // result: so once its terms are read, or as soon as it joins sums past the bound.
  bool unresolved() const;
  // Starts an empty sum with the terms of `sum`.
  void startWith(const ExactAccumulator& sum) {
    far_ = sum;
    openNear();
  }
  // Starts an empty sum at infinity, as a term of infinity leaves every sum.
  void startInfinite() {
    invalid_ = CANumber::asInf();
    openNear();
  }
  // Starts an empty sum at NaN, as a term of NaN leaves every sum.
  void startNaN() {
    invalid_ = CANumber::asNan();
    openNear();
  }
  // A sum already made: its result is `result`, and it takes no more terms.
  void settle(const CANumber& result) {
    invalid_ = result;
    nearOpen_ = false;
  }
  // What the sum holds beyond its own size.
  size_t heapBytes() const { return far_.heapBytes(); }

 private:
  explicit CompensatedSum(bool roundsTerms) : near_(roundsTerms), far_(exactFirstOr(roundsTerms)) {}
  static ExactAccumulator exactFirstOr(bool roundsTerms) {
    return roundsTerms ? ExactAccumulator() : ExactAccumulator::exactFirst();
  }

  // A term that the near part cannot take: it goes on from that term, what it held added to the
  // far part.
  void addBeyondNear(const CANumber& term);
  // A real, NaN or infinite term.
  void addOther(const CANumber& term);
  // Whether whole numbers and fractions go to the near part: neither invalid nor past the bound.
  void openNear() { nearOpen_ = !invalid_ && !far_.pastBound(); }

  ExactSum near_;
  ExactAccumulator far_;
  // The sum once a term that is not finite ended it, or once it was settled: its result.
  std::optional<CANumber> invalid_;
  // Tested once a term rather than both of what it stands for.
  bool nearOpen_ = true;
};

// What the list functions keep of a list of numbers read in order: how many there were and, as
// asked, their compensated sum and their first largest and first smallest. Folding a list number
// by number gives what SumOfOperands, AverageCore, MaxCore and MinCore give for the whole list,
// without the list.
class ListAggregate {
 public:
  // With kExactFirst the sum adds exactly first (CompensatedSum::exactFirst): the fold of a list
  // whose sum is then unresolved() is to be made again without it.
  enum : uint8_t { kCount = 0, kSum = 1, kLargest = 2, kSmallest = 4, kAll = 7, kExactFirst = 8 };
  explicit ListAggregate(uint8_t parts = kCount)
      : sum_((parts & kExactFirst) ? CompensatedSum::exactFirst() : CompensatedSum()), parts_(parts) {}

  void add(const CANumber& number) {
    ++count_;
    if (parts_ & kSum) sum_.add(number);
    if (parts_ & (kLargest | kSmallest)) addExtreme(number);
  }

  // What folding `count` numbers gives, with the parts `parts`, where their sum is `sum` (infinity
  // where `infinite`, NaN where `nan`), the largest `largest` with its real value `largestValue`,
  // the first of equal ones, and the smallest likewise.
  static ListAggregate ofFolded(uint8_t parts, uint64_t count, const ExactAccumulator& sum, bool infinite,
                                const CANumber& largest, long double largestValue, const CANumber& smallest,
                                long double smallestValue, bool nan = false) {
    ListAggregate fold(parts);
    fold.count_ = count;
    if (nan)
      fold.sum_.startNaN();
    else if (infinite)
      fold.sum_.startInfinite();
    else
      fold.sum_.startWith(sum);
    if (count > 0) {
      fold.largest_ = largest;
      fold.largestValue_ = largestValue;
      fold.smallest_ = smallest;
      fold.smallestValue_ = smallestValue;
    }
    return fold;
  }

  // What a fold of `count` numbers read: its sum, or its largest and smallest (the first of equal
  // ones), as `parts` asks. It takes no more numbers.
  static ListAggregate ofResults(uint8_t parts, uint64_t count, const CANumber& sum,
                                 const CANumber& largest = CANumber(), const CANumber& smallest = CANumber()) {
    ListAggregate fold(parts);
    fold.count_ = count;
    if (parts & kSum) fold.sum_.settle(sum);
    fold.largest_ = largest;
    fold.largestValue_ = largest.realValue();
    fold.smallest_ = smallest;
    fold.smallestValue_ = smallest.realValue();
    return fold;
  }

  uint8_t parts() const { return parts_; }
  // Whether the sum is unresolved: the fold gives no sum, and is to be made again.
  bool unresolved() const { return (parts_ & kSum) && sum_.unresolved(); }
  // What the fold holds beyond its own size.
  size_t heapBytes() const { return sum_.heapBytes(); }
  uint64_t count() const { return count_; }
  // Each as the core of the same name gives it for the list; 0 for an empty list.
  CANumber sum() const { return sum_.result(); }
  CANumber average() const;
  CANumber largest() const { return count_ == 0 ? CANumber() : largest_.copy(); }
  CANumber smallest() const { return count_ == 0 ? CANumber() : smallest_.copy(); }

 private:
  void addExtreme(const CANumber& number) {
    // The first of equal values stays, and a NaN never replaces nor is replaced.
    const long double value = number.realValue();
    if ((parts_ & kLargest) && (count_ == 1 || value > largestValue_)) {
      largest_ = number;
      largestValue_ = value;
    }
    if ((parts_ & kSmallest) && (count_ == 1 || value < smallestValue_)) {
      smallest_ = number;
      smallestValue_ = value;
    }
  }

  CompensatedSum sum_;
  CANumber largest_;
  CANumber smallest_;
  long double largestValue_ = 0;
  long double smallestValue_ = 0;
  uint64_t count_ = 0;
  uint8_t parts_;
};

// The exact sum of the list, rounded once where it is no exact number; NaN or infinite once a
// term is. Empty: 0.
CANumber SumOfOperands(std::span<const CANumber> operands);
// The sum divided by the count (AVERAGE, AVERAGEA). Empty: 0.
CANumber AverageCore(std::span<const CANumber> operands);
// The first operand whose real value is strictly the largest (smallest), kept in its exact
// form: MAX(1/3, 0.2) is 1/3. Empty: 0.
CANumber MaxCore(std::span<const CANumber> operands);
CANumber MinCore(std::span<const CANumber> operands);

// Ascending by real value; equal values keep their order, NaN goes last.
void SortOperands(std::vector<CANumber>& operands);

// The middle value, or the exact mean of the two middle values. Empty: 0.
CANumber MedianCore(std::span<const CANumber> operands);
// The smallest of the most frequent values that occur at least twice; error 7 otherwise.
FunctionResult ModeCore(std::span<const CANumber> operands);
// The n-th largest (smallest) of operands sorted by SortOperands; error 7 for none, error 8
// unless 1 <= n <= count.
FunctionResult LargeCore(std::span<const CANumber> sortedOperands, int64_t n);
FunctionResult SmallCore(std::span<const CANumber> sortedOperands, int64_t n);

// Mean squared deviation over count (population) or count - 1 (sample). The squares are exact
// products. Empty: 0 for a population, error 7 for a sample; one value in a sample divides by
// zero and gives infinity.
FunctionResult VarianceCore(std::span<const CANumber> operands, bool sample);
// The square root of VarianceCore when that is a valid number, else the variance itself.
FunctionResult StandardDeviationCore(std::span<const CANumber> operands, bool sample);

// Both arguments truncated; error 8 when either is negative or number < chosen. Computed as
// exact products, going on in extended reals only once the result leaves 64 bits.
FunctionResult CombinCore(const CANumber& number, const CANumber& chosen);
FunctionResult PermutCore(const CANumber& number, const CANumber& chosen);
