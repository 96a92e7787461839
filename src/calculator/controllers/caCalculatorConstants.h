// What the three calculator windows share by name: their user-defaults keys, the notifications
// between them, and their messages. The function codes are the key view's.
#pragma once

#include "calculator/views/caCalculatorFunctions.h"

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

// The most characters a paste types.
inline constexpr int kMaxPastedCharacters = 100;
