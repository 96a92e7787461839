// The formula evaluator: runs a parsed formula (postfix tokens) on a value stack of exact
// numbers, calling the built-in function handlers through the evaluation context, and turns
// every failure into a formula error code. A cell stores the outcome (CACell::evaluate).
#pragma once

#include "calculator/model/CANumber.h"
#include "calculator/model/formula/CAFormulaToken.h"

#include <cstdint>
#include <optional>

class CADocument;

struct CAExpressionOutcome {
  // A formula error code; 0 for a value.
  int32_t error = 0;
  // The value, as the run left it (not yet copied for storing); none on error.
  std::optional<CANumber> value;
  // kResultHintUnknown, kResultHintNumber or kResultHintDate: date when the last function run
  // was a date function, or a date cell was read before any function or operator decided.
  uint8_t resultHint = 0;
  bool volatileResult = false;
  // The offset of the failing token, when the failure was found while running a token; a
  // failure found only at the end (no value, values left over) leaves the cell's offset alone.
  std::optional<uint64_t> errorOffset;
};

// Runs the expression against the document's cells (null document: every reference is empty).
CAExpressionOutcome RunExpression(CADocument* document, CAExpressionView expression);

// The log line of a function whose handler is not part of this build; its formulas fail with
// error 11 ("<Value>") rather than show a wrong number.
inline constexpr const char* kFunctionNotAvailable = "Function not available: %s";
