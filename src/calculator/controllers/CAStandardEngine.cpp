#include "calculator/controllers/CAStandardEngine.h"

#include "calculator/controllers/caCalculatorPreferences.h"
#include "calculator/model/CANumberFormat.h"
#include "framlet/foundation/flBase.h"

bool CAStandardEngine::hasKeyForFunction(int code) {
  switch (code) {
    case kFunctionAdd:
    case kFunctionDivide:
    case kFunctionMultiply:
    case kFunctionSubtract:
    case kFunctionRecall:
    case kFunctionStore:
    case kFunctionClearEntry:
    case kFunctionEquals:
    case kFunctionPercent:
      return true;
    default:
      return false;
  }
}

QString CAStandardEngine::stackPrefKey() const { return QLatin1String(kStandardCalcStackKey); }

QString CAStandardEngine::formatNumber(const CANumber& number) const {
  CANumberFormat format;
  format.setDisplay(kDisplayFloat);
  format.setGroupThousands(true);
  format.setSize(CalculatorPreferences().decimalDigits);
  return number.formatWith(&format);
}

bool CAStandardEngine::enterDigit(int digit, bool flash) {
  if (digit > 9 || digit < kDecimalPointDigit) return false;
  if (digit == kDecimalPointDigit && accumulating_ &&
      accumulator_.contains(NumberTextLocale().decimalSeparatorChar)) {
    return false;
  }
  this->flash(true, digit, flash);
  appendDigit(digit);
  return true;
}

bool CAStandardEngine::executeFunction(int code, bool flash) {
  if (hasKeyForFunction(code)) this->flash(false, code, flash);
  if (code != kFunctionEnter && code != kFunctionDelete && code != kFunctionClearEntry) {
    if (code == kFunctionPercent && pendingFunction_ != kFunctionNone) {
      autoEnter();
      if (stack_.size() == 2) {
        pendingPercent_ = true;
      } else {
        pendingFunction_ = kFunctionPercent;
      }
      return showPercentage();
    }
    // An operator key first completes the operation waiting for it.
    autoEnter();
    if (!completePending()) return false;
  }
  if (!runFunction(code)) {
    beep();
    return false;
  }
  if (code == kFunctionPercent && pendingFunction_ == kFunctionPercent) return showPercentage();
  loadAccumulator();
  return true;
}

bool CAStandardEngine::completePending() {
  if (pendingFunction_ == kFunctionPercent && stack_.size() == 1) {
    pendingFunction_ = kFunctionNone;
    return takePercentage(kFunctionPercent);
  }
  if (stack_.size() < 2 || pendingFunction_ == kFunctionNone) return true;
  const int pending = pendingFunction_;
  pendingFunction_ = kFunctionNone;
  if (pendingPercent_) {
    pendingPercent_ = false;
    if (stack_.size() >= 3) {
      if (!executeFunction(kFunctionPercent, false)) return false;
    } else if (!takePercentage(pending)) {
      return false;
    }
  }
  return executeFunction(pending, false);
}

bool CAStandardEngine::takePercentage(int pending) {
  const bool ofFirstOperand = pending == kFunctionAdd || pending == kFunctionSubtract;
  if (stack_.isEmpty() || !stack_[0].isValid() || (ofFirstOperand && !stack_[1].isValid())) {
    beep();
    return false;
  }
  CANumber percentage = stack_[0];
  if (ofFirstOperand) percentage.multiply(stack_[1]);
  percentage.multiply(CANumber::withNumerator(1, 100));
  stack_[0] = percentage;
  return true;
}

bool CAStandardEngine::showPercentage() {
  const QList<CANumber> stack = stack_;
  const int pending = pendingFunction_;
  const bool percent = pendingPercent_;
  const bool completed = completePending();
  const CANumber result = stack_.isEmpty() ? CANumber() : stack_.first();
  stack_ = stack;
  pendingFunction_ = pending;
  pendingPercent_ = percent;
  if (!completed) return false;  // the error shows and has beeped
  accumulator_ = formatNumber(result);
  displayAccumulator();
  return true;
}

bool CAStandardEngine::runFunction(int code) {
  const qsizetype n = stack_.size();
  switch (code) {
    case kFunctionAdd:
    case kFunctionDivide:
    case kFunctionMultiply:
    case kFunctionSubtract: {
      if (n == 1) {
        pendingFunction_ = code;
        return true;
      }
      static void (CANumber::*const kOperations[])(const CANumber&) = {&CANumber::add, &CANumber::divide,
                                                                       &CANumber::multiply, &CANumber::subtract};
      return executeBinaryFunction(kOperations[code]);
    }
    case kFunctionRecall:
      if (pendingFunction_ == kFunctionNone) stack_.clear();
      stack_.prepend(memory().copy());
      accumulator_.clear();
      accumulating_ = false;
      return true;
    case kFunctionStore:
      if (stack_.isEmpty()) return false;
      setMemory(stack_[0]);
      return true;
    case kFunctionEnter: {
      if (pendingFunction_ == kFunctionNone) {
        stack_.clear();
        pendingPercent_ = false;
      }
      accumulating_ = false;
      const std::optional<CANumber> number =
          takeEnteredNumber([](const QString& typed) { return CANumber::withValidatedString(typed, false); });
      if (!number) return false;
      stack_.prepend(*number);
      return true;
    }
    case kFunctionDelete:
      if (!accumulating_) return runFunction(kFunctionClearEntry);
      deleteLastCharacter();
      return true;
    case kFunctionChangeSign:
      return executeUnaryFunction(&CANumber::changeSign);
    case kFunctionClearEntry:
      clearEntry();
      return true;
    case kFunctionReciprocal:
      return executeUnaryFunction(&CANumber::invert);
    case kFunctionSquareRoot:
      return executeUnaryFunction(&CANumber::squareRoot);
    case kFunctionAllClear:
      stack_.clear();
      pendingFunction_ = kFunctionNone;
      pendingPercent_ = false;
      return runFunction(kFunctionClearEntry);
    case kFunctionEquals:
      return true;
    case kFunctionMemoryAdd:
      return executeMemoryFunction(&CANumber::add);
    case kFunctionMemoryClear:
      setMemory(CANumber());
      return true;
    case kFunctionMemorySubtract:
      return executeMemoryFunction(&CANumber::subtract);
    case kFunctionPercent:
      if (n == 1) {
        pendingFunction_ = kFunctionPercent;
        return true;
      }
      return percent();
    case kFunctionDrop:
      return false;
    default:
      LogString(kUnknownFunctionMessage);
      return false;
  }
}

bool CAStandardEngine::percent() {
  if (stack_.size() < 2 || !stack_[0].isValid() || !stack_[1].isValid()) return false;
  CANumber y = stack_[1];
  y.multiply(stack_[0]);
  y.multiply(CANumber::withNumerator(1, 100));
  stack_.removeFirst();
  stack_[0] = y;
  return true;
}

bool CAStandardEngine::executeMemoryFunction(void (CANumber::*operation)(const CANumber&)) {
  if (stack_.isEmpty() || !stack_[0].isValid() || !memory().isValid()) return false;
  CANumber result = memory();
  (result.*operation)(stack_[0]);
  setMemory(result);
  return true;
}
