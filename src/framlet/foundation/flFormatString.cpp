// The directive formatter: splits the format at "%", reads modifiers and one directive letter,
// and writes each argument the way its letter asks.
#include "framlet/foundation/flFormatString.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flLengths.h"
#include "framlet/foundation/flStringExtensions.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>

namespace {

constexpr const char* kUnknownDirective = "Unknown directive";
constexpr const char* kMissingArgument = "Missing argument for directive";
constexpr const char* kOutOfRange = "!";
constexpr const char* kNullDescription = "(null)";
constexpr std::u16string_view kDirectiveLetters = u"@abcCdDfgiIlLmorRsStxXyYz";

constexpr char16_t kFigureSpace = u'\u2007';
constexpr char16_t kNoBreakSpace = u'\u00A0';
constexpr char16_t kCombiningMacron = u'\u0304';

// Measure unit codes chosen by modifiers; 13 is the user's chosen unit.
constexpr int kUserMeasureUnit = 13;
constexpr int kGroupingMeasureUnit = 0;
constexpr int kBlankZeroMeasureUnit = 5;
constexpr int kQuoteMeasureUnit = 1;

// Widths and precisions beyond these come only from malformed formats.
constexpr int kMaxWidth = 1024;
constexpr int kMaxPrecision = 60;
constexpr int kMaxHexDigits = 64;
constexpr qsizetype kMaxFloatText = 63;
constexpr int kMaxLetters = 64;
constexpr uint64_t kMaxRoman = 3999999;
constexpr uint64_t kMaxFootnote = 385;
constexpr uint64_t kWordsLimit = 1000000000000ULL;  // the scale words end at billions

constexpr std::array<const char*, 10> kUnitWords = {"zero", "one", "two",   "three", "four",
                                                    "five", "six", "seven", "eight", "nine"};
constexpr std::array<const char*, 10> kOrdinalUnitWords = {
    "zeroth", "first", "second", "third", "fourth", "fifth", "sixth", "seventh", "eighth", "ninth"};
constexpr std::array<const char*, 10> kTeenWords = {"",        "eleven",  "twelve",    "thirteen", "fourteen",
                                                    "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
constexpr std::array<const char*, 10> kTensWords = {"",      "ten",   "twenty",  "thirty", "forty",
                                                    "fifty", "sixty", "seventy", "eighty", "ninety"};
constexpr std::array<const char*, 4> kScaleWords = {"", "thousand", "million", "billion"};
constexpr const char* kHundredWord = "hundred";
constexpr const char* kTwelfthWord = "twelfth";

constexpr std::array<const char16_t*, 6> kFootnoteMarks = {u"*", u"†", u"‡", u"§", u"‖", u"#"};

struct RomanDigit {
  unsigned value;
  const char* letters;
};
constexpr std::array<RomanDigit, 13> kRomanDigits = {{{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"},
                                                      {100, "C"},  {90, "XC"},  {50, "L"},  {40, "XL"},
                                                      {10, "X"},   {9, "IX"},   {5, "V"},   {4, "IV"},
                                                      {1, "I"}}};

// One byte of Mac OS Roman text; 0 gives nothing.
QString MacRomanChar(uint8_t byte) {
  const char bytes[2] = {char(byte), 0};
  return stringWithMacString(bytes);
}

std::mutex g_measureLock;
FLMeasureTextFormatter g_measureFormatter;

// Points with up to three decimals, for processes where the shell has installed nothing.
QString DefaultMeasureText(int64_t emu, int decimals, bool /*scalar*/, bool showUnits, int /*unitCode*/) {
  if (emu == 0) return QStringLiteral("0");
  if (emu == std::numeric_limits<int64_t>::max()) return QStringLiteral("-");
  const bool negative = emu < 0;
  const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(emu) : uint64_t(emu);
  uint64_t whole = magnitude / kEmuPerPoint;
  uint64_t thousandths = ((magnitude % kEmuPerPoint) * 1000 + kEmuPerPoint / 2) / kEmuPerPoint;
  if (thousandths >= 1000) {
    ++whole;
    thousandths = 0;
  }
  QString text = QString::number(whole);
  if (thousandths) {
    QString fraction = QStringLiteral("%1").arg(thousandths, 3, 10, QLatin1Char('0'));
    while (fraction.endsWith(u'0')) fraction.chop(1);
    if (decimals > 0) fraction.truncate(decimals);
    if (!fraction.isEmpty()) text += u'.' + fraction;
  }
  if (negative) text.prepend(u'-');
  if (showUnits) text += QStringLiteral(" pt");
  return text;
}

QString MeasureText(int64_t emu, int decimals, bool scalar, bool showUnits, int unitCode) {
  FLMeasureTextFormatter formatter;
  {
    std::lock_guard guard(g_measureLock);
    formatter = g_measureFormatter;
  }
  if (formatter) return formatter(emu, decimals, scalar, showUnits, unitCode);
  return DefaultMeasureText(emu, decimals, scalar, showUnits, unitCode);
}

// Decimal digits of a magnitude, "," before every further three when grouping, "-" in front
// when negative; a zero magnitude with blankZero gives nothing.
QString FormatIntegerDigits(uint64_t magnitude, bool blankZero, bool grouping, bool negative) {
  if (magnitude == 0 && blankZero) return QString();
  QString text;
  int count = 0;
  do {
    if (grouping && count > 0 && count % 3 == 0) text.prepend(u',');
    text.prepend(QChar(u'0' + int(magnitude % 10)));
    magnitude /= 10;
    ++count;
  } while (magnitude);
  if (negative) text.prepend(u'-');
  return text;
}

// Inserts a word in front; the rightmost word of an ordinal takes "th" ("twenty" -> "twentieth").
void PrependString(QString& text, QString word, QChar separator, bool ordinal) {
  if (!text.isEmpty()) {
    text.prepend(separator);
  } else if (ordinal) {
    if (word.endsWith(u'y')) {
      word.chop(1);
      word += QStringLiteral("ie");
    }
    word += QStringLiteral("th");
  }
  text.prepend(word);
}

QString RomanNumeral(uint64_t value, bool withBars) {
  QString text;
  for (const RomanDigit& digit : kRomanDigits) {
    while (value >= digit.value) {
      for (const char* letter = digit.letters; *letter; ++letter) {
        text += QLatin1Char(*letter);
        if (withBars) text += QChar(kCombiningMacron);
      }
      value -= digit.value;
    }
  }
  return text;
}

QString RomanText(uint64_t value) {
  if (value == 0) return QStringLiteral("0");
  if (value > kMaxRoman) return QString::fromLatin1(kOutOfRange);
  // Thousands above three are written as a barred numeral (each bar multiplies by 1000).
  if (value / 1000 > 3) return RomanNumeral(value / 1000, true) + RomanNumeral(value % 1000, false);
  return RomanNumeral(value, false);
}

QString LetterLabel(uint64_t value, char first) {
  if (value == 0) return QStringLiteral("0");
  QString text;
  while (value > 0) {
    --value;
    text.prepend(QLatin1Char(char(first + value % 26)));
    value /= 26;
    if (text.size() > kMaxLetters) return QString::fromLatin1(kOutOfRange);
  }
  return text;
}

QString FootnoteMark(uint64_t value) {
  if (value < 1) return QStringLiteral("0");
  if (value > kMaxFootnote) return QString::fromLatin1(kOutOfRange);
  return QString::fromUtf16(kFootnoteMarks[(value - 1) % 6]).repeated(qsizetype((value - 1) / 6 + 1));
}

QString OrdinalDigits(uint64_t value) {
  const char* suffix = "th";
  const uint64_t lastTwo = value % 100;
  if (lastTwo < 11 || lastTwo > 19) {
    switch (value % 10) {
      case 1: suffix = "st"; break;
      case 2: suffix = "nd"; break;
      case 3: suffix = "rd"; break;
      default: break;
    }
  }
  return FormatIntegerDigits(value, false, true, false) + QLatin1String(suffix);
}

QString HexDigits(uint64_t value, int width) {
  const int minimum = std::min(std::max(width, 1), kMaxHexDigits);
  QString text;
  while (value || text.size() < minimum) {
    text.prepend(QLatin1Char("0123456789ABCDEF"[value & 0xF]));
    value >>= 4;
  }
  return text;
}

QString FixedDigits(uint64_t value, int count, int bits) {
  QString text(count, u'0');
  for (int i = count - 1; i >= 0; --i) {
    text[i] = QChar(u'0' + int(value & ((uint64_t(1) << bits) - 1)));
    value >>= bits;
  }
  return text;
}

struct Directive {
  bool padAfter = false;
  bool grouping = false;
  bool blankZero = false;
  bool forceExponent = false;
  bool precisionGiven = false;
  QChar pad = u' ';
  int width = 0;
  int precision = 0;
  int caseMode = 0;  // 1 upper, 2 lower
  int measureUnit = kUserMeasureUnit;
  char16_t letter = 0;
};

// A magnitude below 2 to the 64th with `precision` decimals, rounded half up (row heights saved
// as "%.4f" must read back as typed, 12.7 and not 12.6999).
QString FixedText(bool negative, long double magnitude, int precision, const Directive& directive) {
  const int exact = std::min(precision, 18);
  uint64_t unit = 1;
  for (int i = 0; i < exact; ++i) unit *= 10;
  long double whole = std::floor(magnitude);
  const long double fraction = magnitude - whole;
  uint64_t fractionDigits = static_cast<uint64_t>(fraction * static_cast<long double>(unit) + 0.5L);
  if (fractionDigits >= unit) {
    fractionDigits -= unit;
    whole += 1;
  }
  if (directive.blankZero && whole == 0 && fractionDigits == 0) return QString();
  QString text;
  if (whole >= 18446744073709551616.0L)
    text = directive.grouping ? QStringLiteral("18,446,744,073,709,551,616") : QStringLiteral("18446744073709551616");
  else
    text = FormatIntegerDigits(static_cast<uint64_t>(whole), false, directive.grouping, false);
  if (negative) text.prepend(u'-');
  if (precision > 0) {
    text += u'.';
    if (exact > 0) text += QStringLiteral("%1").arg(fractionDigits, exact, 10, QLatin1Char('0'));
    text += QString(precision - exact, u'0');
  }
  text.truncate(kMaxFloatText);
  return text;
}

// Whether the mantissa rounds up to 10 at this precision, so the exponent must take the carry.
bool RoundsToTen(long double mantissa, int precision) {
  return mantissa + 0.5L * std::pow(10.0L, -static_cast<long double>(std::min(precision, 18))) >= 10;
}

QString FloatText(long double x, const Directive& directive) {
  if (std::isnan(x)) return QStringLiteral("NaN");
  const bool negative = std::signbit(x) && x != 0;
  if (std::isinf(x)) return negative ? QStringLiteral("-∞") : QStringLiteral("∞");
  long double magnitude = std::fabs(x);
  const int p = directive.precision;

  if (magnitude >= 18446744073709551616.0L) {
    int exponent = 0;
    while (magnitude >= 10) {
      magnitude /= 10;
      ++exponent;
    }
    if (RoundsToTen(magnitude, p)) {
      magnitude /= 10;
      ++exponent;
    }
    Directive plain = directive;
    plain.blankZero = false;
    return FixedText(negative, magnitude, p, plain) + StringWithFormat("E+%d", exponent);
  }
  if (magnitude != 0 && magnitude < 1) {
    long double mantissa = magnitude;
    int exponent = 0;
    while (mantissa < 1 && exponent < 99) {
      mantissa *= 10;
      ++exponent;
    }
    if (directive.forceExponent || exponent > p) {
      if (RoundsToTen(mantissa, p) && exponent > 0) {
        mantissa /= 10;
        --exponent;
      }
      Directive plain = directive;
      plain.blankZero = false;
      return FixedText(negative, mantissa, p, plain) + StringWithFormat("E-%d", exponent);
    }
  }
  return FixedText(negative, magnitude, p, directive);
}

// Width for the numeric directives: "0" pads in front (after a minus sign), unless "-" asked
// for padding after; the other pad characters always fill after the text.
void PadNumber(QString& text, const Directive& directive) {
  const qsizetype missing = directive.width - text.size();
  if (missing <= 0) return;
  const bool inFront = directive.pad != u' ' && directive.pad != QChar(kNoBreakSpace) &&
                       directive.pad != QChar(kFigureSpace) && !directive.padAfter;
  if (inFront) {
    text.insert(text.startsWith(u'-') ? 1 : 0, QString(missing, directive.pad));
  } else {
    // Zeros after the digits would change the number ("%-05d" of 3 is "3    ", not "30000").
    const QChar pad = directive.pad == u'0' ? QChar(u' ') : directive.pad;
    text.append(QString(missing, pad));
  }
}

void PadText(QString& text, const Directive& directive) {
  const qsizetype missing = directive.width - text.size();
  if (missing > 0) text.append(QString(missing, directive.pad));
}

QString ApplyCase(const QString& text, int caseMode) {
  if (caseMode == 1) return text.toUpper();
  if (caseMode == 2) return text.toLower();
  return text;
}

QString Description(const FLFormatWord& word) {
  using Kind = FLFormatWord::Kind;
  switch (word.kind) {
    case Kind::Integer:
      return word.isSigned ? QString::number(int64_t(word.bits)) : QString::number(word.bits);
    case Kind::Real: return QString::number(double(word.real), 'g', QLocale::FloatingPointShortest);
    case Kind::SignedPointer:
      return word.signedPointer ? QString::number(*word.signedPointer) : QString::fromLatin1(kNullDescription);
    case Kind::UnsignedPointer:
      return word.unsignedPointer ? QString::number(*word.unsignedPointer) : QString::fromLatin1(kNullDescription);
    case Kind::CString: return word.cString ? QString::fromUtf8(word.cString) : QString::fromLatin1(kNullDescription);
    case Kind::Text: return word.text;
    case Kind::Null: return QString::fromLatin1(kNullDescription);
  }
  return QString();
}

uint64_t UnsignedValue(const FLFormatWord& word) {
  using Kind = FLFormatWord::Kind;
  switch (word.kind) {
    case Kind::Integer: return word.bits;
    case Kind::Real: {
      const long double r = std::trunc(word.real);
      if (!(r == r)) return 0;
      if (r <= -9223372036854775808.0L) return uint64_t(1) << 63;
      if (r < 0) return uint64_t(static_cast<int64_t>(r));
      if (r >= 18446744073709551616.0L) return std::numeric_limits<uint64_t>::max();
      return static_cast<uint64_t>(r);
    }
    case Kind::SignedPointer: return word.signedPointer ? uint64_t(*word.signedPointer) : 0;
    case Kind::UnsignedPointer: return word.unsignedPointer ? *word.unsignedPointer : 0;
    default: return 0;
  }
}

long double RealValue(const FLFormatWord& word) {
  if (word.kind == FLFormatWord::Kind::Real) return word.real;
  const uint64_t bits = UnsignedValue(word);
  const bool isSigned = word.kind == FLFormatWord::Kind::SignedPointer ||
                        (word.kind == FLFormatWord::Kind::Integer && word.isSigned);
  return isSigned ? static_cast<long double>(int64_t(bits)) : static_cast<long double>(bits);
}

QString SignedDecimal(int64_t value, const Directive& directive) {
  const bool negative = value < 0;
  const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  QString text = FormatIntegerDigits(magnitude, directive.blankZero, directive.grouping, negative);
  PadNumber(text, directive);
  return text;
}

QString WriteDirective(const Directive& directive, const FLFormatWord& word) {
  using Kind = FLFormatWord::Kind;
  QString text;
  switch (directive.letter) {
    case u'@': text = Description(word); break;
    case u'a': text = FormatTextNumber(UnsignedValue(word), false, directive.caseMode == 1); break;
    case u'I': text = FormatTextNumber(UnsignedValue(word), true, directive.caseMode == 1); break;
    case u'b': text = FixedDigits(UnsignedValue(word) & 0xFFFFFFFFu, 32, 1); break;
    case u'o': text = FixedDigits(UnsignedValue(word) & 0x1FFFFFFFFULL, 11, 3); break;
    case u'c': {
      const uint8_t byte = uint8_t(UnsignedValue(word));
      text = ApplyCase(MacRomanChar(byte), directive.caseMode);
      break;
    }
    case u'C': {
      const char16_t unit = char16_t(UnsignedValue(word));
      if (unit) text = ApplyCase(QString(QChar(unit)), directive.caseMode);
      break;
    }
    case u'd': return SignedDecimal(int32_t(uint32_t(UnsignedValue(word))), directive);
    case u'D': return SignedDecimal(int64_t(UnsignedValue(word)), directive);
    case u'f': {
      text = FloatText(RealValue(word), directive);
      PadNumber(text, directive);
      return text;
    }
    case u'g': {
      const uint32_t code = uint32_t(UnsignedValue(word));
      for (int shift = 24; shift >= 0; shift -= 8) text += MacRomanChar(uint8_t(code >> shift));
      break;
    }
    case u'i': text = OrdinalDigits(UnsignedValue(word)); break;
    case u'l': text = LetterLabel(UnsignedValue(word), 'a'); break;
    case u'L': text = LetterLabel(UnsignedValue(word), 'A'); break;
    case u'm':
      text = MeasureText(int64_t(UnsignedValue(word)), directive.precision, false, true, directive.measureUnit);
      break;
    case u'r': text = RomanText(UnsignedValue(word)).toLower(); break;
    case u'R': text = RomanText(UnsignedValue(word)); break;
    case u's':
      if (word.kind == Kind::CString && word.cString)
        text = ApplyCase(stringWithMacString(word.cString), directive.caseMode);
      else if (word.kind == Kind::Text)
        text = ApplyCase(word.text, directive.caseMode);
      break;
    case u'S':
      if (word.kind != Kind::Null && !(word.kind == Kind::CString && !word.cString))
        text = ApplyCase(Description(word), directive.caseMode);
      break;
    case u't': return QString();
    case u'x':
    case u'X':
    case u'y':
    case u'Y': return HexDigits(UnsignedValue(word), directive.width);
    case u'z': text = FootnoteMark(UnsignedValue(word)); break;
    default:
      LogAssert(kUnknownDirective, __func__, __FILE__, __LINE__);
      return QString();
  }
  PadText(text, directive);
  return text;
}

// Reads the modifiers after a "%" at `pos`; on success fills the directive and leaves `pos` on
// its letter. False when the piece is not a directive (pos then at the offending character).
bool ReadDirective(QStringView format, qsizetype& pos, Directive& directive) {
  if (pos < format.size() && format[pos] == u'-') {
    directive.padAfter = true;
    ++pos;
  }
  bool widthStarted = false;
  while (pos < format.size()) {
    const QChar c = format[pos];
    if (c == u',') {
      directive.grouping = true;
      directive.measureUnit = kGroupingMeasureUnit;
    } else if (c == u'!') {
      directive.blankZero = true;
      directive.measureUnit = kBlankZeroMeasureUnit;
    } else if (c == u'"') {
      directive.measureUnit = kQuoteMeasureUnit;
    } else if (c == u'#') {
      directive.pad = QChar(kFigureSpace);
    } else if (c == u'=') {
      directive.pad = QChar(kNoBreakSpace);
    } else if (c == u'>') {
      directive.caseMode = 1;
    } else if (c == u'<') {
      directive.caseMode = 2;
    } else if (c == u'^') {
      directive.forceExponent = true;
    } else if (c.isDigit() && c.unicode() < 0x80) {
      if (!widthStarted && c == u'0') directive.pad = u'0';
      widthStarted = true;
      directive.width = std::min(kMaxWidth, directive.width * 10 + (c.unicode() - u'0'));
    } else if (c == u'.') {
      directive.precisionGiven = true;
      directive.precision = 0;
      while (pos + 1 < format.size() && format[pos + 1].unicode() >= u'0' && format[pos + 1].unicode() <= u'9') {
        ++pos;
        directive.precision = std::min(kMaxPrecision, directive.precision * 10 + (format[pos].unicode() - u'0'));
      }
    } else {
      break;
    }
    ++pos;
  }
  if (pos >= format.size()) return false;
  if (kDirectiveLetters.find(format[pos].unicode()) == std::u16string_view::npos) return false;
  directive.letter = format[pos].unicode();
  return true;
}

}  // namespace

QString FormatTextNumber(uint64_t value, bool ordinal, bool capitalise) {
  QString text;
  if (value == 0) {
    text = QString::fromLatin1(ordinal ? kOrdinalUnitWords[0] : kUnitWords[0]);
  } else if (value >= kWordsLimit) {
    return QString::fromLatin1(kOutOfRange);
  } else {
    for (size_t scale = 0; value > 0 && scale < kScaleWords.size(); ++scale, value /= 1000) {
      const unsigned group = unsigned(value % 1000);
      if (group == 0) continue;
      if (scale > 0) PrependString(text, QString::fromLatin1(kScaleWords[scale]), u' ', ordinal);
      const unsigned lastTwo = group % 100;
      if (lastTwo >= 11 && lastTwo <= 19) {
        if (ordinal && text.isEmpty() && lastTwo == 12)
          text = QString::fromLatin1(kTwelfthWord);
        else
          PrependString(text, QString::fromLatin1(kTeenWords[lastTwo - 10]), u' ', ordinal);
      } else {
        const unsigned unit = lastTwo % 10;
        const unsigned tens = lastTwo / 10;
        if (unit) {
          if (ordinal && text.isEmpty())
            text = QString::fromLatin1(kOrdinalUnitWords[unit]);
          else
            PrependString(text, QString::fromLatin1(kUnitWords[unit]), u' ', false);
        }
        if (tens) PrependString(text, QString::fromLatin1(kTensWords[tens]), unit ? u'-' : u' ', ordinal);
      }
      if (group / 100) {
        PrependString(text, QString::fromLatin1(kHundredWord), u' ', ordinal);
        PrependString(text, QString::fromLatin1(kUnitWords[group / 100]), u' ', false);
      }
    }
  }
  if (capitalise && !text.isEmpty()) text[0] = text[0].toUpper();
  return text;
}

FLMeasureTextFormatter SetMeasureFormatter(FLMeasureTextFormatter formatter) {
  std::lock_guard guard(g_measureLock);
  std::swap(g_measureFormatter, formatter);
  return formatter;
}

QString FormatStringArgs(const QString& format, std::initializer_list<FLFormatWord> args) {
  const QStringView view(format);
  QString out;
  const FLFormatWord* next = args.begin();
  qsizetype pos = 0;
  while (pos < view.size()) {
    const qsizetype percent = view.indexOf(u'%', pos);
    if (percent < 0) {
      out += view.mid(pos);
      break;
    }
    out += view.mid(pos, percent - pos);
    pos = percent + 1;
    // Each "%" that follows at once ends an empty piece, which stands for a literal "%"; what
    // comes after the pair is still read as a directive ("100%%d" of 5 is "100%5").
    while (pos < view.size() && view[pos] == u'%') {
      out += u'%';
      ++pos;
    }
    if (pos >= view.size()) break;  // a lone "%" at the end writes nothing
    Directive directive;
    qsizetype letter = pos;
    if (!ReadDirective(view, letter, directive)) {
      // Not a directive: the piece is copied as written, without its "%".
      if (letter < view.size() && view[letter].isLetter() && view[letter].unicode() < 0x80)
        LogAssert(kUnknownDirective, __func__, __FILE__, __LINE__);
      continue;
    }
    pos = letter + 1;
    if (next == args.end()) {
      LogAssert(kMissingArgument, __func__, __FILE__, __LINE__);
      continue;
    }
    out += WriteDirective(directive, *next++);
  }
  return out;
}
