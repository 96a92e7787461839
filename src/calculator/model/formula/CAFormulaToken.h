// One token of a parsed formula: a cell reference, a range, a number, an operator or a built-in
// function. A cell keeps its formula both as the text typed and as these tokens in postfix
// order, which the evaluator runs on a value stack and reference adjustment rewrites.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/CANumber.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Operator codes, the index into g_operators.
enum : int32_t {
  kOperatorNone = 0,
  kOperatorAdd = 1,       // "+"
  kOperatorComma = 2,     // "," argument separator, never stored
  kOperatorDivide = 3,    // "/"
  kOperatorOpen = 4,      // "(" opening parenthesis; in an expression the argument marker
  kOperatorMultiply = 5,  // "*"
  kOperatorPower = 6,     // "^", right-associative
  kOperatorClose = 7,     // ")" never stored
  kOperatorSubtract = 8,  // "-"
  kOperatorNegate = 9,    // "~" unary minus, made by the parser, never typed
};

// Previous-token classes beyond the operator codes, used while scanning.
enum : int32_t {
  kTokenClassName = 11,
  kTokenClassNumber = 12,
  kTokenClassAbsoluteName = 13,
};

struct CAOperatorInfo {
  int32_t precedence;
  int32_t operandCount;
  const char* symbol;  // nullptr for the empty rows
};
inline constexpr int32_t kOperatorTableSize = 14;
extern const CAOperatorInfo g_operators[kOperatorTableSize];

// The derived kinds of a token (`type`).
enum : int32_t {
  kTokenReference = 0,
  kTokenFunction = 1,
  kTokenNumber = 2,
  kTokenOperator = 3,
  kTokenRange = 4,
};

// A token is 40 bytes: its literal, reference or range share one place, as a token is only ever
// one of them, and the index and codes are narrowed to what formulas hold. Cells keep their
// tokens in a few bytes each (CAFormulaBlock) and decode them into this form to read them.
class CAFormulaToken {
 public:
  // A range token {A1:A1}; use the factories.
  CAFormulaToken() = default;

  // Each logs "Invalid initializer" for 0, a point whose x is kGridNoPoint, or a range with
  // kGridNoPoint in a start or end x, and still makes the token.
  static CAFormulaToken withFunction(int32_t row);
  static CAFormulaToken withNumber(const CANumber& number);
  static CAFormulaToken withOperator(int32_t code);
  static CAFormulaToken withReference(const GridPoint& point);
  static CAFormulaToken withRange(const GridRange& range);

  // Tested in this order: function, operator, number, reference (a point), else range.
  int32_t type() const {
    if (function_ != 0) return kTokenFunction;
    if (operator_ != 0) return kTokenOperator;
    if (payload_ == kPayloadNumber) return kTokenNumber;
    if (payload_ == kPayloadPoint && value_.point.x != kGridNoPoint) return kTokenReference;
    return kTokenRange;
  }

  // Offset of the token's first character in the formula text ("=" is offset 0).
  uint64_t formulaIndex() const { return formulaIndex_; }
  void setFormulaIndex(uint64_t index) { formulaIndex_ = uint32_t(index); }
  int32_t function() const { return function_; }
  void setFunction(int32_t row) { function_ = int16_t(row); }
  int32_t operatorCode() const { return operator_; }
  void setOperator(int32_t code) { operator_ = int8_t(code); }
  // The literal of a number token.
  std::optional<CANumber> number() const {
    if (payload_ != kPayloadNumber) return std::nullopt;
    return value_.number;
  }
  // Plain or absolute coordinates exactly as typed; x is kGridNoPoint unless a reference.
  const GridPoint& point() const { return payload_ == kPayloadPoint ? value_.point : kNoPoint; }
  void setPoint(const GridPoint& point) {
    payload_ = kPayloadPoint;
    value_.point = point;
  }
  // Start and end exactly as typed: neither ordered nor normalised.
  const GridRange& range() const { return payload_ == kPayloadRange ? value_.range : kNoRange; }
  void setRange(const GridRange& range) {
    payload_ = kPayloadRange;
    value_.range = range;
  }

  bool isOperator(int32_t code) const { return function_ == 0 && operator_ == code; }
  int32_t precedence() const;

 private:
  friend class CAFormulaBlock;
  // The compact form a formula block keeps a token in: appended at out, or read from in (which
  // both move past it) into the uninitialised place token. A token's place in the text is kept
  // as its step from the token before's (`previous`, which each moves on to its own), a byte
  // for neighbouring tokens where a long formula's places would take three.
  void encode(uint8_t*& out, uint32_t& previous) const;
  static void decode(const uint8_t*& in, CAFormulaToken* token, uint32_t& previous);

  enum : uint8_t { kPayloadNone = 0, kPayloadNumber = 1, kPayloadPoint = 2, kPayloadRange = 3 };
  static constexpr GridPoint kNoPoint{kGridNoPoint, 0};
  static constexpr GridRange kNoRange{};

  union Value {
    constexpr Value() : range() {}
    GridRange range;
    GridPoint point;
    CANumber number;
  };

  uint32_t formulaIndex_ = 0;
  int16_t function_ = 0;
  int8_t operator_ = kOperatorNone;
  uint8_t payload_ = kPayloadNone;
  Value value_;
};

// A parsed formula in postfix order.
using CAExpression = std::vector<CAFormulaToken>;
// The same tokens read in place, wherever they are kept.
using CAExpressionView = std::span<const CAFormulaToken>;
