#include "calculator/controllers/CACalculatorEngine.h"

#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/controllers/caCalculatorPreferences.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/caModelServices.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flStringExtensions.h"
#include "platform/UserDefaults.h"

#include <cmath>
#include <optional>

namespace {

struct SharedMemory {
  CANumber number;
  bool loaded = false;
};

SharedMemory& Memory() {
  static SharedMemory memory;
  return memory;
}

}  // namespace

std::optional<int> CalculatorDigitForCharacter(char16_t character) {
  if (character >= u'0' && character <= u'9') return int(character - u'0');
  if (character >= u'a' && character <= u'f') return int(character - u'a') + 10;
  if (character >= u'A' && character <= u'F') return int(character - u'A') + 10;
  // The display shows the locale's point, and a keypad types it; "." stays the point everywhere.
  if (character == u'.' || character == NumberTextLocale().decimalSeparatorChar) return kDecimalPointDigit;
  return std::nullopt;
}

std::optional<int> CalculatorFunctionForCharacter(char16_t character) {
  switch (character) {
    case u'+': return kFunctionAdd;
    case u'/': return kFunctionDivide;
    case u'*':
    case u'x':
    case u'X': return kFunctionMultiply;
    case u'-': return kFunctionSubtract;
    case u'&': return kFunctionAnd;
    case u'~': return kFunctionNot;
    case u'|': return kFunctionOr;
    case u'=': return kFunctionEquals;
    case u'%': return kFunctionPercent;
    default: return std::nullopt;
  }
}

const CANumber& CACalculatorEngine::memory() { return Memory().number; }

void CACalculatorEngine::setMemory(const CANumber& number) { Memory().number = number.copy(); }

void CACalculatorEngine::resetSharedMemory() { Memory() = SharedMemory(); }

void CACalculatorEngine::beep() { WorkspaceBeep(); }

// ---- Keys and text -------------------------------------------------------------------------

bool CACalculatorEngine::handleCharacter(char16_t character) {
  if (const std::optional<int> digit = CalculatorDigitForCharacter(character)) {
    if (enterDigit(*digit, true)) return true;
    beep();
    return false;
  }
  if (const std::optional<int> function = CalculatorFunctionForCharacter(character)) {
    return executeFunction(*function, true);  // a refused function has beeped
  }
  beep();
  return false;
}

void CACalculatorEngine::paste(const QString& text) {
  if (showsDecimalNumbers())
    pasteDecimalNumber(text);
  else
    pasteDigits(text);
}

void CACalculatorEngine::pasteDecimalNumber(const QString& text) {
  // Passing over a mark wherever it stands would make 314 of a German "3.14" and 125 of an
  // English "0,125": the number is what a cell given the text holds, or nothing. A paste takes a
  // hundred characters at most, and a number longer than that is not cut to another one.
  std::optional<CANumber> number;
  if (cleanUp(text, false, false).size() <= kMaxPastedCharacters) number = CANumber::withValidatedString(text, true);
  if (number && isInteger_) {
    CANumber exact = *number;
    exact.setCanonicalForm(false);
    // No point key takes a fraction here; a whole number past 64 bits wraps as typed digits do.
    const bool whole = exact.form() == kNumberInteger ||
                       (exact.form() == kNumberReal && exact.realValue() == std::floor(exact.realValue()));
    if (!whole) number.reset();
  }
  if (!number) {
    beep();
    return;
  }
  // Entered as if typed, though no key could type all it holds (a currency sign, groups).
  accumulator_.clear();
  accumulating_ = true;
  pasted_ = *number;
  executeFunction(kFunctionEnter, true);
  pasted_.reset();
}

std::optional<CANumber> CACalculatorEngine::takeEnteredNumber(
    const std::function<std::optional<CANumber>(const QString&)>& read) {
  if (pasted_) {
    std::optional<CANumber> number = std::move(pasted_);
    pasted_.reset();
    return number;
  }
  return read(accumulator_);
}

void CACalculatorEngine::pasteDigits(const QString& text) {
  // A text that holds no digit ("-", blanks) is no number: Enter must not run on what was
  // there before (it would repeat the top entry), so it all goes back as it was.
  const QString typedBefore = accumulator_;
  const bool accumulatingBefore = accumulating_;
  accumulating_ = false;
  // Digits of a base other than ten are grouped by blanks, which are passed over, and a minus may
  // start them, so that the display pastes back as the number shown.
  const qsizetype limit = std::min<qsizetype>(text.size(), kMaxPastedCharacters);
  qsizetype taken = 0;
  qsizetype digits = 0;
  bool negative = false;
  bool exponent = false;
  for (qsizetype i = 0; i < limit; ++i) {
    const char16_t character = text[i].unicode();
    const bool minus = character == u'-' || character == u'\u2212';
    if (TypeOfChar(character) == kCharClassSpace) {
      ++taken;
    } else if (minus && !accumulating_ && !negative) {
      negative = true;
      ++taken;
    } else if (exponent && accumulator_.endsWith(QLatin1Char('E')) && (minus || character == u'+')) {
      accumulator_.append(minus ? QLatin1Char('-') : QLatin1Char('+'));
      ++taken;
    } else if (const std::optional<int> digit = CalculatorDigitForCharacter(character)) {
      if (enterDigit(*digit, true)) {
        ++taken;
        if (*digit != kDecimalPointDigit) ++digits;
      } else if (*digit == 14 && accumulating_ && !isInteger_ && !exponent) {
        // Where "E" is no digit it starts the exponent of a number too large or small to show
        // in full.
        exponent = true;
        accumulator_.append(QLatin1Char('E'));
        ++taken;
      }
    }
  }
  if (digits == 0) {
    const bool shownChanged = accumulator_ != typedBefore;
    accumulator_ = typedBefore;
    accumulating_ = accumulatingBefore;
    if (shownChanged) displayAccumulator();
    beep();
    return;
  }
  if (taken != text.size()) beep();
  if (negative && accumulating_) accumulator_.prepend(QLatin1Char('-'));
  executeFunction(kFunctionEnter, true);
}

// ---- Display -------------------------------------------------------------------------------

void CACalculatorEngine::setDisplay(const QString& text, bool error) {
  displayText_ = text;
  showsError_ = error;
  if (onDisplayChanged) onDisplayChanged();
}

void CACalculatorEngine::loadAccumulator() {
  if (!accumulating_) accumulator_ = formatNumber(stack_.isEmpty() ? CANumber() : stack_.first());
  displayAccumulator();
}

void CACalculatorEngine::displayAccumulator() {
  if (accumulator_.isEmpty()) accumulator_ = formatNumber(CANumber());
  setDisplay(accumulator_, false);
}

void CACalculatorEngine::showError(const CANumber& invalid) { setDisplay(invalid.formatWith(nullptr), true); }

void CACalculatorEngine::autoEnter() {
  if (accumulating_) executeFunction(kFunctionEnter, false);
}

void CACalculatorEngine::changeFloatDigits() {
  autoEnter();
  loadAccumulator();
  stackChanged();
}

void CACalculatorEngine::flash(bool isDigit, int code, bool asked) {
  if (asked && onFlash) onFlash(isDigit, code);
}

void CACalculatorEngine::stackChanged() {
  if (onStackChanged) onStackChanged();
}

void CACalculatorEngine::appendDigit(int digit) {
  if (!accumulating_) {
    accumulator_.clear();
    accumulating_ = true;
  }
  if (digit == kDecimalPointDigit) {
    accumulator_.append(NumberTextLocale().decimalSeparatorChar);
  } else {
    accumulator_.append(QLatin1Char("0123456789ABCDEF"[digit]));
  }
  displayAccumulator();
}

bool CACalculatorEngine::deleteLastCharacter() {
  if (accumulator_.isEmpty()) return false;
  accumulator_.chop(1);
  displayAccumulator();
  return true;
}

void CACalculatorEngine::clearEntry() {
  accumulator_.clear();
  accumulating_ = false;
  displayAccumulator();
}

// ---- Operations ----------------------------------------------------------------------------

void MakeCalculatorInteger(CANumber& number) {
  const int wordSize = CalculatorWordSize();
  number.makeInteger(wordSize);
  // The number's own word step knows 16 and 32 bits; a byte wraps the same way, its high bit
  // the sign.
  if (wordSize == 8 && number.isValid()) number = CANumber(int64_t(int8_t(uint8_t(number.integerValue()))));
}

namespace {

// Integers of the word size wrap as the machine's words do. The number's own arithmetic turns a
// result beyond 64 bits into a real, which would then stick at the largest word; the low 64 bits
// of the two's-complement result hold every smaller word's result as well.
std::optional<CANumber> WrappedIntegerResult(void (CANumber::*operation)(const CANumber&), const CANumber& y,
                                             const CANumber& x) {
  const uint64_t a = uint64_t(y.integerValue());
  const uint64_t b = uint64_t(x.integerValue());
  if (operation == &CANumber::add) return CANumber(int64_t(a + b));
  if (operation == &CANumber::subtract) return CANumber(int64_t(a - b));
  if (operation == &CANumber::multiply) return CANumber(int64_t(a * b));
  // The one quotient of words that leaves the word is the lowest word's by -1: it wraps to the
  // lowest word as its negation does. Division by zero is left to the number, which fails it.
  if (operation == &CANumber::divide && int64_t(b) == -1) return CANumber(int64_t(0 - a));
  return std::nullopt;
}

}  // namespace

bool CACalculatorEngine::executeBinaryFunction(void (CANumber::*operation)(const CANumber&)) {
  if (stack_.size() < 2 || !stack_[0].isValid() || !stack_[1].isValid()) return false;
  CANumber x = stack_[0];
  CANumber y = stack_[1];
  if (isInteger_) {
    MakeCalculatorInteger(x);
    MakeCalculatorInteger(y);
  }
  if (const std::optional<CANumber> wrapped = isInteger_ ? WrappedIntegerResult(operation, y, x) : std::nullopt)
    y = *wrapped;
  else
    (y.*operation)(x);
  if (!y.isValid()) {
    showError(y);
    return false;
  }
  if (isInteger_) MakeCalculatorInteger(y);
  stack_.removeFirst();
  stack_[0] = y;
  return true;
}

bool CACalculatorEngine::executeUnaryFunction(void (CANumber::*operation)()) {
  if (stack_.isEmpty() || !stack_[0].isValid()) return false;
  CANumber x = stack_[0];
  if (isInteger_ && operation == &CANumber::changeSign) {
    MakeCalculatorInteger(x);
    x = CANumber(int64_t(0 - uint64_t(x.integerValue())));  // the lowest word is its own negation
  } else
    (x.*operation)();
  if (!x.isValid()) {
    showError(x);
    return false;
  }
  if (isInteger_) MakeCalculatorInteger(x);
  stack_[0] = x;
  return true;
}

// ---- Persistence ---------------------------------------------------------------------------

void CACalculatorEngine::load(UserDefaults& defaults) {
  stack_.clear();
  for (const QVariant& entry : defaults.arrayForKey(stackPrefKey())) {
    if (const std::optional<CANumber> number = CANumber::withArchive(entry.toString())) stack_.append(*number);
  }
  SharedMemory& memory = Memory();
  if (!memory.loaded) {
    memory.loaded = true;
    const std::optional<CANumber> stored = CANumber::withArchive(defaults.stringForKey(QLatin1String(kCalcMemoryKey)));
    memory.number = stored ? *stored : CANumber();
  }
}

void CACalculatorEngine::save(UserDefaults& defaults) const {
  QStringList archives;
  for (const CANumber& number : stack_) archives.append(number.archive());
  if (archives.isEmpty()) {
    defaults.removeObjectForKey(stackPrefKey());
  } else {
    defaults.setObject(archives, stackPrefKey());
  }
  defaults.setString(memory().archive(), QLatin1String(kCalcMemoryKey));
}
