// The preferences the calculator windows read and change: the decimal digits of their displays
// and the colours of their keys and background. The preferences controller owns them; it
// installs a source and a sink at launch. Without them (tests, tools) a process-wide copy
// with the registered defaults is used.
#pragma once

#include "framlet/foundation/Kolor.h"

#include <cstdint>
#include <functional>

struct CACalculatorPreferences {
  int64_t decimalDigits = 2;      // numlet.calcDigits
  int64_t wordSize = 64;          // numlet.calcWordSize
  Kolor buttonKolor = kNoKolor;   // numlet.calcButtonColor
  Kolor backKolor = kNoKolor;     // numlet.calcBackColor
};

struct CACalculatorPreferenceHooks {
  std::function<CACalculatorPreferences()> read;
  std::function<void(const CACalculatorPreferences&)> write;
};
void SetCalculatorPreferenceHooks(CACalculatorPreferenceHooks hooks);

CACalculatorPreferences CalculatorPreferences();
void SetCalculatorPreferences(const CACalculatorPreferences& preferences);
// The word sizes the programmer's calculator offers, in bits.
inline constexpr int kCalculatorWordSizes[] = {8, 16, 32, 64};
// The word size in bits of the integers of the programmer's calculator: one of those above,
// 64 for any other stored value.
int CalculatorWordSize();
