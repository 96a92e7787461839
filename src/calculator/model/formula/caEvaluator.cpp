#include "calculator/model/formula/caEvaluator.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/formula/CAEvalContext.h"
#include "calculator/model/formula/caDateCores.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "calculator/model/formula/caOperands.h"
#include "framlet/foundation/flBase.h"

#include <bitset>

namespace {

constexpr const char* kUnknownOperator = "Unknown operator";
constexpr const char* kNoErrorButNoNumber = "No error but no number";

// Whether an operand stands for a date: a date cell, a formula cell showing a date, or a
// computed date.
bool IsDateOperand(const CAEvaluationContext& context, const CAOperand& item) {
  if (item.isValue()) return item.isDate();
  if (item.kind() != kTokenReference || !context.document) return false;
  const CACell* cell = CellAtPoint(*context.document, item.token()->point());
  if (!cell) return false;
  return cell->valueType() == kValueDate ||
         (cell->valueType() == kValueFormula && cell->formulaResultType() == kValueDate);
}

// A real date moved by days. A move that leaves the years dates can have gives no day index
// (0): that is the date error, so that formulas reading the result do not count with 0.
std::optional<CANumber> MovedDate(const CANumber& date, const CANumber& days, bool* isDate, uint32_t* error) {
  const FunctionResult moved = EdayCore(date, days);
  if (!moved.succeeded()) return std::nullopt;
  if (moved.value.isZero()) {
    *error = kFormulaErrorDate;
    return std::nullopt;
  }
  *isDate = true;
  return moved.value;
}

// Adding to or subtracting from a date counts in days: a date plus or minus n is the date n days
// on (n's whole part), a date minus a date is the signed number of days between them. Nothing
// when the operands are not such a pair (two dates added, a date taken from a number) or a
// date is not a real one: the operator then works on the numbers as they are.
std::optional<CANumber> DateArithmetic(int32_t code, const CANumber& left, bool leftDate, const CANumber& right,
                                       bool rightDate, bool* isDate, uint32_t* error) {
  if (code == kOperatorAdd && leftDate != rightDate)
    return MovedDate(leftDate ? left : right, leftDate ? right : left, isDate, error);
  if (code != kOperatorSubtract || !leftDate) return std::nullopt;
  if (!rightDate) {
    CANumber back = right;
    back.changeSign();
    return MovedDate(left, back, isDate, error);
  }
  int32_t first = 0;
  int32_t last = 0;
  if (!right.getDateValue(&first) || !left.getDateValue(&last)) return std::nullopt;
  const bool forward = first <= last;
  const FunctionResult days = forward ? DaysCore(right, left) : DaysCore(left, right);
  if (!days.succeeded()) return std::nullopt;
  CANumber count = days.value;
  if (!forward) count.changeSign();
  *isDate = false;
  return count;
}

// Pops both operands (the right one is on top) and pushes the result of the operator.
void ApplyOperator(CAEvaluationContext& context, CAOperandList& stack, int32_t code) {
  const bool dayArithmetic = (code == kOperatorAdd || code == kOperatorSubtract) && stack.size() >= 2;
  const bool rightDate = dayArithmetic && IsDateOperand(context, stack.back());
  const bool leftDate = dayArithmetic && IsDateOperand(context, stack[stack.size() - 2]);
  bool resultIsDate = false;
  std::optional<CANumber> result = NumericTopOfStackCore(context, stack);
  if (result && code == kOperatorNegate) {
    result->changeSign();
  } else if (result) {
    const CANumber right = *result;
    result = NumericTopOfStackCore(context, stack);
    std::optional<CANumber> dated;
    if (result && (leftDate || rightDate))
      dated = DateArithmetic(code, *result, leftDate, right, rightDate, &resultIsDate, &context.error);
    if (dated || context.error != 0) {
      result = dated;
    } else if (result) {
      switch (code) {
        case kOperatorAdd: result->add(right); break;
        case kOperatorSubtract: result->subtract(right); break;
        case kOperatorMultiply: result->multiply(right); break;
        case kOperatorDivide: result->divide(right); break;
        case kOperatorPower: result->power(right); break;
        default:
          LogAssert(kUnknownOperator, __func__, __FILE__, __LINE__);
          context.error = kFormulaErrorValue;
          result.reset();
          break;
      }
    }
  }
  if (context.error == kFormulaErrorArguments) {
    context.error = kFormulaErrorSyntax;  // an operand is missing
  } else if (context.error == 0 && !result) {
    context.error = kFormulaErrorSyntax;
  } else if (context.error == 0) {
    context.error = uint32_t(result->evaluationError());
    stack.emplace_back(*result);
    stack.back().setDate(resultIsDate);
  }
  context.resultHint = resultIsDate ? kResultHintDate : kResultHintNumber;
}

// Handlers still missing from the table are reported once per function, not on every
// recalculation.
void ReportMissingHandler(int32_t row) {
  static std::bitset<kFunctionInfoRowCount> reported;
  if (reported.test(size_t(row))) return;
  reported.set(size_t(row));
  LogString(kFunctionNotAvailable, g_functionInfo[row].name);
}

// Moves the function's arguments from the stack to the context (last argument first), removes
// their marker and calls the handler of the row.
void CallFunction(CAEvaluationContext& context, CAOperandList& stack, int32_t row) {
  CAOperandList& arguments = context.arguments;
  arguments.clear();
  if (stack.empty()) {
    context.error = kFormulaErrorSyntax;
    return;
  }
  for (;;) {
    if (stack.empty()) {
      context.error = kFormulaErrorSyntax;  // no argument marker
      return;
    }
    if (stack.back().isMarker()) break;
    arguments.push_back(std::move(stack.back()));
    stack.pop_back();
  }
  stack.pop_back();
  if (row <= 0 || row > kFunctionCount) {
    context.error = kFormulaErrorSymbol;
    return;
  }
  const CAFunctionInfo& info = g_functionInfo[row];
  if (!info.handler) {
    ReportMissingHandler(row);
    context.error = kFormulaErrorValue;
    return;
  }
  std::optional<CANumber> result = info.handler(context);
  if (context.error != 0) return;
  if (!arguments.empty()) {
    context.error = kFormulaErrorArguments;
  } else if (!result) {
    LogAssert(kNoErrorButNoNumber, __func__, __FILE__, __LINE__);
    context.error = kFormulaErrorValue;
  } else {
    context.resultHint = (info.flags & kFunctionResultIsDate) ? kResultHintDate : kResultHintNumber;
    stack.emplace_back(*result);
    stack.back().setDate(context.resultHint == kResultHintDate);
  }
}

// The value of the single item left at the end; a lone reference reads its cell as a number
// (nothing there counts 0; an error cell gives no value).
std::optional<CANumber> FinalValue(CADocument* document, const CAOperand& item) {
  switch (item.kind()) {
    case -1:
      return item.value();
    case kTokenNumber:
      return item.token()->number();
    case kTokenReference: {
      const CACellEntry* entry = document ? EntryAtPoint(*document, item.token()->point()) : nullptr;
      const CANumber* number = nullptr;
      std::optional<CANumber> plain;
      if (!GetCellNumber(entry, kOperandNumbersAndChecks, &number, &plain)) return std::nullopt;
      return number ? *number : CANumber();
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

CAExpressionOutcome RunExpression(CADocument* document, CAExpressionView expression) {
  CAEvaluationContext context;
  context.document = document;
  // One value stack per thread, kept between runs: a recalculation runs many small formulas.
  // A run started from inside another (a handler that evaluates) gets its own.
  thread_local CAOperandList spare;
  thread_local bool spareInUse = false;
  CAOperandList local;
  const bool useSpare = !spareInUse;
  CAOperandList& stack = useSpare ? spare : local;
  spareInUse = true;
  stack.clear();
  CAExpressionOutcome outcome;

  for (const CAFormulaToken& token : expression) {
    switch (token.type()) {
      case kTokenReference:
      case kTokenNumber:
      case kTokenRange:
        stack.emplace_back(token);
        break;
      case kTokenOperator:
        if (token.operatorCode() == kOperatorOpen)
          stack.emplace_back(token);
        else
          ApplyOperator(context, stack, token.operatorCode());
        break;
      case kTokenFunction:
        CallFunction(context, stack, token.function());
        break;
    }
    if (context.error != 0) {
      outcome.error = int32_t(context.error);
      outcome.errorOffset = context.failingIndex != 0 ? context.failingIndex : token.formulaIndex();
      break;
    }
  }

  if (outcome.error == 0) {
    if (stack.size() > 1) {
      outcome.error = kFormulaErrorSyntax;
    } else {
      if (!stack.empty()) outcome.value = FinalValue(document, stack.front());
      outcome.error = outcome.value ? outcome.value->evaluationError() : kFormulaErrorArguments;
    }
  }
  if (outcome.error != 0) outcome.value.reset();
  stack.clear();  // the tokens it points at belong to the caller's expression
  if (useSpare) spareInUse = false;
  outcome.resultHint = context.resultHint;
  outcome.volatileResult = context.volatileResult != 0;
  return outcome;
}
