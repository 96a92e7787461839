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
  // Completes the operation waiting for its second operand. A percentage that no further number
  // followed is taken as desk calculators take it: after + or - it is that percentage of the
  // first operand (50+10% is 55), after * or / and alone the number over 100 (200*10% is 20,
  // 10% is 0.1); a number typed after it still takes the percentage of that number.
  bool completePending();
  // Entry 0 becomes the percentage that pending operator applies, as above.
  bool takePercentage(int pending);
  // Shows at once what the percentage comes to, as desk calculators do, while the calculation
  // stays open for a number typed next.
  bool showPercentage();

  int pendingFunction_ = kFunctionNone;
  bool pendingPercent_ = false;
};
