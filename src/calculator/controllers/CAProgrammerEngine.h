// The programmer's calculator: reverse Polish order (Enter pushes, operators act on what is
// already on the stack), integers of the preference word size shown in base 2, 8, 10 or 16,
// or decimal floating numbers, with bitwise functions and recall of any stack entry.
#pragma once

#include "calculator/controllers/CACalculatorEngine.h"

// The bases "numlet-pcBase" indexes; 100 is decimal floating.
inline constexpr int kDecimalFloatingBase = 100;
inline constexpr int kProgrammerBases[] = {2, 8, 10, 16, kDecimalFloatingBase};
inline constexpr int kDefaultProgrammerBaseIndex = 2;

class CAProgrammerEngine : public CACalculatorEngine {
 public:
  CAProgrammerEngine();

  bool executeFunction(int code, bool flash) override;
  bool enterDigit(int digit, bool flash) override;
  QString formatNumber(const CANumber& number) const override;
  QString stackPrefKey() const override;
  bool entersOnReturn() const override { return true; }
  void changeFloatDigits() override;
  bool showsDecimalNumbers() const override { return base_ == 10 || base_ == kDecimalFloatingBase; }

  // Index 0-4 into kProgrammerBases; any other index is taken as the default (decimal).
  void changeBase(int64_t index);
  int base() const { return base_; }
  bool usesOctalDigits() const { return usesOctalDigits_; }
  bool usesDecimalDigits() const { return usesDecimalDigits_; }
  bool usesHexDigits() const { return usesHexDigits_; }
  bool allowsDigit(int digit) const;
  // The word size changed: the numbers show again in it.
  void setWordSize();
  // Brings stack entry index - 1 to the top (index 1 is the top itself); 0 names no entry.
  void recall(int index);
  // The stack list: each entry's text, top first.
  QStringList stackTexts() const;

  static bool hasKeyForFunction(int code);

 private:
  bool runFunction(int code);
  bool executeIntegerFunction(int code);

  int base_ = 10;
  bool usesOctalDigits_ = true;
  bool usesDecimalDigits_ = true;
  bool usesHexDigits_ = false;
};
