// The arithmetic of the built-in functions, apart from how their handlers read arguments: pure
// functions on exact numbers, lists of numbers and day indexes, shared by every function family
// (caStatisticsCores.h, caMathCores.h, caDateCores.h).
#pragma once

#include <cstdint>

#include "calculator/model/CANumber.h"
#include "calculator/model/formula/caFormulaErrors.h"

// A function's outcome: when error is non-zero the value means nothing.
struct FunctionResult {
  CANumber value;
  uint32_t error = 0;

  FunctionResult() = default;
  FunctionResult(const CANumber& number) : value(number) {}  // NOLINT: a success converts
  static FunctionResult failure(int32_t code) {
    FunctionResult result;
    result.error = uint32_t(code);
    return result;
  }
  bool succeeded() const { return error == 0; }
};

// Truncates toward zero. Unlike makeInteger, a real beyond 64 bits (already a whole number)
// keeps its value instead of saturating; NaN and infinity are left alone.
void TruncateTowardZero(CANumber& number);
