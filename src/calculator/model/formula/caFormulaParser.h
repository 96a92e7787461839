// Turning formula text into postfix tokens, and the small services on the function table that
// the formula editor uses: name lookup, argument templates with "#name#" placeholders,
// completion and the list of recently used functions.
#pragma once

#include "calculator/model/caTextServices.h"
#include "calculator/model/formula/CAFormulaToken.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>

class CADocument;

// How deep a formula may nest: parentheses (a function's included), unary minuses and powers
// ("^" waits for its right operand) that wait on one another. Deeper formulas are refused as they
// are read, typed or opened alike, so that what works on a formula's nesting (its evaluation, the
// conversion of a workbook's formulas) never meets more.
inline constexpr int64_t kMaxFormulaNesting = 256;

// Parses "=..." into `expression` (appended, postfix), in time linear in the text. Returns the
// formula error code: 0, or 4 unbalanced parenthesis, 5 "," outside parentheses, 8 malformed
// number, 9 unknown character, name, function or reference (also for text shorter than 2 or not
// beginning with "="), 12 nested past kMaxFormulaNesting (at the token that went too deep).
// *errorOffset receives the failing token's start; the tokens made before an error stay.
// A "-" at the start, after an operator, "(" or "," is a unary minus (a sign when a number
// follows); either nests one level.
int32_t ParseFormula(const QString& text, CAExpression& expression, uint64_t* errorOffset);

// Where the decimal separator is the comma that parts arguments too, whether the comma at `at`,
// after a literal, parts arguments: an operand follows it (a name, "$", a quote, "(", or digits
// after a blank: "=DATE(2026, 3, 4)", "=MAX(1,A1)"). Otherwise it ends its literal ("=5,+1" is 5
// plus 1, and "1,5" one and a half).
bool CommaPartsArguments(QStringView text, qsizetype at);

// The row of a function by name, ignoring case; 0 when empty or unknown.
int32_t FunctionFromName(QStringView name);

// The text to insert for a function: "DATE(#year#,#month#,#day#)", or "PI()". The range's
// location grows by the offset of the first placeholder and its length becomes the distance
// from there to the ")"; without arguments the location grows by the text's length and the
// length becomes 0.
QString FunctionNameWithArguments(int32_t row, CATextRange* range);

// The next "#name#" placeholder at or after `start`; location FLNotFound when there is none.
CATextRange RangeOfFunctionArgument(const QString& text, uint64_t start);

// Most recent first; at most ten rows. Saved at quit and restored at launch.
inline constexpr int32_t kMaxRecentFunctions = 10;
extern int32_t g_recentFunctions[kMaxRecentFunctions];
extern int32_t g_recentFunctionCount;
// Moves the row to the front; NO when it was already first.
bool RecordRecentFunction(int32_t row);

// Completions of "=" plus a name prefix that ends the text: "=" and each matching function's
// template, lower-cased when the prefix begins in lower case. Empty when the preference is off,
// the text does not qualify or nothing matches.
QStringList AutoCompletionArray(const QString& text, uint64_t partialStart, uint64_t partialLength);

// After the formula editor's selection changed: a selection between two "#" widens over the
// whole placeholder; an insertion point at the end of a text ending "#)" selects the argument
// list. The result is stored as the document's active cell text selection and returned.
CATextRange UpdateDocumentTextSelection(CADocument& document, const QString& text,
                                        CATextRange selection);

// "numlet.recentFn", posted when the recent list changed.
inline constexpr const char* kRecentFunctionsNotification = "numlet.recentFn";
