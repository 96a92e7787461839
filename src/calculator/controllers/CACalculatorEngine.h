// The working of a stack calculator without its window: the text being typed (the accumulator),
// the stack of exact numbers, the memory shared by every calculator, typed characters and
// pasted text turned into keys, and the stack kept in the user defaults between runs. The
// standard and programmer's engines decide what each function does and how numbers show.
#pragma once

#include "calculator/model/CANumber.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class UserDefaults;

// An integer of the calculator's word size: truncated, and wrapped to the word as a machine
// word is (its high bit the sign).
void MakeCalculatorInteger(CANumber& number);

class CACalculatorEngine {
 public:
  CACalculatorEngine() = default;
  virtual ~CACalculatorEngine() = default;
  CACalculatorEngine(const CACalculatorEngine&) = delete;
  CACalculatorEngine& operator=(const CACalculatorEngine&) = delete;

  // ---- What each calculator decides
  // Runs a function code; false when it is refused (the engine has beeped unless said).
  virtual bool executeFunction(int code, bool flash) = 0;
  // Takes a digit 0-15 or the decimal point (-1); false when refused.
  virtual bool enterDigit(int digit, bool flash) = 0;
  virtual QString formatNumber(const CANumber& number) const = 0;
  virtual QString stackPrefKey() const = 0;
  // Return and keypad Enter enter the typed number.
  virtual bool entersOnReturn() const { return false; }
  // Whether numbers show, and so paste, as decimal text in the locale's syntax.
  virtual bool showsDecimalNumbers() const { return true; }
  // The decimal digits of the display changed.
  virtual void changeFloatDigits();

  // ---- Keys and text
  // A typed character: digits, hexadecimal letters, the point and the operator characters.
  // Anything else, or a key that is refused, beeps and answers false.
  bool handleCharacter(char16_t character);
  // Enters the pasted text as a number. A decimal number of at most 100 characters is read whole
  // by the sheet's number reader, as a cell typed in the locale reads it; text it does not read
  // whole, or a longer one, beeps and enters nothing. In bases 2, 8 and 16 the first 100
  // characters are typed as digits, skipping white space, negative when a minus starts them;
  // beeps when not every character was taken.
  void paste(const QString& text);

  // ---- State
  const QList<CANumber>& stack() const { return stack_; }  // entry 0 is the top
  void setStack(const QList<CANumber>& stack) { stack_ = stack; }
  const QString& accumulator() const { return accumulator_; }
  bool accumulating() const { return accumulating_; }
  bool isInteger() const { return isInteger_; }
  // What the display shows: the accumulator, or the text of a refused result.
  const QString& displayText() const { return displayText_; }
  bool showsError() const { return showsError_; }

  // The memory every calculator window shares for the process's life.
  static const CANumber& memory();
  static void setMemory(const CANumber& number);

  // ---- Persistence
  // Reads the stack (top first, unreadable entries skipped) and, the first time in the
  // process, the shared memory (zero when missing or unreadable).
  void load(UserDefaults& defaults);
  // Writes the stack (or removes its key when empty) and the shared memory.
  void save(UserDefaults& defaults) const;
  // Forgets that the shared memory was loaded (tests start each case afresh).
  static void resetSharedMemory();

  // ---- Window hooks
  std::function<void()> onDisplayChanged;
  std::function<void()> onStackChanged;
  // The key of a digit (isDigit) or a function code, to be highlighted briefly.
  std::function<void(bool isDigit, int code)> onFlash;

  // Puts the top of the stack (zero when empty) into the accumulator unless a number is
  // being typed, and shows it.
  void loadAccumulator();
  void displayAccumulator();
  // Enters the number being typed, if any.
  void autoEnter();

 protected:
  // Both entries must be valid; entry 1 becomes entry 1 op entry 0 and entry 0 goes. In integer
  // mode both operands and the result are integers of the word size. A result that is not a
  // number (division by zero) is refused: the operands stay and the display shows the error.
  bool executeBinaryFunction(void (CANumber::*operation)(const CANumber&));
  bool executeUnaryFunction(void (CANumber::*operation)());
  // Shows the text of an invalid result until the next key, and beeps.
  void showError(const CANumber& invalid);
  // Appends a digit or the point to the accumulator, starting a new number first if needed.
  void appendDigit(int digit);
  // Removes the last typed character; false when there is none.
  bool deleteLastCharacter();
  void clearEntry();
  void flash(bool isDigit, int code, bool asked);
  // The number Enter takes: the one pasted, if any, else the accumulator as `read` reads it.
  std::optional<CANumber> takeEnteredNumber(const std::function<std::optional<CANumber>(const QString&)>& read);
  void stackChanged();
  void setInteger(bool integer) { isInteger_ = integer; }
  static void beep();

  QList<CANumber> stack_;
  QString accumulator_;
  bool accumulating_ = false;

 private:
  void setDisplay(const QString& text, bool error);
  void pasteDecimalNumber(const QString& text);
  void pasteDigits(const QString& text);

  bool isInteger_ = false;
  QString displayText_;
  bool showsError_ = false;
  // A pasted number, read whole, waiting for the Enter that the paste runs.
  std::optional<CANumber> pasted_;
};

// The digit of a typed character ("0"-"9", "a"-"f", "A"-"F", "." and the locale's decimal
// separator as -1), or none.
std::optional<int> CalculatorDigitForCharacter(char16_t character);
// The function code of a typed operator character, or none.
std::optional<int> CalculatorFunctionForCharacter(char16_t character);
