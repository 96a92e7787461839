// Formula error codes: the small numbers a cell keeps as the result of parsing and evaluating
// its formula, and the texts shown in place of a value ("<Syntax>", "<Value>").
#pragma once

#include <cstdint>

enum : int32_t {
  kFormulaOK = 0,
  kFormulaErrorArguments = 1,   // an operand missing or of the wrong kind; no value left
  kFormulaErrorDate = 2,
  kFormulaErrorInfinite = 3,
  kFormulaErrorParenthesis = 4,  // unbalanced parentheses
  kFormulaErrorComma = 5,        // "," outside parentheses
  kFormulaErrorNaN = 6,
  kFormulaErrorNotAvailable = 7,
  kFormulaErrorNumber = 8,       // malformed number literal; invalid argument
  kFormulaErrorSymbol = 9,       // unknown character, name, function or reference
  kFormulaErrorSyntax = 10,      // an operator lacks an operand; values left over
  kFormulaErrorValue = 11,       // a referenced cell has an error; a circular reference
  kFormulaErrorNesting = 12,     // nested deeper than a formula may be; shown as a syntax error
};

inline constexpr int32_t kFormulaErrorCount = 13;

// Indexed by the code; the text of 0 is never shown.
extern const char* const g_errorStrings[kFormulaErrorCount];

// The text for a code; codes outside the table show as "<Value>".
const char* FormulaErrorString(int32_t code);
