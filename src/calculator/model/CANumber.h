// The spreadsheet's one numeric value: integers and fractions kept exact in 64 bits, falling
// back to an 80-bit extended real only when an exact result does not fit, plus NaN and
// infinity, whose sign is kept where it came in with the value. Cells, formula literals, operands and results of every function are CANumbers.
#pragma once

#include <QString>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

class CANumberFormat;

// How a text writes its numbers: its decimal sign, the mark between its groups of digits (none
// where null; any blank stands for every blank, and either apostrophe for both, as texts write
// them for one another) and the currency symbol of letters it writes beside its amounts ("CHF",
// "kr", "R$"), which the one-character currency signs need not be.
struct CANumberSyntax {
  QChar point = QChar(u'.');
  QChar group = QChar(u',');
  QString currency;
};

// The bounds of the exact forms, 2^63 - 1 and -2^63, and 2^63 as an extended real: every
// extended real of that size or more is a whole number.
inline constexpr int64_t kInt64Max = INT64_MAX;
inline constexpr int64_t kInt64Min = INT64_MIN;
inline constexpr long double kTwoTo63 = 9223372036854775808.0L;

// Forms of a number.
enum : int32_t {
  kNumberInteger = 0,
  kNumberFraction = 1,
  kNumberReal = 2,
  kNumberNaN = 3,
  kNumberInfinity = 4,
  kNumberPlaceholder = 5,  // only while an archive text is being read
};

// All operations that change a number change the receiver, and leave it in canonical form:
// a fraction has a denominator above 1 and no common divisor with its non-zero numerator; a
// real that is integral and fits 64 bits is an integer; a real NaN or infinity takes that form.
// Nothing raises: invalid results become NaN or infinity, exact results that would overflow
// 64 bits continue as reals.
class CANumber {
 public:
  constexpr CANumber() = default;  // the integer 0
  explicit constexpr CANumber(int64_t integer) : numerator_(integer) {}

  static CANumber zero() { return CANumber(); }
  static CANumber asInf(bool negative = false);
  static CANumber asNan();
  static CANumber withInteger(int64_t value) { return CANumber(value); }
  // A fraction in canonical form (a zero denominator is kept and shows as infinity).
  static CANumber withNumerator(int64_t numerator, uint64_t denominator);
  // A real; one that a short fraction reproduces within 1e-15 becomes that fraction.
  static CANumber withReal(long double value);
  // A real as the arithmetic leaves its results: kept a real, except that infinity, NaN and whole
  // numbers that fit take their own forms (withReal also turns near fractions exact).
  static CANumber withRealResult(long double value);

  // Parses typed text after clean-up; whatever could be parsed is returned, the rest ignored.
  static CANumber withString(const QString& text, bool allowGroups);
  // The same, but nothing unless the whole cleaned text is a number with at least one digit.
  static std::optional<CANumber> withValidatedString(const QString& text, bool allowGroups);
  // The same with the separators given instead of the process-wide ones: "." and "," read the
  // C syntax that other programs' files are written in.
  static std::optional<CANumber> withValidatedString(const QString& text, bool allowGroups, QChar decimalSeparator,
                                                     QChar groupSeparator);
  // The same in the syntax given: where blanks group digits, a blank between an amount and its
  // percent or currency sign is its way to write them too ("12,5 %", "1 234,50 kr").
  static std::optional<CANumber> withValidatedString(const QString& text, const CANumberSyntax& syntax);
  // Parses text[*index, end) from *index, which moves past what was consumed. Parsing never
  // fails as such: the caller judges by the index. Separators are the process-wide ones.
  static CANumber withString(const QString& text, qsizetype* index, qsizetype end,
                             bool allowGroups);
  // Digits in a base from 2 to 16 with a word size in bits (16, 32, or anything else for 64);
  // nothing for a bad base or a bad digit.
  static std::optional<CANumber> withString(const QString& text, int base, int wordSize);
  // The archive text of archive(); nothing when the text is not one.
  static std::optional<CANumber> withArchive(const QString& text);

  // The copy the system makes of an operand: a real is put into canonical form with real
  // conversion on the way, so a copied real may come out as a fraction. (Plain C++ copies
  // keep every field.)
  CANumber copy() const;

  int32_t form() const { return form_; }
  int64_t numerator() const { return numerator_; }
  uint64_t denominator() const { return denominator_; }
  // Raw field access, without canonical form.
  void setForm(int32_t form) { form_ = int8_t(form); }
  void setNumerator(int64_t numerator) { numerator_ = numerator; }
  void setDenominator(uint64_t denominator) { denominator_ = denominator; }

  long double realValue() const;
  void setRealValue(long double value);
  // Truncated toward zero; reals beyond 64 bits saturate, infinity is the largest integer,
  // NaN is 0.
  int64_t integerValue() const;
  void setIntegerValue(int64_t value);
  // A valid number whose integer value is a real date (a yyyymmdd day index).
  bool getDateValue(int32_t* dayIndex) const;

  bool isValid() const { return form_ != kNumberNaN && form_ != kNumberInfinity; }
  bool isZero() const;
  bool isPositive() const;  // zero counts as positive
  // Formula error codes: 3 for infinity ("<Infinite>"), 6 for NaN ("<Value>"), else 0.
  int32_t evaluationError() const;
  bool requireFloatingPoint(int32_t otherForm) const;
  // The guard at the head of the binary operations; may turn the receiver into NaN or infinity.
  bool operationIsInvalid(int32_t otherForm);

  // Equal values; a NaN equals only a NaN, infinity only infinity.
  bool isEqual(const CANumber& other) const;
  friend bool operator==(const CANumber& a, const CANumber& b) { return a.isEqual(b); }

  // "i", "f", "r", "n" or "∞" followed by the value's text; reals are written with "." and
  // enough digits to read back the same extended real; a negative infinity is "∞-".
  QString archive() const;
  QString formatForArchival() const;
  // The value as foreign files store numbers: C-locale decimal text ("-0.125", "1.5E+20"); a
  // fraction gives the shortest text of its extended real. Empty for NaN and infinity.
  QString decimalText() const;
  // Display text through a number format; without one the format is chosen by the form.
  QString formatWith(const CANumberFormat* format) const;
  QString description() const { return formatWith(nullptr); }

  void add(const CANumber& other);
  void subtract(const CANumber& other);
  void multiply(const CANumber& other);
  void divide(const CANumber& other);
  void remainder(const CANumber& other);
  void power(const CANumber& other);
  void gcd(const CANumber& other);
  void lcm(const CANumber& other);
  void squareRoot();
  void factorial();
  void invert();
  void changeSign();
  void makePositive();
  void makeInteger() { makeInteger(64); }
  void makeInteger(int wordSize);
  // Keeps the low 32 or 16 bits of the integer with their sign; YES when the result is
  // negative. Other sizes leave the value.
  bool enforceWordSize(int wordSize);
  void setCanonicalForm(bool convertReals);

 private:
  static CANumber parse(const QString& text, qsizetype* index, qsizetype end, bool allowGroups,
                        QChar decimalSeparator, QChar groupSeparator, bool* sawDigit);
  using Wide = __int128;
  using UnsignedWide = unsigned __int128;
  // Takes an exact result in lowest terms when it fits; NO leaves the number unchanged.
  bool setExactResult(Wide numerator, UnsignedWide denominator);
  void becomeReal(long double value);
  void becomeNaN();
  void becomeInfinity();

  // An extended real in its ten significant bytes rather than the sixteen the type occupies:
  // numbers fill cells and formulas by the million, and this keeps one in 32 bytes.
  class PackedReal {
   public:
    static_assert(std::numeric_limits<long double>::digits == 64, "80-bit extended reals");
    operator long double() const {
      long double value = 0;
      std::memcpy(&value, bytes_, sizeof bytes_);
      return value;
    }
    PackedReal& operator=(long double value) {
      std::memcpy(bytes_, &value, sizeof bytes_);
      return *this;
    }

   private:
    unsigned char bytes_[10] = {};  // all zero bits: +0
  };

  int64_t numerator_ = 0;
  uint64_t denominator_ = 1;
  PackedReal realValue_;
  int8_t form_ = kNumberInteger;
};

// Shared constants 0, 1 and 2: never changed; users copy them.
extern const CANumber g_number0;
extern const CANumber g_number1;
extern const CANumber g_number2;

// Converts a real to whole part, numerator and denominator by continued reciprocals; NO when
// the real is too large, too close to its whole part or has no short fraction. The numerator
// carries the sign of the real.
bool ConvertRealToRational(long double x, int64_t* whole, int64_t* numerator,
                           uint64_t* denominator);
