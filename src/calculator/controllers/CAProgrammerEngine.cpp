#include "calculator/controllers/CAProgrammerEngine.h"

#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/controllers/caCalculatorPreferences.h"
#include "calculator/model/CANumberFormat.h"
#include "framlet/foundation/flBase.h"

#include <limits>

CAProgrammerEngine::CAProgrammerEngine() { changeBase(kDefaultProgrammerBaseIndex); }

bool CAProgrammerEngine::hasKeyForFunction(int code) {
  switch (code) {
    case kFunctionAdd:
    case kFunctionDivide:
    case kFunctionMultiply:
    case kFunctionSubtract:
    case kFunctionRecall:
    case kFunctionStore:
    case kFunctionEnter:
      return true;
    default:
      return false;
  }
}

QString CAProgrammerEngine::stackPrefKey() const { return QLatin1String(kProgrammerCalcStackKey); }

void CAProgrammerEngine::changeBase(int64_t index) {
  if (index < 0 || index >= int64_t(std::size(kProgrammerBases))) index = kDefaultProgrammerBaseIndex;
  autoEnter();
  base_ = kProgrammerBases[index];
  usesOctalDigits_ = index != 0;
  usesDecimalDigits_ = base_ >= 10;
  usesHexDigits_ = base_ == 16;
  setInteger(base_ < 17);
  stackChanged();
  loadAccumulator();
}

void CAProgrammerEngine::setWordSize() {
  autoEnter();
  loadAccumulator();
  stackChanged();
}

void CAProgrammerEngine::changeFloatDigits() {
  if (isInteger()) return;
  CACalculatorEngine::changeFloatDigits();
}

QString CAProgrammerEngine::formatNumber(const CANumber& number) const {
  CANumberFormat format;
  switch (base_) {
    case 2: format.setDisplay(kDisplayBinary); break;
    case 8: format.setDisplay(kDisplayOctal); break;
    case 10: format.setDisplay(kDisplayInteger); break;
    case 16: format.setDisplay(kDisplayHex); break;
    default: format.setDisplay(kDisplayFloat); break;
  }
  format.setGroupThousands(true);
  // Integers show in the calculator's word size (the preference the number formats read too).
  format.setSize(isInteger() ? CalculatorWordSize() : CalculatorPreferences().decimalDigits);
  return number.formatWith(&format);
}

QStringList CAProgrammerEngine::stackTexts() const {
  QStringList texts;
  for (const CANumber& number : stack_) texts.append(formatNumber(number));
  return texts;
}

bool CAProgrammerEngine::allowsDigit(int digit) const {
  if (digit == kDecimalPointDigit) return !isInteger();
  if (digit == 0 || digit == 1) return true;
  if (digit >= 2 && digit <= 7) return usesOctalDigits_;
  if (digit == 8 || digit == 9) return usesDecimalDigits_;
  if (digit >= 10 && digit <= 15) return usesHexDigits_;
  return false;
}

bool CAProgrammerEngine::enterDigit(int digit, bool flash) {
  if (!allowsDigit(digit)) return false;
  if (digit == kDecimalPointDigit && accumulating_ &&
      accumulator_.contains(NumberTextLocale().decimalSeparatorChar)) {
    return false;
  }
  this->flash(true, digit, flash);
  appendDigit(digit);
  return true;
}

void CAProgrammerEngine::recall(int index) {
  if (index < 1 || index > stack_.size()) return;
  const CANumber taken = stack_.takeAt(index - 1);
  autoEnter();
  stack_.prepend(taken);
  stackChanged();
  loadAccumulator();
}

bool CAProgrammerEngine::executeFunction(int code, bool flash) {
  if (hasKeyForFunction(code)) this->flash(false, code, flash);
  if (code != kFunctionEnter && code != kFunctionDelete) autoEnter();
  if (code == kFunctionDelete && accumulating_ && accumulator_.isEmpty()) return false;  // no beep
  if (!runFunction(code)) {
    beep();
    return false;
  }
  stackChanged();
  loadAccumulator();
  return true;
}

bool CAProgrammerEngine::runFunction(int code) {
  switch (code) {
    case kFunctionEnter: {
      if (!accumulating_) {
        if (stack_.isEmpty()) return false;
        stack_.prepend(stack_[0].copy());
        return true;
      }
      accumulating_ = false;
      const int wordSize = CalculatorWordSize();
      std::optional<CANumber> number = takeEnteredNumber([this, wordSize](const QString& typed) {
        return isInteger() ? CANumber::withString(typed, base_, wordSize) : CANumber::withValidatedString(typed, false);
      });
      if (!number) return false;
      if (isInteger()) MakeCalculatorInteger(*number);
      stack_.prepend(*number);
      return true;
    }
    case kFunctionDelete:
      if (!accumulating_) return runFunction(kFunctionClearEntry);
      deleteLastCharacter();
      return true;
    case kFunctionAdd: return executeBinaryFunction(&CANumber::add);
    case kFunctionDivide: return executeBinaryFunction(&CANumber::divide);
    case kFunctionMultiply: return executeBinaryFunction(&CANumber::multiply);
    case kFunctionSubtract: return executeBinaryFunction(&CANumber::subtract);
    case kFunctionRecall:
      stack_.prepend(memory().copy());
      return true;
    case kFunctionStore:
      if (stack_.isEmpty()) return false;
      setMemory(stack_[0]);
      return true;
    case kFunctionDrop:
      if (stack_.isEmpty()) return false;
      stack_.removeFirst();
      return true;
    case kFunctionSwap:
      if (stack_.size() < 2) return false;
      stack_.swapItemsAt(0, 1);
      return true;
    case kFunctionChangeSign: return executeUnaryFunction(&CANumber::changeSign);
    case kFunctionClearEntry:
      clearEntry();
      return true;
    case kFunctionReciprocal: return executeUnaryFunction(&CANumber::invert);
    case kFunctionSquareRoot: return executeUnaryFunction(&CANumber::squareRoot);
    case kFunctionAnd:
    case kFunctionRemainder:
    case kFunctionOr:
    case kFunctionXor:
      return executeIntegerFunction(code);
    case kFunctionNot:
      if (stack_.isEmpty() || !stack_[0].isValid()) return false;
      stack_[0] = CANumber(~stack_[0].integerValue());
      return true;
    case kFunctionEquals:
      return false;
    default:
      LogString(kUnknownFunctionMessage);
      return false;
  }
}

bool CAProgrammerEngine::executeIntegerFunction(int code) {
  if (stack_.size() < 2 || !stack_[0].isValid() || !stack_[1].isValid()) return false;
  const int64_t x = stack_[0].integerValue();
  const int64_t y = stack_[1].integerValue();
  int64_t result = 0;
  switch (code) {
    case kFunctionAnd: result = y & x; break;
    case kFunctionOr: result = y | x; break;
    case kFunctionXor: result = y ^ x; break;
    case kFunctionRemainder:
      // The machine division traps on both; the operands stay and the display says why.
      if (x == 0 || (x == -1 && y == std::numeric_limits<int64_t>::min())) {
        showError(CANumber::asInf());
        return false;
      }
      result = y % x;
      break;
    default:
      LogString(kUnknownLogicalFunctionMessage);
      return false;
  }
  stack_.removeFirst();
  stack_[0] = CANumber(result);
  return true;
}
