// What the three calculator windows share by name: the function codes their keys, typed
// characters and key view send, their user-defaults keys and the notifications between them.
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

// User defaults.
inline constexpr const char* kStandardCalcStackKey = "numlet.standardCalcStack";
inline constexpr const char* kProgrammerCalcStackKey = "numlet.programmerCalcStack";
inline constexpr const char* kCalcMemoryKey = "numlet.calcMemory";
inline constexpr const char* kConverterUnitKey = "numlet.converterUnit";

// Posted by a calculator window whose decimal digits changed (object: its controller).
inline constexpr const char* kCalcDecimalChangeNotification = "numlet.calcDecimalChange";
// Posted by a calculator window whose colours changed (object: its controller).
inline constexpr const char* kCalcColorNotification = "numlet.calcColor";

inline constexpr const char* kUnknownFunctionMessage = "Unknown function";
inline constexpr const char* kUnknownLogicalFunctionMessage = "Unknown logical function";

// Help topics of the three windows.
inline constexpr int kStandardCalculatorHelpTopic = 31;
inline constexpr int kProgrammerCalculatorHelpTopic = 32;
inline constexpr int kConverterHelpTopic = 33;

// The most characters a paste types.
inline constexpr int kMaxPastedCharacters = 100;
