// Numbers as text under an options record: extended-precision reals in fixed or scientific form,
// 64-bit integers in bases 2, 8, 10 and 16 with word sizes and grouping, and the two ways of
// showing a negative value. The spreadsheet's number formats and the calculators use these.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

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

// A number to be shown with decimals: an extended real, or an exact fraction. An exact value is
// shown by its own decimal digits (a typed 1926.165 is the fraction 385233/200 and shows 1926.17
// with two places, though no binary real holds it); a real by the shortest decimal that reads
// back to it, the digits it was typed or computed as. Either may be shown times a power of ten
// (a percentage is a hundred times its value), scaled in decimal so that no product rounds.
struct FLNumberValue {
  static FLNumberValue withReal(long double x);
  // A denominator of 0 stands for infinity.
  static FLNumberValue withFraction(int64_t numerator, uint64_t denominator);
  // The same value times ten to `power` (0 to 18).
  FLNumberValue scaled(int power) const;
  // Without its sign.
  FLNumberValue magnitude() const;
  bool isZero() const;
  bool isNegative() const;
  // The value shown (its power of ten applied) as an extended real, for the choice of form.
  long double approximation() const;

  bool exact = false;
  long double real = 0;      // not exact: the value, with its sign
  bool negative = false;     // exact: the sign
  uint64_t numerator = 0;    // exact: the magnitude's numerator
  uint64_t denominator = 1;  // exact: the denominator
  int powerOfTen = 0;
};

// The one rounding of every fixed number of places: `whole` and `fraction` are the decimal digits
// of a non-negative value (digits beyond those given count as zeros); the fraction is made exactly
// `places` digits, rounded half up (a first dropped digit of 5 or more carries, into the whole part
// too) or, with `halfUp` false, cut off.
void RoundDecimalDigits(std::string& whole, std::string& fraction, int places, bool halfUp);

// Capital hexadecimal digit texts "0"-"9", "A"-"F".
extern const char* const g_hexCharacterStrings[16];

QString FormatFloat(const FLNumberFormatOptions& options, long double x);
QString FormatFloat(const FLNumberFormatOptions& options, const FLNumberValue& value);
QString FormatScientific(const FLNumberFormatOptions& options, long double x);
QString FormatScientific(const FLNumberFormatOptions& options, const FLNumberValue& value);
// Base 16, 8 or 2 as such; any other base means 10.
QString FormatInteger(int64_t value, int base, const FLNumberFormatOptions& options);
// Inserts "-" in front, or wraps the text in "(" and ")".
void MakeStringNegative(QString& text, bool parentheses);
