// The small character classes that the parsers, the XML reader and the text engine branch on,
// the currency-sign test, and the upper and lower case of a single UTF-16 unit.
#pragma once

#include <cstdint>

// Result of TypeOfChar. The numbers are stored nowhere but are compared everywhere.
enum : uint32_t {
  kCharClassOther = 0,
  kCharClassUpper = 1,
  kCharClassLower = 2,
  kCharClassDigit = 3,
  kCharClassSpace = 4,  // white space or line break
  kCharClassPunctuation = 5,  // punctuation or symbol
  kCharClassControl = 6,
};

// The class of one UTF-16 unit. A unit in two sets takes the first that matches, in the order
// lower-case letter, upper-case letter, white space or newline, digit, punctuation, symbol,
// control. A surrogate half is class 0.
uint32_t TypeOfChar(char16_t c);

// Builds the sets and the table of the first 256 units; every procedure here calls it, so
// callers need not, but the text engine may call it at launch to pay the cost up front.
void EnsureCharSets();

// The framework's sets, for callers that classify by more than the class number.
bool IsWhiteSpaceOrNewline(char16_t c);
bool IsNewline(char16_t c);  // U+000A-U+000D, U+0085, U+2028, U+2029
bool IsControlChar(char16_t c);
bool IsPunctuationChar(char16_t c);
bool IsSymbolChar(char16_t c);
bool IsUpperCaseLetter(char16_t c);
bool IsLowerCaseLetter(char16_t c);

// Whether the unit is one of the 38 currency signs the number parsers accept.
bool CharIsCurrency(char16_t c);

// The case of a single unit: Latin-1 by offset, others through Unicode's full case mapping when
// that is exactly one unit; otherwise the unit unchanged (so U+00DF stays U+00DF).
char16_t UpperCaseChar(char16_t c);
char16_t LowerCaseChar(char16_t c);
