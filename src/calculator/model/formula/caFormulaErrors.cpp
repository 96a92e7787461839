#include "calculator/model/formula/caFormulaErrors.h"

const char* const g_errorStrings[kFormulaErrorCount] = {
    "<Syntax>",     // 0
    "<Arguments>",  // 1
    "<Date>",       // 2
    "<Infinite>",   // 3
    "<Syntax>",     // 4
    "<Syntax>",     // 5
    "<Value>",      // 6
    "<N/A>",        // 7
    "<Number>",     // 8
    "<Symbol>",     // 9
    "<Syntax>",     // 10
    "<Value>",      // 11
    "<Syntax>",     // 12
};

const char* FormulaErrorString(int32_t code) {
  if (code < 0 || code >= kFormulaErrorCount) return g_errorStrings[kFormulaErrorValue];
  return g_errorStrings[code];
}
