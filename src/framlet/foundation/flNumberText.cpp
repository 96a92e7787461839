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
#include <string>
#include <string_view>

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
// From 2 to the 63rd on every extended real is a whole number.
constexpr long double kTwoTo63 = 9223372036854775808.0L;
// Below this a value scaled to its places, and one more, fit an unsigned 64-bit integer.
constexpr long double kFastLimit = 1.8e19L;
// Powers of ten up to this are exact extended reals (5 to the 27th fits 64 bits).
constexpr int kExactPowers = 27;
// A product of a value with an exact power of ten is off by at most half a unit in its last
// place (2^-64 of it), and the value lies as near the decimal it stands for; within this
// distance of a turning point the rounding is left to that decimal's own digits.
constexpr long double kUncertainty = 0x1p-58L;

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

// The places a value is shown with, and how it is rounded there.
struct Places {
  int places = 0;
  bool halfUp = true;
  bool automatic = false;  // trailing zeros go, down to one place
  bool trim = false;       // only significant digits
};

Places ChoosePlaces(const FLNumberFormatOptions& options, int wholeDigits) {
  Places chosen;
  chosen.trim = options.onlySignificantDigits;
  if (options.forceHundredths) {
    chosen.places = 2;
    chosen.trim = false;
    chosen.halfUp = options.digits == FLNumberFormatOptions::kAutomaticDigits || !options.roundDown;
  } else if (options.digits < 0) {
    chosen.places = int(std::min<uint64_t>(options.defaultDigits, kMaxPlaces));
    chosen.halfUp = !options.roundDown;
  } else if (options.digits == FLNumberFormatOptions::kAutomaticDigits) {
    chosen.places = std::clamp(kSignificantDigits - wholeDigits, 1, kAutomaticPlaces);
    chosen.automatic = true;
  } else {
    chosen.places = int(std::min(options.digits, kMaxPlaces));
    chosen.halfUp = !options.roundDown;
  }
  return chosen;
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

QString NonFiniteText(const FLNumberFormatOptions& options, long double x) {
  if (std::isnan(x)) return QString::fromLatin1(kNaNText);
  QString text = QString::fromUtf16(kInfinityText);
  if (x < 0) MakeStringNegative(text, options.negativeParens);
  return text;
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  return digits;
}

// The text of a value from its digits, already rounded to the chosen places: trailing zeros
// trimmed as the places say, the integer part grouped, the sign or parentheses put on.
QString FinishedText(const FLNumberFormatOptions& options, bool negative, std::string_view whole,
                     std::string_view fraction, const Places& chosen) {
  whole = WithoutLeadingZeros(whole);
  if (whole.empty()) whole = "0";
  const bool withFraction = chosen.places > 0 && !options.decimalSeparator.isNull();
  if (chosen.places > 0 && !withFraction) LogAssert(kNoDecimalSeparator, __func__, __FILE__, __LINE__);
  if (chosen.automatic || chosen.trim) {
    while (fraction.size() > 1 && fraction.back() == '0') fraction.remove_suffix(1);
    if (fraction.empty()) fraction = "0";
  }
  const QString& separator = options.groupSeparator;
  const bool parentheses = negative && options.negativeParens;
  const qsizetype groups = separator.isEmpty() ? 0 : qsizetype(whole.size() - 1) / 3;
  QString text;
  text.reserve(qsizetype(whole.size()) + groups * separator.size() +
               (withFraction ? options.decimalSeparator.size() + qsizetype(fraction.size()) : 0) + 2);
  if (negative) text += parentheses ? u'(' : u'-';
  if (groups == 0) {
    text += QLatin1StringView(whole.data(), qsizetype(whole.size()));
  } else {
    for (size_t i = 0; i < whole.size(); ++i) {
      if (i > 0 && (whole.size() - i) % 3 == 0) text += separator;
      text += QLatin1Char(whole[i]);
    }
  }
  if (withFraction) {
    text += options.decimalSeparator;
    text += QLatin1StringView(fraction.data(), qsizetype(fraction.size()));
  }
  if (parentheses) text += u')';
  return text;
}

QString RoundedText(const FLNumberFormatOptions& options, bool negative, std::string whole, std::string fraction,
                    const Places& chosen) {
  RoundDecimalDigits(whole, fraction, chosen.places, chosen.halfUp);
  return FinishedText(options, negative, whole, fraction, chosen);
}

// The digits of a non-negative finite real: the shortest decimal that reads back to it, which
// is the number as it was typed or as far as it was computed. Shifted by `power` places.
void ShortestDigits(long double magnitude, int power, std::string& whole, std::string& fraction) {
  whole.clear();
  fraction.clear();
  if (magnitude == 0) return;
  std::array<char, 64> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                     std::chars_format::scientific);
  if (written.ec != std::errc()) return;
  const std::string_view text(buffer.data(), size_t(written.ptr - buffer.data()));
  const size_t e = text.find('e');
  if (e == std::string_view::npos) return;
  std::string mantissa;
  for (const char c : text.substr(0, e))
    if (c >= '0' && c <= '9') mantissa += c;
  int exponent = 0;
  std::string_view exponentText = text.substr(e + 1);
  if (!exponentText.empty() && exponentText.front() == '+') exponentText.remove_prefix(1);
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  // Digits before the point.
  const long point = long(exponent) + 1 + power;
  if (point <= 0) {
    fraction.assign(size_t(-point), '0');
    fraction += mantissa;
  } else if (size_t(point) >= mantissa.size()) {
    whole = mantissa;
    whole.append(size_t(point) - mantissa.size(), '0');
  } else {
    whole = mantissa.substr(0, size_t(point));
    fraction = mantissa.substr(size_t(point));
  }
}

// An exact non-negative fraction times a power of ten, by long division.
class ExactDigits {
 public:
  ExactDigits(uint64_t numerator, uint64_t denominator, int power) : denominator_(denominator) {
    Wide scaled = numerator;
    for (int i = 0; i < std::clamp(power, 0, 18); ++i) scaled *= 10;
    whole_ = scaled / denominator;
    remainder_ = uint64_t(scaled % denominator);
  }
  std::string whole() const {
    std::string digits;
    for (Wide rest = whole_; rest != 0; rest /= 10) digits.insert(digits.begin(), char('0' + int(rest % 10)));
    return digits;
  }
  bool wholeIsZero() const { return whole_ == 0; }
  // The first `count` digits after the point (fewer when the rest are zeros), after `skip` more.
  std::string fraction(int count, int skip = 0) const {
    std::string digits;
    Wide rest = remainder_;
    for (int i = 0; i < skip + count && rest != 0; ++i) {
      rest *= 10;
      if (i >= skip) digits += char('0' + int(rest / denominator_));
      rest %= denominator_;
    }
    return digits;
  }
  // Zeros after the point before the first other digit, for a value below one.
  int leadingZeros() const {
    int zeros = 0;
    for (Wide rest = remainder_ * 10; rest != 0 && rest < denominator_ && zeros < 64; rest *= 10) ++zeros;
    return zeros;
  }

 private:
  using Wide = unsigned __int128;
  Wide whole_ = 0;
  uint64_t remainder_ = 0;
  uint64_t denominator_ = 1;
};

// The digits of a finite real shown with fixed or automatic places. Most values are rounded
// from one product with a power of ten; where that product, or the binary value itself, lies too
// close to the place where rounding turns for the decision to be sure, the shortest decimal that
// reads back to the value decides, as the user's own digits would.
QString RealText(const FLNumberFormatOptions& options, long double x, int power) {
  const bool negative = x < 0;
  const long double magnitude = std::fabs(x);
  if (magnitude >= kTwoTo63) {
    // A whole number: its own digits, exactly.
    std::string whole;
    if (magnitude < kTwoTo64) {
      std::array<char, 24> digits{};
      whole.assign(digits.data(), std::to_chars(digits.data(), digits.data() + digits.size(),
                                                 static_cast<uint64_t>(magnitude)).ptr);
    } else {
      std::array<char, 5000> buffer{};
      std::snprintf(buffer.data(), buffer.size(), "%.0Lf", std::floor(magnitude));
      whole = buffer.data();
    }
    whole.append(size_t(std::clamp(power, 0, 18)), '0');
    const Places chosen = ChoosePlaces(options, int(whole.size()));
    return RoundedText(options, negative, std::move(whole), std::string(), chosen);
  }
  const long double shown = power ? magnitude * PowerOfTen(power) : magnitude;
  const Places chosen = ChoosePlaces(options, IntegerDigitCount(shown));
  const int scale = chosen.places + power;
  if (scale <= kExactPowers) {
    const long double scaled = magnitude * PowerOfTen(scale);
    if (scaled < kFastLimit) {
      uint64_t units = TruncateMagnitude(scaled);
      const long double rest = scaled - static_cast<long double>(units);
      const long double doubt = scaled * kUncertainty;
      const bool sure = chosen.halfUp ? std::fabs(rest - 0.5L) > doubt : rest > doubt && rest < 1 - doubt;
      if (sure) {
        if (chosen.halfUp && rest > 0.5L) ++units;
        // Room for the leading zeros of a value below one before the units' 20 digits at most.
        std::array<char, kExactPowers + 1 + 20> digits{};
        char* const first = digits.data() + kExactPowers + 1;
        char* const end = std::to_chars(first, digits.data() + digits.size(), units).ptr;
        char* begin = first;
        while (end - begin < chosen.places + 1) *--begin = '0';
        char* const point = end - chosen.places;
        return FinishedText(options, negative, std::string_view(begin, size_t(point - begin)),
                            std::string_view(point, size_t(end - point)), chosen);
      }
    }
  }
  std::string whole;
  std::string fraction;
  ShortestDigits(magnitude, power, whole, fraction);
  // The digit count may differ from the estimate right at a power of ten.
  const Places exact = ChoosePlaces(options, int(WithoutLeadingZeros(whole).size()));
  return RoundedText(options, negative, std::move(whole), std::move(fraction), exact);
}

// The mantissa's digits as they will show, rounded; the exponent takes the carry of 9.99 to 10.0.
QString ScientificText(const FLNumberFormatOptions& options, bool negative, std::string mantissa, int exponent) {
  FLNumberFormatOptions mantissaOptions = options;
  mantissaOptions.disallowScientific = true;
  const Places chosen = ChoosePlaces(mantissaOptions, 1);
  std::string whole = mantissa.substr(0, 1);
  std::string fraction = mantissa.size() > 1 ? mantissa.substr(1) : std::string();
  RoundDecimalDigits(whole, fraction, chosen.places, chosen.halfUp);
  if (whole.size() > 1) {
    whole = "1";
    ++exponent;
  }
  QString text = FinishedText(mantissaOptions, false, whole, fraction, chosen);
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
  if (negative) MakeStringNegative(text, options.negativeParens);
  return text;
}

QString ZeroScientificText(const FLNumberFormatOptions& options) {
  if (options.zeroBlank) return QString();
  return options.traditionalScientific ? QString::fromUtf16(kZeroTraditional) : QString::fromLatin1(kZeroScientific);
}

bool TakesScientificForm(const FLNumberFormatOptions& options, long double shownMagnitude) {
  return shownMagnitude != 0 && !options.disallowScientific && (shownMagnitude >= 1e12L || shownMagnitude <= 1e-13);
}

}  // namespace

FLNumberValue FLNumberValue::withReal(long double x) {
  FLNumberValue value;
  value.real = x;
  value.negative = x < 0;
  return value;
}

FLNumberValue FLNumberValue::withFraction(int64_t numerator, uint64_t denominator) {
  FLNumberValue value;
  value.exact = true;
  value.negative = numerator < 0;
  value.numerator = numerator < 0 ? 0 - uint64_t(numerator) : uint64_t(numerator);
  value.denominator = denominator;
  return value;
}

FLNumberValue FLNumberValue::scaled(int power) const {
  FLNumberValue value = *this;
  value.powerOfTen = std::clamp(powerOfTen + power, 0, 18);
  return value;
}

FLNumberValue FLNumberValue::magnitude() const {
  FLNumberValue value = *this;
  value.negative = false;
  if (!exact) value.real = std::fabs(real);
  return value;
}

bool FLNumberValue::isZero() const { return exact ? numerator == 0 && denominator != 0 : real == 0; }

bool FLNumberValue::isNegative() const { return exact ? negative && !isZero() : real < 0; }

long double FLNumberValue::approximation() const {
  long double value = 0;
  if (!exact)
    value = real;
  else if (denominator == 0)
    value = negative ? -std::numeric_limits<long double>::infinity() : std::numeric_limits<long double>::infinity();
  else
    value = (negative ? -1.0L : 1.0L) * static_cast<long double>(numerator) / static_cast<long double>(denominator);
  return powerOfTen ? value * PowerOfTen(powerOfTen) : value;
}

void RoundDecimalDigits(std::string& whole, std::string& fraction, int places, bool halfUp) {
  places = std::max(places, 0);
  const bool up = halfUp && fraction.size() > size_t(places) && fraction[size_t(places)] >= '5';
  fraction.resize(size_t(places), '0');
  if (!up) return;
  for (std::string* digits : {&fraction, &whole}) {
    for (auto digit = digits->rbegin(); digit != digits->rend(); ++digit) {
      if (*digit != '9') {
        ++*digit;
        return;
      }
      *digit = '0';
    }
  }
  whole.insert(whole.begin(), '1');
}

void MakeStringNegative(QString& text, bool parentheses) {
  if (parentheses) {
    text.prepend(u'(');
    text.append(u')');
  } else {
    text.prepend(u'-');
  }
}

QString FormatFloat(const FLNumberFormatOptions& options, long double x) {
  return FormatFloat(options, FLNumberValue::withReal(x));
}

QString FormatFloat(const FLNumberFormatOptions& options, const FLNumberValue& value) {
  if (!value.exact) {
    const long double x = value.real;
    if (!std::isfinite(x)) return NonFiniteText(options, x);
    if (x == 0 && options.zeroBlank) return QString();
    if (TakesScientificForm(options, std::fabs(value.approximation()))) return FormatScientific(options, value);
    return RealText(options, x, value.powerOfTen);
  }
  if (value.denominator == 0) return NonFiniteText(options, value.approximation());
  if (value.isZero() && options.zeroBlank) return QString();
  if (TakesScientificForm(options, std::fabs(value.approximation()))) return FormatScientific(options, value);
  const ExactDigits digits(value.numerator, value.denominator, value.powerOfTen);
  std::string whole = digits.whole();
  const Places chosen = ChoosePlaces(options, int(whole.size()));
  return RoundedText(options, value.isNegative(), std::move(whole), digits.fraction(chosen.places + 1), chosen);
}

QString FormatScientific(const FLNumberFormatOptions& options, long double x) {
  return FormatScientific(options, FLNumberValue::withReal(x));
}

QString FormatScientific(const FLNumberFormatOptions& options, const FLNumberValue& value) {
  if (!value.exact && !std::isfinite(value.real)) return NonFiniteText(options, value.real);
  if (value.exact && value.denominator == 0) return NonFiniteText(options, value.approximation());
  if (value.isZero()) return ZeroScientificText(options);
  // The mantissa needs one digit before the point, the places after it and one more to round by.
  FLNumberFormatOptions mantissaOptions = options;
  mantissaOptions.disallowScientific = true;
  const int wanted = ChoosePlaces(mantissaOptions, 1).places + 2;
  std::string mantissa;
  int exponent = 0;
  if (value.exact) {
    const ExactDigits digits(value.numerator, value.denominator, value.powerOfTen);
    if (!digits.wholeIsZero()) {
      mantissa = digits.whole();
      exponent = int(mantissa.size()) - 1;
      if (int(mantissa.size()) < wanted) mantissa += digits.fraction(wanted - int(mantissa.size()));
    } else {
      const int zeros = digits.leadingZeros();
      mantissa = digits.fraction(wanted, zeros);
      exponent = -(zeros + 1);
    }
  } else {
    std::string whole;
    std::string fraction;
    ShortestDigits(std::fabs(value.real), value.powerOfTen, whole, fraction);
    if (!whole.empty()) {
      exponent = int(whole.size()) - 1;
      mantissa = whole + fraction;
    } else {
      const size_t first = fraction.find_first_not_of('0');
      if (first == std::string::npos) return ZeroScientificText(options);
      exponent = -int(first + 1);
      mantissa = fraction.substr(first);
    }
  }
  return ScientificText(options, value.isNegative(), std::move(mantissa), exponent);
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
