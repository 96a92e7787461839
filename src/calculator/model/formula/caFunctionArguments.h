// What every handler family does with its arguments and outcome: reads fixed numbers of numbers
// in written order, reads lists with an operand mode, and turns a core's result into the
// handler's (an error goes to the context, a value is returned).
#pragma once

#include <array>
#include <optional>

#include "calculator/model/formula/CAEvalContext.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFunctionCores.h"
#include "calculator/model/formula/caOperands.h"

// The next N arguments as numbers; nothing with the context's error set when one cannot be read.
template <size_t N>
std::optional<std::array<CANumber, N>> ReadNumbers(CAEvaluationContext& context) {
  std::array<CANumber, N> numbers;
  for (CANumber& number : numbers) {
    std::optional<CANumber> value = NumericTopOfStackCore(context);
    if (!value) return std::nullopt;
    number = *value;
  }
  return numbers;
}

// An optional trailing argument: nothing when none is left; on a read error the context's error
// is set and *failed becomes YES.
inline std::optional<CANumber> ReadOptionalNumber(CAEvaluationContext& context, bool* failed) {
  *failed = false;
  if (context.arguments.empty()) return std::nullopt;
  std::optional<CANumber> value = NumericTopOfStackCore(context);
  *failed = !value;
  return value;
}

// A list that may be empty: "no values" (error 7) is cleared and gives an empty list; any other
// error gives nothing.
inline std::optional<CAOperandArray> ReadListAllowingNone(CAEvaluationContext& context,
                                                          int32_t mode) {
  std::optional<CAOperandArray> operands = CreateOperandArray(context, mode);
  if (operands) return operands;
  if (context.error != kFormulaErrorNotAvailable) return std::nullopt;
  context.error = 0;
  return CAOperandArray();
}

inline std::optional<CANumber> Deliver(CAEvaluationContext& context, const FunctionResult& result) {
  if (result.error) {
    context.error = result.error;
    return std::nullopt;
  }
  return result.value;
}
