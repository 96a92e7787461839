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
// The word size in bits of the integers of the programmer's calculator (16, 32 or 64).
int CalculatorWordSize();
