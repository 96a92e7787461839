// The record the formula evaluator hands to every built-in function handler: the document whose
// cells references name, the function's arguments (last argument first), and what the handler
// reports back (error code, date hint, failing offset, volatile result).
#pragma once

#include "calculator/model/CANumber.h"
#include "calculator/model/formula/CAFormulaToken.h"
#include "calculator/model/formula/caFunctionTable.h"

#include <cstdint>
#include <vector>

class CADocument;

// One item of the evaluator's value stack and of a handler's argument list: either a value
// computed on the way (a literal's copy, an operator's or nested function's result) or a token
// of the formula being run: a reference, a number, a range, or on the value stack the "("
// operator that marks where a function's arguments begin. Tokens are borrowed from the cell's
// expression, which does not change while the cell is evaluated.
class CAOperand {
 public:
  explicit CAOperand(const CANumber& value) : value_(value) {}
  explicit CAOperand(const CAFormulaToken& token) : token_(&token) {}

  // A computed value has no token and no formula offset.
  bool isValue() const { return token_ == nullptr; }
  const CANumber& value() const { return value_; }
  CANumber& mutableValue() { return value_; }
  const CAFormulaToken* token() const { return token_; }
  // A computed value that is a date (a date function's result, or a date moved by days).
  bool isDate() const { return date_; }
  void setDate(bool date) { date_ = date; }
  // The token's kind (kTokenReference ...), or -1 for a computed value.
  int32_t kind() const { return token_ ? token_->type() : -1; }
  bool isMarker() const { return token_ && token_->isOperator(kOperatorOpen); }

 private:
  const CAFormulaToken* token_ = nullptr;
  CANumber value_;
  bool date_ = false;
};

using CAOperandList = std::vector<CAOperand>;

// The result hint: not yet known until a date cell is read or a function or operator decides.
inline constexpr uint8_t kResultHintUnknown = 23;
inline constexpr uint8_t kResultHintNumber = 0;
inline constexpr uint8_t kResultHintDate = 1;

struct CAEvaluationContext {
  CADocument* document = nullptr;
  // The function's arguments with the LAST argument at index 0 and the first at the end: a
  // handler takes them from the end (in written order) and must leave the list empty.
  CAOperandList arguments;
  // A formula error code (caFormulaErrors.h); 0 while all is well.
  uint32_t error = 0;
  uint8_t resultHint = kResultHintUnknown;
  // Offset in the formula text of the operand that caused the error; 0 when none is known.
  uint64_t failingIndex = 0;
  // Set by handlers whose result does not follow from their operands alone (today's date,
  // random numbers): the cell is then evaluated on every recalculation.
  uint8_t volatileResult = 0;
};
