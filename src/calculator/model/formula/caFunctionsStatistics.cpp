// Handlers of the statistics functions.
#include "calculator/model/formula/caFunctionArguments.h"
#include "calculator/model/formula/caFunctions.h"
#include "calculator/model/formula/caStatisticsCores.h"

namespace {

// The list functions that fold their numbers (ListAggregate) instead of listing them. No
// values at all give 0.
template <typename Result>
CAFunctionResult Folded(CAEvaluationContext& context, int32_t mode, uint8_t parts, Result result) {
  ListAggregate operands(parts);
  if (AggregateOperands(context, mode, operands)) return result(operands);
  if (context.error != kFormulaErrorNotAvailable) return std::nullopt;
  context.error = 0;
  return CANumber();
}

CAFunctionResult Count(CAEvaluationContext& context, int32_t mode) {
  if (mode != kOperandBlankCount)
    return Folded(context, mode, ListAggregate::kCount,
                  [](const ListAggregate& operands) { return CountNumber(operands.count()); });
  const std::optional<CAOperandCount> count = CountOperands(context, mode);
  if (count) return CountNumber(*count);
  // No values at all count 0.
  if (context.error != kFormulaErrorNotAvailable) return std::nullopt;
  context.error = 0;
  return CANumber();
}

CAFunctionResult Mean(CAEvaluationContext& context, int32_t mode) {
  return Folded(context, mode, ListAggregate::kSum, [](const ListAggregate& operands) { return operands.average(); });
}

CAFunctionResult Extreme(CAEvaluationContext& context, int32_t mode, bool largest) {
  if (largest)
    return Folded(context, mode, ListAggregate::kLargest,
                  [](const ListAggregate& operands) { return operands.largest(); });
  return Folded(context, mode, ListAggregate::kSmallest,
                [](const ListAggregate& operands) { return operands.smallest(); });
}

// A population without values has variance 0; a sample without values is error 7, which the
// list leaves set.
CAFunctionResult Variance(CAEvaluationContext& context, int32_t mode, bool sample,
                          bool squareRoot) {
  std::optional<CAOperandArray> operands =
      sample ? CreateOperandArray(context, mode) : ReadListAllowingNone(context, mode);
  if (!operands) return std::nullopt;
  return Deliver(context, squareRoot ? StandardDeviationCore(*operands, sample)
                                     : VarianceCore(*operands, sample));
}

CAFunctionResult Ordered(CAEvaluationContext& context, bool largest) {
  const GridRange range = RangeTopOfStack(context);
  if (context.error) return std::nullopt;
  const std::optional<CANumber> n = NumericTopOfStackCore(context);
  if (!n) return std::nullopt;
  const std::optional<CAOperandArray> sorted = CreateSortedOperandArrayFromRange(context, range);
  if (!sorted) return std::nullopt;
  const int64_t position = n->integerValue();
  return Deliver(context, largest ? LargeCore(*sorted, position) : SmallCore(*sorted, position));
}

}  // namespace

CAFunctionResult AverageFunction(CAEvaluationContext& context) {
  return Mean(context, kOperandNumbersOnly);
}

CAFunctionResult AverageaFunction(CAEvaluationContext& context) {
  return Mean(context, kOperandAllValues);
}

CAFunctionResult CombinFunction(CAEvaluationContext& context) {
  const auto arguments = ReadNumbers<2>(context);
  if (!arguments) return std::nullopt;
  return Deliver(context, CombinCore((*arguments)[0], (*arguments)[1]));
}

CAFunctionResult CountFunction(CAEvaluationContext& context) {
  return Count(context, kOperandNumbersOnly);
}

CAFunctionResult CountblankFunction(CAEvaluationContext& context) {
  return Count(context, kOperandBlankCount);
}

CAFunctionResult LargeFunction(CAEvaluationContext& context) { return Ordered(context, true); }

CAFunctionResult MaxFunction(CAEvaluationContext& context) {
  return Extreme(context, kOperandNumbersOnly, true);
}

CAFunctionResult MaxaFunction(CAEvaluationContext& context) {
  return Extreme(context, kOperandNumbersAndChecks, true);
}

CAFunctionResult MedianFunction(CAEvaluationContext& context) {
  const std::optional<CAOperandArray> operands =
      ReadListAllowingNone(context, kOperandNumbersOnly);
  if (!operands) return std::nullopt;
  return MedianCore(*operands);
}

CAFunctionResult MinFunction(CAEvaluationContext& context) {
  return Extreme(context, kOperandNumbersOnly, false);
}

CAFunctionResult MinaFunction(CAEvaluationContext& context) {
  return Extreme(context, kOperandNumbersAndChecks, false);
}

CAFunctionResult ModeFunction(CAEvaluationContext& context) {
  const std::optional<CAOperandArray> operands = CreateOperandArray(context, kOperandNumbersOnly);
  if (!operands) return std::nullopt;  // no values stays error 7
  return Deliver(context, ModeCore(*operands));
}

CAFunctionResult PermutFunction(CAEvaluationContext& context) {
  const auto arguments = ReadNumbers<2>(context);
  if (!arguments) return std::nullopt;
  return Deliver(context, PermutCore((*arguments)[0], (*arguments)[1]));
}

CAFunctionResult SmallFunction(CAEvaluationContext& context) { return Ordered(context, false); }

CAFunctionResult StdevPFunction(CAEvaluationContext& context) {
  return Variance(context, kOperandNumbersOnly, false, true);
}

// Numbers only, as VAR.S: the standard deviation stays the square root of the variance over the
// same cells (checkboxes count in STDEVA).
CAFunctionResult StdevSFunction(CAEvaluationContext& context) {
  return Variance(context, kOperandNumbersOnly, true, true);
}

CAFunctionResult StdevaFunction(CAEvaluationContext& context) {
  return Variance(context, kOperandAllValues, true, true);
}

CAFunctionResult StdevpaFunction(CAEvaluationContext& context) {
  return Variance(context, kOperandAllValues, false, true);
}

CAFunctionResult VarPFunction(CAEvaluationContext& context) {
  return Variance(context, kOperandNumbersOnly, false, false);
}

CAFunctionResult VarSFunction(CAEvaluationContext& context) {
  return Variance(context, kOperandNumbersOnly, true, false);
}

CAFunctionResult VaraFunction(CAEvaluationContext& context) {
  return Variance(context, kOperandAllValues, true, false);
}

CAFunctionResult VarpaFunction(CAEvaluationContext& context) {
  return Variance(context, kOperandAllValues, false, false);
}
