// Numbers as text under an options record: extended-precision reals in fixed or scientific form,
// 64-bit integers in bases 2, 8, 10 and 16 with word sizes and grouping, and the two ways of
// showing a negative value. The spreadsheet's number formats and the calculators use these.
#pragma once

#include <QString>

#include <cstdint>

// Filled by the number formats from their settings and the preferences, in this order.
struct FLNumberFormatOptions {
  // `digits` value meaning "choose the decimal places from the value" (the platform's not-found).
  static constexpr int64_t kAutomaticDigits = 0x7FFFFFFFFFFFFFFF;

  QString groupSeparator;    // null or empty: no grouping
  QString decimalSeparator;  // null: no fraction is written (asserted)
  // Decimal places for reals, or the word size in bits for integers (0 = 64);
  // kAutomaticDigits = automatic decimal places; negative = use the defaults below.
  int64_t digits = -1;
  uint64_t defaultDigits = 2;      // decimal places when digits is negative
  uint64_t defaultWordSize = 64;   // word size when digits is negative (0 = 64)
  bool onlySignificantDigits = false;
  bool forceHundredths = false;
  bool disallowScientific = false;
  bool traditionalScientific = false;  // "1.0 × 10¹²" instead of "1.0E+12"
  bool zeroBlank = false;
  bool negativeParens = false;
  bool roundDown = false;  // cut off instead of rounding half up
};

// Capital hexadecimal digit texts "0"-"9", "A"-"F".
extern const char* const g_hexCharacterStrings[16];

QString FormatFloat(const FLNumberFormatOptions& options, long double x);
QString FormatScientific(const FLNumberFormatOptions& options, long double x);
// Base 16, 8 or 2 as such; any other base means 10.
QString FormatInteger(int64_t value, int base, const FLNumberFormatOptions& options);
// Inserts "-" in front, or wraps the text in "(" and ")".
void MakeStringNegative(QString& text, bool parentheses);
