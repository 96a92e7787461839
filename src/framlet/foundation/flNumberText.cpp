// Number text: decimal places and rounding on 80-bit reals, the two scientific forms, and
// integers in bases 2, 8, 10 and 16.
#include "framlet/foundation/flNumberText.h"

#include "framlet/foundation/flBase.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

const char* const g_hexCharacterStrings[16] = {"0", "1", "2", "3", "4", "5", "6", "7",
                                               "8", "9", "A", "B", "C", "D", "E", "F"};

namespace {

constexpr const char* kNoDecimalSeparator = "No decimal separator";
constexpr std::array<char16_t, 10> kSuperscripts = {u'⁰', u'¹', u'²', u'³', u'⁴',
                                                    u'⁵', u'⁶', u'⁷', u'⁸', u'⁹'};
constexpr char16_t kSuperscriptMinus = u'⁻';
constexpr const char16_t* kTimesTen = u" × 10";
constexpr const char* kZeroScientific = "0.0E+0";
constexpr const char16_t* kZeroTraditional = u"0.0 × 10⁰";
constexpr const char16_t* kInfinityText = u"∞";
constexpr const char* kNaNText = "NaN";

// Places the automatic choice starts from.
constexpr int kAutomaticPlaces = 15;
// An 80-bit real carries about 19 significant decimal digits; automatic places beyond that would
// show the binary representation's noise (20000.1 as 20000.100000000000001).
constexpr int kSignificantDigits = std::numeric_limits<long double>::digits10 + 1;
// Places asked for beyond this are noise in any case; the limit keeps absurd stored sizes cheap.
constexpr int64_t kMaxPlaces = 40;
// 2 to the 64th: the integer part no longer fits an unsigned 64-bit integer.
constexpr long double kTwoTo64 = 18446744073709551616.0L;

struct Rounding {
  int places = 0;
  bool trim = false;
  long double addend = 0;
};

// From here on every extended real is a whole number: adding it leaves an integer step, so a
// sum with it is the value rounded to the nearest whole number.
constexpr long double kWholeNumbersFrom = [] {
  long double power = 1;
  for (int i = 1; i < std::numeric_limits<long double>::digits; ++i) power *= 2;
  return power;
}();

// The floor of a non-negative real. Below kWholeNumbersFrom it is found by rounding in the
// current mode, without the rounding-mode switches that std::floor and conversions to an
// integer make on the x87: those cost more than the rest of a number text.
long double FloorOfMagnitude(long double x) {
  if (!(x < kWholeNumbersFrom)) return std::floor(x);
  long double whole = (x + kWholeNumbersFrom) - kWholeNumbersFrom;
  if (whole > x) whole -= 1;
  return whole;
}

// A non-negative real below 2 to the 64th, cut to an integer.
uint64_t TruncateMagnitude(long double x) {
  if (!(x < kWholeNumbersFrom)) return static_cast<uint64_t>(x);
  // The floor is a whole number, so rounding it in any mode gives it exactly.
  return static_cast<uint64_t>(std::llrint(FloorOfMagnitude(x)));
}

// Every number text calls this a few times; the exponents it meets are small, and their powers
// are computed once, by the same call, so that the values are the same.
long double PowerOfTen(int exponent) {
  constexpr int kTabled = 64;
  static const std::array<long double, 2 * kTabled + 1> table = [] {
    std::array<long double, 2 * kTabled + 1> powers{};
    for (int i = -kTabled; i <= kTabled; ++i) powers[size_t(i + kTabled)] = std::pow(10.0L, static_cast<long double>(i));
    return powers;
  }();
  if (exponent >= -kTabled && exponent <= kTabled) return table[size_t(exponent + kTabled)];
  return std::pow(10.0L, static_cast<long double>(exponent));
}

// The digits of the integer part, as counted by dividing by ten until below one. Away from the
// powers of ten the rounding of those divisions (far below a millionth of a millionth) cannot
// change the count, and comparisons give it; close to one the divisions decide.
int IntegerDigitCount(long double magnitude) {
  constexpr int kBounded = 40;
  constexpr long double kMargin = 1e-15L;
  static const std::array<std::array<long double, 2>, kBounded + 1> bounds = [] {
    std::array<std::array<long double, 2>, kBounded + 1> table{};
    for (int k = 1; k <= kBounded; ++k) table[size_t(k)] = {PowerOfTen(k) * (1 - kMargin), PowerOfTen(k) * (1 + kMargin)};
    return table;
  }();
  if (!(magnitude >= 1)) return 0;
  for (int k = 1; k <= kBounded; ++k) {
    if (magnitude < bounds[size_t(k)][0]) return k;
    if (magnitude < bounds[size_t(k)][1]) break;
  }
  int count = 0;
  while (magnitude >= 1 && count < 5000) {
    magnitude /= 10;
    ++count;
  }
  return count;
}

Rounding ChooseRounding(const FLNumberFormatOptions& options, long double magnitude) {
  Rounding rounding;
  bool halfUp = true;
  rounding.trim = options.onlySignificantDigits;
  if (options.forceHundredths) {
    rounding.places = 2;
    rounding.trim = false;
    halfUp = options.digits == FLNumberFormatOptions::kAutomaticDigits || !options.roundDown;
  } else if (options.digits < 0) {
    rounding.places = int(std::min<uint64_t>(options.defaultDigits, kMaxPlaces));
    halfUp = !options.roundDown;
  } else if (options.digits == FLNumberFormatOptions::kAutomaticDigits) {
    const int most = std::clamp(kSignificantDigits - IntegerDigitCount(magnitude), 1, kAutomaticPlaces);
    const long double v = magnitude + 0.5L * PowerOfTen(-most);
    uint64_t scaled = TruncateMagnitude((v - FloorOfMagnitude(v)) * PowerOfTen(most));
    rounding.places = most;
    while (rounding.places > 1 && scaled % 10 == 0) {
      scaled /= 10;
      --rounding.places;
    }
  } else {
    rounding.places = int(std::min(options.digits, kMaxPlaces));
    halfUp = !options.roundDown;
  }
  rounding.addend = halfUp ? 0.5L * PowerOfTen(-rounding.places) : 1e-15L;
  return rounding;
}

// The whole part of a value from 0 to 10, at most 9, found by comparisons: converting an
// extended real to an integer switches the rounding mode there and back, which costs far more.
int LeadingDigit(long double value) {
  int digit = value >= 8 ? 8 : value >= 4 ? 4 : 0;
  if (value >= digit + 2) digit += 2;
  if (value >= digit + 1) digit += 1;
  return std::min(9, digit);
}

QString DecimalDigits(uint64_t value) {
  QString digits;
  do {
    digits.prepend(QChar(u'0' + int(value % 10)));
    value /= 10;
  } while (value);
  return digits;
}

// Separator before every further `groupSize` digits, counted from the right.
QString GroupDigits(const QString& digits, const QString& separator, int groupSize) {
  if (separator.isEmpty() || groupSize <= 0) return digits;
  QString text;
  const qsizetype count = digits.size();
  for (qsizetype i = 0; i < count; ++i) {
    if (i > 0 && (count - i) % groupSize == 0) text += separator;
    text += digits[i];
  }
  return text;
}

// The integer part of a non-negative real; from 2 to the 64th on such reals are whole numbers,
// so the C library writes their exact digits.
QString IntegerPartText(long double magnitude, const QString& groupSeparator) {
  if (magnitude < kTwoTo64) return GroupDigits(DecimalDigits(static_cast<uint64_t>(magnitude)), groupSeparator, 3);
  std::array<char, 5000> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%.0Lf", std::floor(magnitude));
  return GroupDigits(QString::fromLatin1(buffer.data()), groupSeparator, 3);
}

QString NonFiniteText(const FLNumberFormatOptions& options, long double x) {
  if (std::isnan(x)) return QString::fromLatin1(kNaNText);
  QString text = QString::fromUtf16(kInfinityText);
  if (x < 0) MakeStringNegative(text, options.negativeParens);
  return text;
}

}  // namespace

void MakeStringNegative(QString& text, bool parentheses) {
  if (parentheses) {
    text.prepend(u'(');
    text.append(u')');
  } else {
    text.prepend(u'-');
  }
}

QString FormatFloat(const FLNumberFormatOptions& options, long double x) {
  if (!std::isfinite(x)) return NonFiniteText(options, x);
  if (x == 0 && options.zeroBlank) return QString();
  const long double magnitude = std::fabs(x);
  if (x != 0 && !options.disallowScientific && (magnitude >= 1e12L || magnitude <= 1e-13))
    return FormatScientific(options, x);

  const Rounding rounding = ChooseRounding(options, magnitude);
  const long double adjusted = magnitude + rounding.addend;

  // The fraction's digits first, as plain ASCII, so that the text is made in one piece: a file
  // export writes a million of these.
  std::array<char, kMaxPlaces> fraction{};
  int fractionCount = 0;
  const bool withFraction = rounding.places > 0 && !options.decimalSeparator.isNull();
  if (rounding.places > 0 && !withFraction) LogAssert(kNoDecimalSeparator, __func__, __FILE__, __LINE__);
  if (withFraction) {
    long double rest = adjusted - FloorOfMagnitude(adjusted);
    for (int i = 0; i < rounding.places; ++i) {
      if (rounding.trim && rest == 0) break;
      rest *= 10;
      const int digit = LeadingDigit(rest);
      rest -= digit;
      fraction[size_t(fractionCount++)] = char('0' + digit);
    }
    if (rounding.trim) {
      if (fractionCount == 0) fraction[size_t(fractionCount++)] = '0';
      while (fractionCount > 1 && fraction[size_t(fractionCount - 1)] == '0') --fractionCount;
    }
  }

  const bool negative = x < 0;
  QString text;
  if (adjusted < kTwoTo64 && options.groupSeparator.isEmpty()) {
    // Ungrouped digits of a 64-bit integer part, with the minus sign in the same piece.
    std::array<char, 24> integer{};
    char* end = integer.data();
    if (negative && !options.negativeParens) *end++ = '-';
    end = std::to_chars(end, integer.data() + integer.size(), TruncateMagnitude(adjusted)).ptr;
    const bool parentheses = negative && options.negativeParens;
    text.reserve((end - integer.data()) + (withFraction ? options.decimalSeparator.size() + fractionCount : 0) +
                 (parentheses ? 2 : 0));
    if (parentheses) text += u'(';
    text += QLatin1StringView(integer.data(), end - integer.data());
    if (withFraction) {
      text += options.decimalSeparator;
      text += QLatin1StringView(fraction.data(), fractionCount);
    }
    if (parentheses) text += u')';
    return text;
  }

  text = IntegerPartText(adjusted, options.groupSeparator);
  if (withFraction) {
    text += options.decimalSeparator;
    text += QLatin1StringView(fraction.data(), fractionCount);
  }
  if (negative) MakeStringNegative(text, options.negativeParens);
  return text;
}

QString FormatScientific(const FLNumberFormatOptions& options, long double x) {
  if (!std::isfinite(x)) return NonFiniteText(options, x);
  if (x == 0) {
    if (options.zeroBlank) return QString();
    return options.traditionalScientific ? QString::fromUtf16(kZeroTraditional)
                                         : QString::fromLatin1(kZeroScientific);
  }
  long double mantissa = std::fabs(x);
  int exponent = 0;
  while (mantissa >= 10) {
    mantissa /= 10;
    ++exponent;
  }
  while (mantissa < 1) {
    mantissa *= 10;
    --exponent;
  }
  mantissa += 1e-17L;
  if (mantissa >= 10) {
    mantissa /= 10;
    ++exponent;
  }

  FLNumberFormatOptions mantissaOptions = options;
  mantissaOptions.disallowScientific = true;
  // Rounding to the shown places can carry 9.999 up to 10.00; the exponent takes the carry.
  if (mantissa + ChooseRounding(mantissaOptions, mantissa).addend >= 10) {
    mantissa /= 10;
    ++exponent;
  }
  QString text = FormatFloat(mantissaOptions, mantissa);

  if (options.traditionalScientific) {
    text += QString::fromUtf16(kTimesTen);
    unsigned magnitude = unsigned(exponent < 0 ? -exponent : exponent);
    if (exponent < 0) text += QChar(kSuperscriptMinus);
    QString digits;
    do {
      digits.prepend(QChar(kSuperscripts[magnitude % 10]));
      magnitude /= 10;
    } while (magnitude);
    text += digits;
  } else {
    text += exponent < 0 ? StringWithFormat("E%d", exponent) : StringWithFormat("E+%d", exponent);
  }
  if (x < 0) MakeStringNegative(text, options.negativeParens);
  return text;
}

QString FormatInteger(int64_t value, int base, const FLNumberFormatOptions& options) {
  if (value == 0 && options.zeroBlank) return QString();

  uint64_t wordSize = 64;
  if (options.digits > 0)
    wordSize = uint64_t(options.digits);
  else if (options.digits < 0 && options.defaultWordSize != 0)
    wordSize = options.defaultWordSize;
  wordSize = std::min<uint64_t>(wordSize, 64);
  const uint64_t mask = wordSize >= 64 ? ~uint64_t(0) : (uint64_t(1) << wordSize) - 1;
  const bool grouping = !options.groupSeparator.isEmpty();

  int bitsPerDigit = 0;
  int groupSize = 3;
  switch (base) {
    case 16: bitsPerDigit = 4; groupSize = 8; break;
    case 8: bitsPerDigit = 3; groupSize = 3; break;
    case 2: bitsPerDigit = 1; groupSize = 8; break;
    default: break;
  }

  if (bitsPerDigit) {
    // A word size that is not a multiple of the digit's bits still shows its top bits.
    const int digitCount = int((wordSize + uint64_t(bitsPerDigit) - 1) / uint64_t(bitsPerDigit));
    uint64_t pattern = uint64_t(value) & mask;
    QString digits(digitCount, u'0');
    for (int i = digitCount - 1; i >= 0; --i) {
      digits[i] = QLatin1Char(g_hexCharacterStrings[pattern & uint64_t((1 << bitsPerDigit) - 1)][0]);
      pattern >>= bitsPerDigit;
    }
    return grouping ? GroupDigits(digits, QStringLiteral(" "), groupSize) : digits;
  }

  const bool negative = value < 0;
  const uint64_t magnitude = (negative ? uint64_t(0) - uint64_t(value) : uint64_t(value)) & mask;
  QString text = GroupDigits(DecimalDigits(magnitude), options.groupSeparator, groupSize);
  if (negative) MakeStringNegative(text, options.negativeParens);
  return text;
}
