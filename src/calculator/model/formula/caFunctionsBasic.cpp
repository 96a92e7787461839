#include "calculator/model/formula/caFunctionsBasic.h"

#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caOperands.h"
#include "calculator/model/formula/caStatisticsCores.h"

namespace {

// The list functions read "no values" (error 7) as an empty list.
bool TakeNoValues(CAEvaluationContext& context) {
  if (context.error != kFormulaErrorNotAvailable) return false;
  context.error = 0;
  return true;
}

}  // namespace

std::optional<CANumber> SumFunction(CAEvaluationContext& context) {
  ListAggregate operands(ListAggregate::kSum);
  if (!AggregateOperands(context, kOperandNumbersOnly, operands))
    return TakeNoValues(context) ? std::optional(CANumber()) : std::nullopt;
  return operands.sum();
}

std::optional<CANumber> CountaFunction(CAEvaluationContext& context) {
  ListAggregate operands(ListAggregate::kCount);
  if (!AggregateOperands(context, kOperandNonEmptyCount, operands))
    return TakeNoValues(context) ? std::optional(CANumber()) : std::nullopt;
  return CountNumber(operands.count());
}
