// The calculators' function codes: the tags of their keys and what their key view and typed
// characters send to the calculator window.
#pragma once

#include <cstdint>

// Function codes (a key's tag). Digits are 0-15 and the decimal point kDecimalPointDigit.
enum CACalculatorFunction : int32_t {
  kFunctionAdd = 0,
  kFunctionDivide = 1,
  kFunctionMultiply = 2,
  kFunctionSubtract = 3,
  kFunctionRecall = 4,
  kFunctionStore = 5,
  kFunctionEnter = 8,
  kFunctionDrop = 9,
  kFunctionSwap = 10,
  kFunctionDelete = 13,
  kFunctionChangeSign = 14,
  kFunctionClearEntry = 15,
  kFunctionReciprocal = 16,
  kFunctionSquareRoot = 17,
  kFunctionAnd = 20,
  kFunctionRemainder = 21,
  kFunctionNot = 22,
  kFunctionOr = 23,
  kFunctionXor = 24,
  kFunctionAllClear = 27,
  kFunctionEquals = 28,
  kFunctionMemoryAdd = 30,
  kFunctionMemoryClear = 31,
  kFunctionMemorySubtract = 32,
  kFunctionPercent = 33,
  kFunctionNone = 35,  // no operator pending
};
inline constexpr int32_t kDecimalPointDigit = -1;
