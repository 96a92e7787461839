// The everyday calculator: operands and operators in the usual order, one operator pending
// until its second operand is complete, and the percent key's rules. Numbers show as decimals
// with grouped thousands and the calculators' number of decimal digits.
#pragma once

#include "calculator/controllers/CACalculatorEngine.h"
#include "calculator/controllers/caCalculatorConstants.h"

class CAStandardEngine : public CACalculatorEngine {
 public:
  bool executeFunction(int code, bool flash) override;
  bool enterDigit(int digit, bool flash) override;
  QString formatNumber(const CANumber& number) const override;
  QString stackPrefKey() const override;

  int pendingFunction() const { return pendingFunction_; }
  bool pendingPercent() const { return pendingPercent_; }

  // Whether a function code has a key in this calculator.
  static bool hasKeyForFunction(int code);

 private:
  bool runFunction(int code);
  bool executeMemoryFunction(void (CANumber::*operation)(const CANumber&));
  bool percent();

  int pendingFunction_ = kFunctionNone;
  bool pendingPercent_ = false;
};
