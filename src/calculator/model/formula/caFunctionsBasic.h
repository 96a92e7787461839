// The two list functions the evaluator and recalculation are proven with: SUM (numbers only)
// and COUNTA (every cell with something in it). The other built-in handlers live with their
// families.
#pragma once

#include "calculator/model/formula/CAEvalContext.h"

#include <optional>

// SUM: the exact sum of the list (mode 4), starting from 0; no values: 0.
std::optional<CANumber> SumFunction(CAEvaluationContext& context);
// COUNTA: the number of list items (mode 1); no values: 0.
std::optional<CANumber> CountaFunction(CAEvaluationContext& context);
