// The built-in function table: one row per function, sorted by name, which the formula parser
// searches, the evaluator calls through and the function browser shows; and the browser's
// classes of functions. A function token stores its row number.
#pragma once

#include "calculator/model/CANumber.h"

#include <cstdint>
#include <optional>

// Handed to every handler by the evaluator: the document, the arguments and the error code.
struct CAEvaluationContext;

// A handler takes its arguments from the context and returns its result, or nothing; failure
// is reported only through the context's error code.
using CAFunctionHandler = std::optional<CANumber> (*)(CAEvaluationContext& context);

// Row flags.
inline constexpr uint64_t kFunctionResultIsDate = 1;  // the cell shows the result as a date

struct CAFunctionInfo {
  const char* name;              // as typed, upper case ("CEILING.PRECISE")
  uint64_t flags;
  CAFunctionHandler handler;
  const char* description;       // UTF-8, one line of help
  const char* argumentTemplate;  // UTF-8, "year,month,day"; nullptr for no arguments
};

// Row 0 is empty (0 means no function); rows 1-97 are sorted by name.
inline constexpr int32_t kFunctionCount = 97;
inline constexpr int32_t kFunctionInfoRowCount = kFunctionCount + 1;
extern const CAFunctionInfo g_functionInfo[kFunctionInfoRowCount];

// The browser's classes. Class 0 lists no members: the browser fills it from the recent
// functions.
struct CAFunctionClass {
  const char* name;
  const int32_t* members;  // rows of g_functionInfo
  int32_t count;
};
inline constexpr int32_t kFunctionClassCount = 8;
extern const CAFunctionClass g_functionClasses[kFunctionClassCount];
