// The arithmetic of the statistics functions: means, extremes, order statistics, modes,
// variances over lists of numbers, and the counting functions COMBIN and PERMUT. Lists arrive
// in argument order, as the operand helpers build them; sums and products stay exact as far as
// CANumber can hold them.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "calculator/model/formula/caFunctionCores.h"

// A running sum that stays exact while its terms are integers and fractions that CANumber can
// hold, and adds reals with Neumaier's compensation, so that SUM(1E20, 1, -1E20) is 1. Once a
// term is NaN or infinite the sum is that term added to what came before, and stays so.
class CompensatedSum {
 public:
  void add(const CANumber& term) {
    // Sums of whole numbers and fractions, the common case, take the exact path at once.
    if (term.form() <= kNumberFraction && !invalid_) {
      exact_.add(term);
      if (exact_.form() > kNumberFraction) spillExact();
      return;
    }
    addOther(term);
  }
  CANumber result() const;

 private:
  // An exact sum that no longer fits joins the reals, rounded once.
  void spillExact();
  // A real, NaN or infinite term.
  void addOther(const CANumber& term);
  // Adds a real to the compensated part.
  void addReal(long double value);

  CANumber exact_;
  long double real_ = 0;
  long double compensation_ = 0;
  bool hasReal_ = false;
  std::optional<CANumber> invalid_;
};

// The compensated sum in list order; NaN or infinite once a term is. Empty: 0.
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
