// Exact numbers: canonical form, parsing, arithmetic, the archive text and display dispatch.
#include "calculator/model/CANumber.h"

#include <QByteArray>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "calculator/model/CANumberFormat.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flDates.h"
#include "framlet/foundation/flStringExtensions.h"

namespace {

constexpr uint64_t kMax = uint64_t(kInt64Max);  // 2^63 - 1, the bound of the overflow tests
constexpr long double kRationalLimit = 9223372036854775806.0L;
// Magnitudes at which an integer display of a real, or a percent display, gives up.
constexpr long double kIntegerDisplayLimit = 9223372036854775806.0L;
constexpr long double kPercentLimit = 92233720368547757.0L;
constexpr long double kScientificAbove = 1e12L;
constexpr long double kScientificBelow = 1e-13L;
// Decimal exponents beyond this give infinity or zero anyway; the cap keeps the count finite.
constexpr int64_t kMaxExponent = 100000;
constexpr int kManyFractionDigits = 17;
constexpr int kLastFactorialInTable = 20;
constexpr QChar kInfinityPrefix = QChar(0x221E);

constexpr std::array<int64_t, kLastFactorialInTable + 1> kFactorials = {
    1LL, 1LL, 2LL, 6LL, 24LL, 120LL, 720LL, 5040LL, 40320LL, 362880LL, 3628800LL, 39916800LL,
    479001600LL, 6227020800LL, 87178291200LL, 1307674368000LL, 20922789888000LL,
    355687428096000LL, 6402373705728000LL, 121645100408832000LL, 2432902008176640000LL};

uint64_t Magnitude(int64_t v) { return v < 0 ? 0 - uint64_t(v) : uint64_t(v); }

unsigned __int128 WideGcd(unsigned __int128 a, unsigned __int128 b) {
  while (b) {
    const unsigned __int128 t = a % b;
    a = b;
    b = t;
  }
  return a;
}

uint64_t Gcd(uint64_t a, uint64_t b) {
  while (b) {
    const uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// Truncation toward zero that saturates instead of leaving the 64-bit range undefined.
int64_t TruncateToInt64(long double x) {
  if (std::isnan(x)) return 0;
  if (x >= kTwoTo63) return kInt64Max;
  if (x <= -kTwoTo63) return kInt64Min;
  return static_cast<int64_t>(x);
}

// Quotient n / d truncated toward zero, for any unsigned denominator above 0.
int64_t TruncatedQuotient(int64_t n, uint64_t d) {
  const uint64_t q = Magnitude(n) / d;
  return n < 0 ? int64_t(0 - q) : int64_t(q);
}

bool IsDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

// The hyphen-minus a keyboard types, or the minus sign proper that typeset numbers (exports of
// other spreadsheets among them) are written with.
bool IsMinusSign(QChar c) { return c == QLatin1Char('-') || c.unicode() == u'\u2212'; }

// A group separator at `at` groups digits only when it follows one to three digits of the
// integer part (exactly three after an earlier separator, which the look-ahead there ensured)
// and is followed by exactly three digits. Any other separator is no part of a number: "12.34",
// "1.2.3" or "01.03.2024" where "." groups digits are not numbers that lost their dots. No
// number is written with a first group that starts with 0: "0,125" where "," groups digits is a
// decimal of another syntax, never a hundred and twenty-five.
bool SeparatorGroupsDigits(const QString& text, qsizetype at, qsizetype end, qsizetype digitsBefore,
                           bool firstGroup) {
  if (digitsBefore < 1 || digitsBefore > 3) return false;
  if (firstGroup && text[at - digitsBefore] == u'0') return false;
  if (end - at < 4) return false;
  for (qsizetype k = at + 1; k <= at + 3; ++k)
    if (!IsDigit(text[k])) return false;
  return at + 4 == end || !IsDigit(text[at + 4]);
}

long double ScaleByPowerOfTen(long double r, int64_t exponent) {
  if (r == 0) return r;
  // In two halves, so that a large exponent applied to a small value does not overflow early.
  const auto half = static_cast<long double>(exponent / 2);
  const auto rest = static_cast<long double>(exponent - exponent / 2);
  return r * std::pow(10.0L, half) * std::pow(10.0L, rest);
}

// The shortest text that reads back as the same extended real: plain decimals between the
// scientific bounds, else "1.5E+20" as the scientific display writes it. Always with ".".
QString RealArchiveText(long double x) {
  std::array<char, 128> buffer{};
  const long double magnitude = std::fabs(x);
  const bool scientific = magnitude >= kScientificAbove || magnitude <= kScientificBelow;
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), x,
                    scientific ? std::chars_format::scientific : std::chars_format::fixed);
  if (result.ec != std::errc()) return QString();
  QByteArray text(buffer.data(), int(result.ptr - buffer.data()));
  if (!scientific) return QString::fromLatin1(text);
  const int e = text.indexOf('e');
  QByteArray mantissa = text.left(e);
  QByteArray exponent = text.mid(e + 1);
  if (!mantissa.contains('.')) mantissa += ".0";
  const char sign = exponent.isEmpty() ? '+' : exponent[0];
  exponent = exponent.mid(1);
  while (exponent.size() > 1 && exponent[0] == '0') exponent.remove(0, 1);
  return QString::fromLatin1(mantissa + 'E' + sign + exponent);
}

// Reads an archived real exactly; accepts "," for "." since older archives were written with
// the locale's separator.
std::optional<long double> ReadArchivedReal(QString text) {
  text.replace(QLatin1Char(','), QLatin1Char('.'));
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if (!IsDigit(c) && u != '.' && u != '-' && u != '+' && u != 'e' && u != 'E') return {};
  }
  const QByteArray bytes = text.toLatin1();
  long double value = 0;
  const char* first = bytes.constData();
  const char* last = first + bytes.size();
  const auto result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != last) return {};
  return value;
}

}  // namespace

const CANumber g_number0(0);
const CANumber g_number1(1);
const CANumber g_number2(2);

bool ConvertRealToRational(long double x, int64_t* whole, int64_t* numerator,
                           uint64_t* denominator) {
  if (!(std::fabs(x) < kRationalLimit)) return false;  // NaN fails here too
  const long double w = std::trunc(x);
  *whole = static_cast<int64_t>(w);
  if (w == x) {
    *numerator = 0;
    *denominator = 1;
    return true;
  }
  const long double f = x - w;
  if (std::fabs(f) < 1e-9L) return false;
  long double p = std::fabs(f);
  long double q = 1;
  long double r = p;
  for (int round = 0; r > 1e-7L; ++round) {
    if (round == 25) return false;
    const long double t = std::round(1e10L / r) / 1e10L;
    p *= t;
    q *= t;
    r = t - std::floor(t);
  }
  const long double n = std::round(p);
  const long double d = std::round(q);
  // A numerator or denominator that does not fit is no short fraction.
  if (!(n < kTwoTo63) || !(d < kTwoTo63 * 2) || d < 1) return false;
  *numerator = f < 0 ? -static_cast<int64_t>(n) : static_cast<int64_t>(n);
  *denominator = static_cast<uint64_t>(d);
  return true;
}

CANumber CANumber::asInf(bool negative) {
  CANumber number;
  number.becomeInfinity();
  if (negative) number.realValue_ = -std::numeric_limits<long double>::infinity();
  return number;
}

CANumber CANumber::asNan() {
  CANumber number;
  number.form_ = kNumberNaN;
  return number;
}

CANumber CANumber::withNumerator(int64_t numerator, uint64_t denominator) {
  CANumber number;
  number.form_ = kNumberFraction;
  number.numerator_ = numerator;
  number.denominator_ = denominator;
  number.setCanonicalForm(true);
  return number;
}

CANumber CANumber::withReal(long double value) {
  CANumber number;
  number.setRealValue(value);
  return number;
}

CANumber CANumber::withRealResult(long double value) {
  CANumber number;
  number.becomeReal(value);
  number.setCanonicalForm(false);
  return number;
}

CANumber CANumber::copy() const {
  CANumber number;
  number.form_ = form_;
  switch (form_) {
    case kNumberInteger:
    case kNumberFraction:
      number.numerator_ = numerator_;
      number.denominator_ = denominator_;
      break;
    case kNumberReal:
      number.setRealValue(realValue_);
      break;
    case kNumberInfinity:
      number.realValue_ = realValue_;
      break;
    default:
      break;
  }
  return number;
}

void CANumber::becomeReal(long double value) {
  form_ = kNumberReal;
  realValue_ = value;
}

void CANumber::becomeNaN() { form_ = kNumberNaN; }

// Arithmetic knows one infinity, the positive one; only an infinite real taken in as it is (a
// typed -1e5000, an archive) keeps its sign, in the real's field.
void CANumber::becomeInfinity() {
  form_ = kNumberInfinity;
  realValue_ = std::numeric_limits<long double>::infinity();
}

void CANumber::setCanonicalForm(bool convertReals) {
  switch (form_) {
    case kNumberInteger:
      denominator_ = 1;
      return;
    case kNumberFraction: {
      if (denominator_ == 0) return;  // shows as infinity
      const uint64_t magnitude = Magnitude(numerator_);
      if (magnitude != 0) {
        const uint64_t g = Gcd(magnitude, denominator_);
        if (g > 1) {
          const uint64_t reduced = magnitude / g;
          numerator_ = numerator_ < 0 ? int64_t(0 - reduced) : int64_t(reduced);
          denominator_ /= g;
        }
      }
      if (denominator_ == 1 || numerator_ == 0) {
        form_ = kNumberInteger;
        denominator_ = 1;
      }
      return;
    }
    case kNumberReal: {
      const long double x = realValue_;
      if (std::isnan(x)) {
        form_ = kNumberNaN;
        return;
      }
      if (std::isinf(x)) {
        form_ = kNumberInfinity;
        return;
      }
      if (x == 0) {
        form_ = kNumberInteger;
        numerator_ = 0;
        denominator_ = 1;
        return;
      }
      if (x == std::floor(x) && x > -kTwoTo63 && x < static_cast<long double>(kInt64Max)) {
        form_ = kNumberInteger;
        numerator_ = static_cast<int64_t>(x);
        denominator_ = 1;
        return;
      }
      if (!convertReals) return;
      int64_t w = 0;
      int64_t n = 0;
      uint64_t d = 1;
      if (!ConvertRealToRational(x, &w, &n, &d)) return;
      const long double error = x - static_cast<long double>(w) -
                                static_cast<long double>(n) / static_cast<long double>(d);
      if (!(std::fabs(error) < 1e-15L)) return;
      // w·d + n must fit; otherwise the real stays.
      if (d > kMax) return;
      int64_t scaled = 0;
      int64_t combined = 0;
      if (__builtin_mul_overflow(w, int64_t(d), &scaled) ||
          __builtin_add_overflow(scaled, n, &combined))
        return;
      form_ = kNumberFraction;
      numerator_ = combined;
      denominator_ = d;
      setCanonicalForm(false);
      return;
    }
    default:
      return;
  }
}

long double CANumber::realValue() const {
  switch (form_) {
    case kNumberInteger:
      return static_cast<long double>(numerator_);
    case kNumberFraction:
      return static_cast<long double>(numerator_) / static_cast<long double>(denominator_);
    case kNumberReal:
      return realValue_;
    case kNumberInfinity:
      return std::signbit(realValue_) ? -std::numeric_limits<long double>::infinity()
                                      : std::numeric_limits<long double>::infinity();
    default:
      return std::numeric_limits<long double>::quiet_NaN();
  }
}

void CANumber::setRealValue(long double value) {
  becomeReal(value);
  setCanonicalForm(true);
}

int64_t CANumber::integerValue() const {
  switch (form_) {
    case kNumberInteger:
      return numerator_;
    case kNumberFraction:
      if (denominator_ == 0) return numerator_ == 0 ? 0 : (numerator_ < 0 ? kInt64Min : kInt64Max);
      return TruncatedQuotient(numerator_, denominator_);
    case kNumberReal:
      return TruncateToInt64(realValue_);
    case kNumberInfinity:
      return kInt64Max;
    default:
      return 0;
  }
}

void CANumber::setIntegerValue(int64_t value) {
  form_ = kNumberInteger;
  numerator_ = value;
  denominator_ = 1;
  setCanonicalForm(true);
}

bool CANumber::getDateValue(int32_t* dayIndex) const {
  const int64_t value = integerValue();
  if (value < 19000101 || value > 30001231 || !isValid()) return false;
  if (!IsValidDate(int32_t(value))) return false;
  if (dayIndex) *dayIndex = int32_t(value);
  return true;
}

bool CANumber::isZero() const {
  switch (form_) {
    case kNumberInteger:
    case kNumberFraction:
      return numerator_ == 0;
    case kNumberReal:
      return realValue_ == 0;
    default:
      return false;
  }
}

bool CANumber::isPositive() const {
  switch (form_) {
    case kNumberInteger:
    case kNumberFraction:
      return numerator_ >= 0;
    case kNumberReal:
      return realValue_ >= 0;
    case kNumberInfinity:
      return !std::signbit(realValue_);
    default:
      return true;
  }
}

int32_t CANumber::evaluationError() const {
  if (form_ == kNumberInfinity) return 3;
  if (form_ == kNumberNaN) return 6;
  return 0;
}

bool CANumber::requireFloatingPoint(int32_t otherForm) const {
  return form_ >= kNumberReal || otherForm >= kNumberReal;
}

bool CANumber::operationIsInvalid(int32_t otherForm) {
  if (form_ == kNumberNaN) return true;
  if (otherForm == kNumberNaN) {
    becomeNaN();
    return true;
  }
  if (form_ == kNumberInfinity) return true;
  if (otherForm == kNumberInfinity) {
    becomeInfinity();
    return true;
  }
  return false;
}

bool CANumber::isEqual(const CANumber& other) const {
  CANumber a = *this;
  CANumber b = other;
  a.setCanonicalForm(false);
  b.setCanonicalForm(false);
  if (a.form_ == b.form_) {
    switch (a.form_) {
      case kNumberInteger:
        return a.numerator_ == b.numerator_;
      case kNumberFraction:
        return a.numerator_ == b.numerator_ && a.denominator_ == b.denominator_;
      case kNumberReal:
        return a.realValue_ == b.realValue_;
      case kNumberInfinity:
        return a.isPositive() == b.isPositive();
      default:
        return true;
    }
  }
  if (!a.isValid() || !b.isValid()) return false;
  return a.realValue() == b.realValue();
}

// ---------------------------------------------------------------------------------------------
// Parsing

CANumber CANumber::parse(const QString& text, qsizetype* index, qsizetype end, bool allowGroups,
                         QChar decimalSeparator, QChar groupSeparator, bool* sawDigit) {
  end = std::min(end, text.size());
  qsizetype i = std::max<qsizetype>(*index, 0);
  bool negative = false;
  bool signSeen = false;
  bool parenthesised = false;
  *sawDigit = false;

  while (i < end) {
    const QChar c = text[i];
    if (CharIsCurrency(c.unicode())) {
      ++i;
    } else if (IsMinusSign(c)) {
      if (i + 1 >= end || signSeen) {
        *index = i;
        return CANumber();
      }
      negative = signSeen = true;
      ++i;
    } else if (c == QLatin1Char('(')) {
      if (signSeen || end - 1 <= i || text[end - 1] != QLatin1Char(')')) {
        *index = i;
        return CANumber();
      }
      negative = signSeen = parenthesised = true;
      --end;
      ++i;
    } else {
      break;
    }
  }

  int32_t form = kNumberInteger;
  int64_t n = 0;
  uint64_t d = 1;
  long double r = 0;
  const auto appendDigit = [&](int digit) {
    // Past 63 bits the number goes on in the real accumulator only.
    if (n > (kInt64Max - digit) / 10) {
      form = kNumberReal;
      return false;
    }
    n = n * 10 + digit;
    return true;
  };

  // Where the digits and separators run: a real is made from those digits in one correctly
  // rounded step, so that the shortest text of a real reads back as that very real.
  const qsizetype mantissaStart = i;
  bool fractionFollows = false;
  qsizetype groupDigits = 0;  // digits since the integer part began or since its last group separator
  bool grouped = false;       // a group separator has been passed
  while (i < end) {
    const QChar c = text[i];
    if (IsDigit(c)) {
      const int digit = c.unicode() - '0';
      r = r * 10 + digit;
      if (form == kNumberInteger) appendDigit(digit);
      *sawDigit = true;
      ++groupDigits;
      ++i;
    } else if (c == groupSeparator && allowGroups && groupSeparator != QLatin1Char(' ') &&
               SeparatorGroupsDigits(text, i, end, groupDigits, !grouped)) {
      groupDigits = 0;
      grouped = true;
      ++i;
    } else if (c == decimalSeparator) {
      ++i;
      fractionFollows = i < end;
      break;
    } else {
      break;
    }
  }

  int fractionDigits = 0;
  if (fractionFollows) {
    long double scale = 0.1L;
    while (i < end && IsDigit(text[i])) {
      const int digit = text[i].unicode() - '0';
      r += scale * digit;
      if (form == kNumberInteger) form = kNumberFraction;
      // A denominator past 63 bits would no longer be exact: the real takes over.
      if (form == kNumberFraction && (d > kMax / 10 || !appendDigit(digit))) form = kNumberReal;
      if (form == kNumberFraction) d *= 10;
      scale /= 10;
      ++fractionDigits;
      *sawDigit = true;
      ++i;
    }
  }

  const qsizetype mantissaEnd = i;
  int64_t decimalExponent = 0;
  if (i + 1 < end && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
    qsizetype j = i + 1;
    bool exponentNegative = false;
    const bool signed_ = text[j] == QLatin1Char('+') || IsMinusSign(text[j]);
    if (signed_ && j + 1 < end && IsDigit(text[j + 1])) {
      exponentNegative = IsMinusSign(text[j]);
      ++j;
    } else if (!IsDigit(text[j])) {
      *index = signed_ ? j + 1 : j;
      return asNan();
    }
    int64_t exponent = 0;
    for (; j < end && IsDigit(text[j]); ++j)
      exponent = std::min<int64_t>(exponent * 10 + (text[j].unicode() - '0'), kMaxExponent);
    decimalExponent = exponentNegative ? -exponent : exponent;
    r = ScaleByPowerOfTen(r, decimalExponent);
    form = kNumberReal;
    i = j;
  }

  if (i < end && text[i] == QLatin1Char('%')) {
    ++i;
    r /= 100;
    decimalExponent -= 2;
    if (fractionDigits > kManyFractionDigits) {
      form = kNumberReal;
    } else if (form == kNumberFraction) {
      if (d > kMax / 100)
        form = kNumberReal;
      else
        d *= 100;
    } else if (form == kNumberInteger) {
      form = kNumberFraction;
      d = 100;
    }
  } else if (i < end && CharIsCurrency(text[i].unicode())) {
    ++i;
  }

  if (form == kNumberReal && *sawDigit) {
    std::string digits;
    for (qsizetype k = mantissaStart; k < mantissaEnd; ++k)
      if (IsDigit(text[k])) digits += char(text[k].unicode());
    digits += 'e';
    digits += std::to_string(decimalExponent - fractionDigits);
    long double exact = 0;
    const auto read = std::from_chars(digits.data(), digits.data() + digits.size(), exact,
                                      std::chars_format::scientific);
    // Out of range (an overflow, an underflow or a subnormal) keeps the scaled value: the
    // infinity or zero it stands for, or a subnormal as near as the scaling comes.
    if (read.ec == std::errc()) r = exact;
  }
  if (negative) {
    n = -n;
    r = -r;
  }
  if (parenthesised && i == end) ++i;  // the closing parenthesis

  CANumber number;
  number.form_ = form;
  if (form == kNumberReal) {
    number.realValue_ = r;
  } else {
    number.numerator_ = n;
    number.denominator_ = form == kNumberFraction ? d : 1;
  }
  *index = i;
  number.setCanonicalForm(true);
  return number;
}

CANumber CANumber::withString(const QString& text, qsizetype* index, qsizetype end,
                              bool allowGroups) {
  const CANumberLocale& locale = NumberTextLocale();
  bool sawDigit = false;
  return parse(text, index, end, allowGroups, locale.decimalSeparatorChar,
               locale.groupSeparatorChar, &sawDigit);
}

CANumber CANumber::withString(const QString& text, bool allowGroups) {
  const QString cleaned = cleanUp(text, false, false);
  qsizetype index = 0;
  return withString(cleaned, &index, cleaned.size(), allowGroups);
}

std::optional<CANumber> CANumber::withValidatedString(const QString& text, bool allowGroups) {
  // As the user's locale writes numbers and amounts, its own currency symbol among them.
  const CANumberLocale& locale = NumberTextLocale();
  return withValidatedString(text, CANumberSyntax{locale.decimalSeparatorChar,
                                                  allowGroups ? locale.groupSeparatorChar : QChar(),
                                                  locale.currencySymbol});
}

namespace {

bool IsBlankMark(QChar ch) { return ch == u' ' || ch == QChar(0x00A0) || ch == QChar(0x202F) || ch == QChar(0x2009); }
bool IsApostropheMark(QChar ch) { return ch == u'\'' || ch == QChar(0x2019); }
bool IsDigitAt(const QString& text, qsizetype at) {
  return at >= 0 && at < text.size() && text[at] >= u'0' && text[at] <= u'9';
}
bool IsSignAt(const QString& text, qsizetype at) {
  return at >= 0 && at < text.size() && (text[at] == u'%' || CharIsCurrency(text[at].unicode()));
}
bool IsMinusOrOpening(QChar ch) { return ch == u'-' || ch == QChar(0x2212) || ch == u'('; }

// The cleaned text without the currency symbol of letters that leads or ends its amount (after
// its sign, or before a closing parenthesis), and without a blank between the two; the text as it
// is where the symbol stands elsewhere or nowhere. One-character signs are the number reader's.
QString WithoutCurrencySymbol(const QString& text, const QString& symbol) {
  if (symbol.isEmpty() || (symbol.size() == 1 && CharIsCurrency(symbol[0].unicode())) || !text.contains(symbol))
    return text;
  qsizetype lead = 0;
  while (lead < text.size() && IsMinusOrOpening(text[lead])) ++lead;
  if (QStringView(text).sliced(lead).startsWith(symbol)) {
    qsizetype after = lead + symbol.size();
    if (after < text.size() && text[after] == u' ') ++after;
    if (after < text.size() && (IsDigitAt(text, after) || IsMinusOrOpening(text[after])))
      return text.first(lead) + text.sliced(after);
  }
  qsizetype end = text.size();
  if (end > 0 && text[end - 1] == u')') --end;
  if (QStringView(text).first(end).endsWith(symbol)) {
    qsizetype before = end - symbol.size();
    if (before > 0 && text[before - 1] == u' ') --before;
    if (before > 0 && (IsDigitAt(text, before - 1) || text[before - 1] == u'%'))
      return text.first(before) + text.sliced(end);
  }
  return text;
}

}  // namespace

std::optional<CANumber> CANumber::withValidatedString(const QString& text, const CANumberSyntax& syntax) {
  // Clean-up folds blanks into spaces, which group no digits: blank or apostrophe group marks are
  // read as an apostrophe, which such a syntax writes in no number.
  const bool blanks = IsBlankMark(syntax.group);
  const bool apostrophes = IsApostropheMark(syntax.group);
  QString read;
  if (blanks || apostrophes) {
    if (blanks && text.contains(u'\'')) return std::nullopt;
    read.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
      const QChar ch = text[i];
      const bool mark = blanks ? IsBlankMark(ch) : IsApostropheMark(ch);
      if (mark && IsDigitAt(text, i - 1) && IsDigitAt(text, i + 1)) {
        read += u'\'';
        continue;
      }
      if (blanks && IsBlankMark(ch) &&
          ((IsDigitAt(text, i - 1) && IsSignAt(text, i + 1)) || (IsSignAt(text, i - 1) && IsDigitAt(text, i + 1))))
        continue;
      read += ch;
    }
  } else {
    read = text;
  }
  if (!syntax.currency.isEmpty())
    read = WithoutCurrencySymbol(cleanUp(read, false, false), cleanUp(syntax.currency, false, false));
  return withValidatedString(read, !syntax.group.isNull(), syntax.point,
                            blanks || apostrophes ? QChar(u'\'') : syntax.group);
}

std::optional<CANumber> CANumber::withValidatedString(const QString& text, bool allowGroups, QChar decimalSeparator,
                                                      QChar groupSeparator) {
  const QString cleaned = cleanUp(text, false, false);
  if (cleaned.isEmpty()) return {};
  qsizetype index = 0;
  bool sawDigit = false;
  CANumber number =
      parse(cleaned, &index, cleaned.size(), allowGroups, decimalSeparator, groupSeparator, &sawDigit);
  // Text without a digit ("$", ".", "%") or with a malformed exponent is not a number: it
  // stays the user's text.
  if (index != cleaned.size() || !sawDigit || number.form_ == kNumberNaN) return {};
  return number;
}

std::optional<CANumber> CANumber::withString(const QString& text, int base, int wordSize) {
  if (base < 2 || base > 16) {
    FLAssert(false, "Bad base");
    return {};
  }
  const QString cleaned = cleanUp(text, false, false);
  CANumber number;
  if (cleaned.isEmpty()) return number;
  qsizetype i = 0;
  bool negative = false;
  if (base == 10 && cleaned[0] == QLatin1Char('-')) {
    negative = true;
    i = 1;
  }
  uint64_t value = 0;  // wraps, as a machine word does
  for (; i < cleaned.size(); ++i) {
    const char16_t c = cleaned[i].unicode();
    int digit = 16;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    if (digit >= base) return {};
    value = value * uint64_t(base) + uint64_t(digit);
  }
  number.numerator_ = int64_t(value);
  const bool wordNegative = number.enforceWordSize(wordSize);
  if (negative && !wordNegative) number.numerator_ = int64_t(0 - uint64_t(number.numerator_));
  return number;
}

namespace {

// The whole number its decimal digits write, when it fits 128 bits.
std::optional<unsigned __int128> WideTerm(QStringView digits) {
  if (digits.isEmpty()) return std::nullopt;
  constexpr unsigned __int128 kMost = ~(unsigned __int128)0;
  unsigned __int128 value = 0;
  for (const QChar c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    const unsigned digit = c.unicode() - u'0';
    if (value > (kMost - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::optional<CANumber> CANumber::withArchive(const QString& text) {
  if (text.isEmpty()) return {};
  const QChar prefix = text[0];
  const qsizetype length = text.size();
  bool sawDigit = false;
  if (prefix == QLatin1Char('i')) {
    qsizetype index = 1;
    return parse(text, &index, length, false, QLatin1Char('.'), QLatin1Char(','), &sawDigit);
  }
  if (prefix == QLatin1Char('r')) {
    if (const auto value = ReadArchivedReal(text.mid(1))) {
      CANumber number;
      number.becomeReal(*value);
      number.setCanonicalForm(false);
      return number;
    }
    QString tail = text;
    tail.replace(QLatin1Char(','), QLatin1Char('.'));
    qsizetype index = 1;
    return parse(tail, &index, length, false, QLatin1Char('.'), QLatin1Char(','), &sawDigit);
  }
  if (prefix == QLatin1Char('f')) {
    qsizetype index = 1;
    const CANumber numerator =
        parse(text, &index, length, false, QLatin1Char('.'), QLatin1Char(','), &sawDigit);
    if (index + 1 >= length || text[index] != QLatin1Char('/')) return {};
    ++index;
    const CANumber denominator =
        parse(text, &index, length, false, QLatin1Char('.'), QLatin1Char(','), &sawDigit);
    if (numerator.form_ != kNumberInteger || denominator.form_ != kNumberInteger) {
      // Terms past 64 bits, which only a hand-made package writes: as an exact result that large,
      // the fraction is kept exact where its lowest terms fit and is otherwise the nearest real.
      const QStringView fraction = QStringView(text).sliced(1);
      const qsizetype slash = fraction.indexOf(u'/');
      QStringView top = fraction.first(slash);
      const bool negative = top.startsWith(u'-');
      if (negative) top = top.sliced(1);
      const std::optional<UnsignedWide> magnitude = WideTerm(top);
      const std::optional<UnsignedWide> bottom = WideTerm(fraction.sliced(slash + 1));
      constexpr UnsignedWide kWideMost = ~UnsignedWide(0) >> 1;
      CANumber number;
      if (magnitude && bottom && *magnitude <= kWideMost) {
        if (*bottom == 0) return {};
        if (number.setExactResult(negative ? -Wide(*magnitude) : Wide(*magnitude), *bottom)) return number;
        const long double quotient = static_cast<long double>(*magnitude) / static_cast<long double>(*bottom);
        number.becomeReal(negative ? -quotient : quotient);
      } else {
        // Terms past 128 bits are the whole numbers their reals hold.
        const auto whole = [](const CANumber& term) {
          const long double x = term.realValue();
          return (term.form_ == kNumberInteger || term.form_ == kNumberReal) && std::isfinite(x) &&
                 x == std::floor(x);
        };
        if (!whole(numerator) || !whole(denominator) || !(denominator.realValue() > 0)) return {};
        number.becomeReal(numerator.realValue() / denominator.realValue());
      }
      number.setCanonicalForm(false);
      return number;
    }
    // Only whole numbers over a positive denominator make a fraction.
    if (denominator.numerator_ <= 0) return {};
    CANumber number;
    number.form_ = kNumberFraction;
    number.numerator_ = numerator.numerator_;
    number.denominator_ = uint64_t(denominator.numerator_);
    number.setCanonicalForm(false);
    return number;
  }
  if (prefix == QLatin1Char('n')) return asNan();
  if (prefix == kInfinityPrefix) return asInf(text.size() > 1 && text[1] == QLatin1Char('-'));
  return {};
}

// ---------------------------------------------------------------------------------------------
// Archive and display

QString CANumber::formatForArchival() const {
  CANumber number = *this;
  number.setCanonicalForm(false);
  switch (number.form_) {
    case kNumberInteger:
      return QString::number(number.numerator_);
    case kNumberFraction:
      return QString::number(number.numerator_) + QLatin1Char('/') +
             QString::number(number.denominator_);
    case kNumberReal:
      return RealArchiveText(number.realValue_);
    case kNumberInfinity:
      // After the infinity prefix: a reader that knows no sign still reads an infinity.
      return number.isPositive() ? QString() : QStringLiteral("-");
    default:
      return QString();
  }
}

QString CANumber::decimalText() const {
  CANumber number = *this;
  number.setCanonicalForm(false);
  switch (number.form_) {
    case kNumberInteger:
      return QString::number(number.numerator_);
    case kNumberFraction:
    case kNumberReal:
      return RealArchiveText(number.realValue());
    default:
      return QString();
  }
}

QString CANumber::archive() const {
  CANumber number = *this;
  number.setCanonicalForm(false);
  QChar prefix;
  switch (number.form_) {
    case kNumberInteger: {
      // The commonest value of a saved sheet, made in one piece.
      char text[24] = {'i'};
      const char* end = std::to_chars(text + 1, text + sizeof text, number.numerator_).ptr;
      return QString::fromLatin1(text, end - text);
    }
    case kNumberFraction: {
      // Amounts in cents, the commonest fractions, made in one piece too.
      char text[48] = {'f'};
      char* end = std::to_chars(text + 1, text + sizeof text, number.numerator_).ptr;
      *end++ = '/';
      end = std::to_chars(end, text + sizeof text, number.denominator_).ptr;
      return QString::fromLatin1(text, end - text);
    }
    case kNumberReal:
      prefix = QLatin1Char('r');
      break;
    case kNumberInfinity:
      prefix = kInfinityPrefix;
      break;
    default:
      return QStringLiteral("n");
  }
  return prefix + number.formatForArchival();
}

QString CANumber::formatWith(const CANumberFormat* format) const {
  static const QString kInfiniteText = QStringLiteral("<Infinite>");
  static const QString kValueText = QStringLiteral("<Value>");
  const CANumberFormat* generic = format;
  switch (form_) {
    case kNumberInteger: {
      if (!format) {
        const long double magnitude = std::fabs(static_cast<long double>(numerator_));
        if (numerator_ != 0 && magnitude >= kScientificAbove) {
          generic = &CANumberFormat::defaultFloatFormat();
          break;
        }
        format = &CANumberFormat::defaultIntegerFormat();
        generic = format;
      }
      switch (format->display()) {
        case kDisplayAuto:
        case kDisplayBinary:
        case kDisplayOctal:
        case kDisplayInteger:
        case kDisplayHex:
        case kDisplayFraction:
          return format->formatInteger(numerator_);
        default:
          break;
      }
      break;
    }
    case kNumberFraction: {
      if (denominator_ == 0) return asInf().formatWith(format);
      if (denominator_ == 1 || numerator_ == 0) return CANumber(numerator_).formatWith(format);
      if (!format) format = &CANumberFormat::defaultFractionFormat();
      generic = format;
      switch (format->display()) {
        case kDisplayBinary:
        case kDisplayOctal:
        case kDisplayInteger:
        case kDisplayHex: {
          using Wide = unsigned __int128;  // |n| + d/2 may pass 64 bits
          const Wide half = NumberPreferences().roundDown ? 0 : denominator_ / 2;
          const auto rounded = uint64_t((Wide(Magnitude(numerator_)) + half) / Wide(denominator_));
          const int64_t value = numerator_ < 0 ? int64_t(0 - rounded) : int64_t(rounded);
          return format->formatInteger(value);
        }
        case kDisplayFloat:
          if (auto text = format->formatFractionAsFloat(numerator_, denominator_)) return *text;
          break;
        case kDisplayFraction:
          if (format->keepFraction()) return format->formatWhole(0, numerator_, denominator_);
          return format->formatWhole(TruncatedQuotient(numerator_, denominator_),
                                     numerator_ < 0 ? -int64_t(Magnitude(numerator_) % denominator_)
                                                    : int64_t(Magnitude(numerator_) % denominator_),
                                     denominator_);
        default:
          break;
      }
      break;
    }
    case kNumberReal: {
      const long double x = realValue_;
      // A real holding a non-finite value never reaches the number text.
      if (std::isnan(x)) return kValueText;
      if (std::isinf(x)) return kInfiniteText;
      if (!format) break;
      switch (format->display()) {
        case kDisplayBinary:
        case kDisplayOctal:
        case kDisplayInteger:
        case kDisplayHex: {
          const long double magnitude = std::fabs(x);
          if (!(magnitude < kIntegerDisplayLimit)) break;
          const long double rounded =
              NumberPreferences().roundDown ? std::trunc(magnitude) : std::floor(magnitude + 0.5L);
          const auto value = static_cast<int64_t>(rounded);
          return format->formatInteger(x < 0 ? -value : value);
        }
        case kDisplayPercent:
          if (std::fabs(x) >= kPercentLimit) generic = &CANumberFormat::defaultFloatFormat();
          break;
        case kDisplayFraction: {
          int64_t w = 0;
          int64_t n = 0;
          uint64_t d = 1;
          if (!ConvertRealToRational(x, &w, &n, &d)) break;
          int64_t scaled = 0;
          int64_t combined = 0;
          if (format->keepFraction() && d != 0 && d <= kMax && w >= 0 &&
              !__builtin_mul_overflow(w, int64_t(d), &scaled) &&
              !__builtin_add_overflow(scaled, n, &combined))
            return format->formatWhole(0, combined, d);
          return format->formatWhole(w, n, d);
        }
        default:
          break;
      }
      break;
    }
    case kNumberInfinity:
      return kInfiniteText;
    default:
      return kValueText;
  }

  // The generic path: an integer or a fraction by its exact decimal digits, a real by the
  // decimal it stands for, so that each rounds alike in every decimal display.
  if (!generic) generic = &CANumberFormat::defaultFloatFormat();
  const FLNumberValue value = form_ == kNumberInteger ? FLNumberValue::withFraction(numerator_, 1)
                              : form_ == kNumberFraction && denominator_ != 0
                                  ? FLNumberValue::withFraction(numerator_, denominator_)
                                  : FLNumberValue::withReal(realValue());
  switch (generic->display()) {
    case kDisplayDate: {
      const int64_t value = integerValue();
      // A value beyond 32 bits is no day index; -1 makes the date text refuse it.
      const int32_t dayIndex = value >= std::numeric_limits<int32_t>::min() &&
                                       value <= std::numeric_limits<int32_t>::max()
                                   ? int32_t(value)
                                   : -1;
      return generic->formatDate(dayIndex);
    }
    case kDisplayMoney:
      return generic->formatMoney(value);
    case kDisplayPercent:
      return generic->formatPercent(value);
    case kDisplayScientific:
      return generic->formatScientific(value);
    default:
      return generic->formatFloat(value);
  }
}

// ---------------------------------------------------------------------------------------------
// Arithmetic

bool CANumber::setExactResult(Wide numerator, UnsignedWide denominator) {
  // Most results fit 64 bits before reduction; their reduction needs no 128-bit division.
  if (numerator >= kInt64Min && numerator <= kInt64Max && denominator <= kMax) {
    form_ = kNumberFraction;
    numerator_ = int64_t(numerator);
    denominator_ = uint64_t(denominator);
    setCanonicalForm(false);
    return true;
  }
  // Products of two 64-bit terms and their sum fit 128 bits; reduced, the result is kept
  // exact when it fits a numerator of 64 bits and a denominator of 63.
  const UnsignedWide magnitude =
      numerator < 0 ? UnsignedWide(0) - UnsignedWide(numerator) : UnsignedWide(numerator);
  const UnsignedWide g = magnitude == 0 ? denominator : WideGcd(magnitude, denominator);
  const UnsignedWide reducedMagnitude = magnitude / g;
  const UnsignedWide reducedDenominator = denominator / g;
  if (reducedDenominator > kMax) return false;
  if (numerator < 0 ? reducedMagnitude > UnsignedWide(kMax) + 1 : reducedMagnitude > kMax)
    return false;
  numerator_ =
      numerator < 0 ? int64_t(uint64_t(0) - uint64_t(reducedMagnitude)) : int64_t(reducedMagnitude);
  denominator_ = uint64_t(reducedDenominator);
  form_ = denominator_ == 1 ? kNumberInteger : kNumberFraction;
  return true;
}

void CANumber::add(const CANumber& other) {
  if (operationIsInvalid(other.form_)) return;
  if (!requireFloatingPoint(other.form_)) {
    const uint64_t d1 = form_ == kNumberInteger ? 1 : denominator_;
    const uint64_t d2 = other.form_ == kNumberInteger ? 1 : other.denominator_;
    // a/d1 + b/d2 is exact whenever its reduced form fits 64 bits; only then the real path.
    if (d1 != 0 && d2 != 0 &&
        setExactResult(Wide(numerator_) * Wide(d2) + Wide(other.numerator_) * Wide(d1),
                       UnsignedWide(d1) * UnsignedWide(d2)))
      return;
  }
  becomeReal(realValue() + other.realValue());
  setCanonicalForm(false);
}

void CANumber::subtract(const CANumber& other) {
  if (operationIsInvalid(other.form_)) return;
  CANumber negated = other;
  negated.changeSign();
  add(negated);
}

void CANumber::multiply(const CANumber& other) {
  if (operationIsInvalid(other.form_)) return;
  if (isZero() || other.isZero()) {
    *this = CANumber();
    return;
  }
  if (!requireFloatingPoint(other.form_)) {
    const uint64_t d1 = form_ == kNumberInteger ? 1 : denominator_;
    const uint64_t d2 = other.form_ == kNumberInteger ? 1 : other.denominator_;
    if (d1 != 0 && d2 != 0 &&
        setExactResult(Wide(numerator_) * Wide(other.numerator_),
                       UnsignedWide(d1) * UnsignedWide(d2)))
      return;
  }
  becomeReal(realValue() * other.realValue());
  setCanonicalForm(false);
}

void CANumber::divide(const CANumber& other) {
  if (other.form_ == kNumberInfinity) {
    if (form_ != kNumberNaN) *this = CANumber(form_ == kNumberInfinity ? 1 : 0);
    return;
  }
  if (operationIsInvalid(other.form_)) return;
  if (other.realValue() == 0) {
    becomeInfinity();
    return;
  }
  CANumber inverse = other;
  inverse.invert();
  multiply(inverse);
}

void CANumber::invert() {
  switch (form_) {
    case kNumberInteger:
    case kNumberFraction: {
      if (numerator_ == 0) {
        becomeInfinity();
        return;
      }
      const uint64_t d = form_ == kNumberInteger ? 1 : denominator_;
      // A denominator beyond 63 bits cannot become a numerator.
      if (d == 0 || d > kMax) {
        becomeReal(1 / realValue());
        break;
      }
      const uint64_t magnitude = Magnitude(numerator_);
      numerator_ = numerator_ < 0 ? -int64_t(d) : int64_t(d);
      denominator_ = magnitude;
      form_ = kNumberFraction;
      break;
    }
    case kNumberReal:
      if (realValue_ == 0) {
        becomeInfinity();
        return;
      }
      realValue_ = 1 / realValue_;
      break;
    case kNumberInfinity:
      *this = CANumber();
      return;
    default:
      becomeNaN();
      return;
  }
  setCanonicalForm(false);
}

void CANumber::remainder(const CANumber& other) {
  if (form_ == kNumberNaN || other.form_ == kNumberNaN) {
    becomeNaN();
    return;
  }
  if (form_ == kNumberInfinity || other.form_ == kNumberInfinity) {
    becomeInfinity();
    return;
  }
  if (form_ == kNumberInteger && other.form_ == kNumberInteger) {
    if (other.numerator_ == 0) {
      becomeInfinity();
      return;
    }
    // Any integer is a multiple of -1; the division itself would trap on the minimum.
    numerator_ = other.numerator_ == -1 ? 0 : numerator_ % other.numerator_;
    setCanonicalForm(false);
    return;
  }
  const long double divisor = other.realValue();
  if (divisor == 0) {
    becomeInfinity();
    return;
  }
  becomeReal(std::fmod(realValue(), divisor));
  setCanonicalForm(false);
}

void CANumber::power(const CANumber& other) {
  if (operationIsInvalid(other.form_)) return;
  becomeReal(std::pow(realValue(), other.realValue()));
  setCanonicalForm(false);
}

void CANumber::squareRoot() {
  if (form_ == kNumberNaN || form_ == kNumberInfinity) return;
  const long double x = realValue();
  if (x < 0) {
    becomeNaN();
    return;
  }
  becomeReal(std::sqrt(x));
  setCanonicalForm(false);
}

void CANumber::factorial() {
  if (form_ == kNumberNaN || form_ == kNumberInfinity) return;
  if (form_ != kNumberInteger) makeInteger();
  if (numerator_ < 0) {
    becomeNaN();
    return;
  }
  if (numerator_ <= kLastFactorialInTable) {
    numerator_ = kFactorials[size_t(numerator_)];
    denominator_ = 1;
    return;
  }
  long double product = static_cast<long double>(kFactorials[kLastFactorialInTable]);
  // Past 1754! the product is infinite; stopping there also bounds the loop.
  for (int64_t k = kLastFactorialInTable + 1; k <= numerator_ && !std::isinf(product); ++k)
    product *= static_cast<long double>(k);
  if (std::isinf(product)) {
    becomeInfinity();
    return;
  }
  becomeReal(std::floor(product));
}

void CANumber::gcd(const CANumber& other) {
  makeInteger();
  const int64_t b = other.integerValue();
  if (operationIsInvalid(other.form_)) return;
  const int64_t a = numerator_;
  if (a < 0 || b < 0) {
    becomeNaN();
    return;
  }
  numerator_ = int64_t(Gcd(uint64_t(a), uint64_t(b)));
}

void CANumber::lcm(const CANumber& other) {
  makeInteger();
  const int64_t b = other.integerValue();
  if (operationIsInvalid(other.form_)) return;
  const int64_t a = numerator_;
  if (a < 0 || b < 0) {
    becomeNaN();
    return;
  }
  if (a == 0 || b == 0) {
    numerator_ = 0;
    return;
  }
  const int64_t quotient = a / int64_t(Gcd(uint64_t(a), uint64_t(b)));
  int64_t product = 0;
  if (__builtin_mul_overflow(quotient, b, &product)) {
    // Like the other exact operations, a multiple beyond 64 bits goes on as a real.
    becomeReal(static_cast<long double>(quotient) * static_cast<long double>(b));
    return;
  }
  numerator_ = product;
}

void CANumber::changeSign() {
  switch (form_) {
    case kNumberInteger:
    case kNumberFraction:
      if (numerator_ == kInt64Min)
        becomeReal(-realValue());  // its negation does not fit 64 bits
      else
        numerator_ = -numerator_;
      break;
    case kNumberReal:
    case kNumberInfinity:
      if (realValue_ != 0) realValue_ = -realValue_;
      break;
    default:
      break;
  }
  setCanonicalForm(false);
}

void CANumber::makePositive() {
  if (!isPositive() && form_ != kNumberReal) {
    changeSign();
    return;
  }
  if (form_ == kNumberReal) realValue_ = std::fabs(realValue_);
  setCanonicalForm(false);
}

void CANumber::makeInteger(int wordSize) {
  switch (form_) {
    case kNumberInteger:
      break;
    case kNumberFraction:
      numerator_ = integerValue();
      break;
    case kNumberReal:
      numerator_ = TruncateToInt64(realValue_);
      break;
    case kNumberNaN:
    case kNumberInfinity:
      return;
    default:
      numerator_ = 0;
      break;
  }
  form_ = kNumberInteger;
  denominator_ = 1;
  enforceWordSize(wordSize);
}

bool CANumber::enforceWordSize(int wordSize) {
  if (wordSize == 32) {
    numerator_ = int64_t(int32_t(uint32_t(uint64_t(numerator_))));
    return numerator_ < 0;
  }
  if (wordSize == 16) {
    numerator_ = int64_t(int16_t(uint16_t(uint64_t(numerator_))));
    return numerator_ < 0;
  }
  return false;
}
