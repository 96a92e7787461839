// Number formats: options for the number text, money, percent, fraction and date text, the
// "num_fmt" element, and the conversion from Excel number-format codes.
#include "calculator/model/CANumberFormat.h"

#include "framlet/foundation/flFonts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <string>

#include "calculator/model/caExcelNumberFormat.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flDates.h"

namespace {

constexpr const char* kDisplayNames[] = {"auto", "float", "bin",   "oct", "int", "hex",
                                         "date", "fract", "money", "%",   "sci"};
constexpr const char* kDateOrderNames[] = {"-", "dmy", "mdy", "ymd"};
constexpr const char* kMonthNames[] = {"-", "s", "m", "l"};
constexpr const char* kWeekdayNames[] = {"-", "s", "l"};
constexpr const char* kYearNames[] = {"-", "s", "l"};

constexpr const char* kShortWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};

constexpr const char* kBadDateText = "<Date>";
constexpr const char* kTypeAttribute = "type";
constexpr const char* kExcelGeneralSection = "general";
constexpr int32_t kExcelDateValueType = 2;
constexpr int64_t kFractionDecimalsDenominator = 10000;
constexpr int kFractionDecimals = 4;

// The number-format tags of the document's tag vocabulary: their keys, and the names they are
// written with ("100s" is an older name of "hunds").
enum NumberFormatTag {
  kTagOrder,
  kTagYear,
  kTagMonth,
  kTagWeekday,
  kTagPadDayMonth,
  kTagOmitDay,
  kTagNoSeparators,
  kTagShortDashes,
  kTagSize,
  kTagThousands,
  kTagNegative,
  kTagZero,
  kTagFraction,
  kTagSymbol,
  kTagTraditional,
  kTagNoScientific,
  kTagHundredths,
  kTagSignificantDigits,
  kTagUnknown,
};

struct TagEntry {
  int32_t key;
  const char* name;
  NumberFormatTag tag;
};

constexpr TagEntry kTags[] = {
    {19, "order", kTagOrder},
    {35, "year", kTagYear},
    {22, "month", kTagMonth},
    {33, "weekday", kTagWeekday},
    {28, "pad_dm", kTagPadDayMonth},
    {27, "omitday", kTagOmitDay},
    {25, "nosep", kTagNoSeparators},
    {70, "short_", kTagShortDashes},
    {26, "size", kTagSize},
    {31, "thous", kTagThousands},
    {23, "neg", kTagNegative},
    {36, "zero", kTagZero},
    {21, "fraction", kTagFraction},
    {77, "sym", kTagSymbol},
    {32, "trad", kTagTraditional},
    {24, "nosn", kTagNoScientific},
    {20, "hunds", kTagHundredths},
    {20, "100s", kTagHundredths},
    {30, "sigdigits", kTagSignificantDigits},
};

const char* TagName(NumberFormatTag tag) {
  for (const TagEntry& entry : kTags)
    if (entry.tag == tag) return entry.name;
  return "";
}

// By key when the document's key table is installed, else by name.
NumberFormatTag TagOf(const FLXmlDecoder& decoder) {
  for (const TagEntry& entry : kTags)
    if (decoder.key() != 0 && decoder.key() == entry.key) return entry.tag;
  for (const TagEntry& entry : kTags)
    if (decoder.xmlTag() == QLatin1String(entry.name)) return entry.tag;
  return kTagUnknown;
}

template <size_t N>
const char* NameAt(const char* const (&names)[N], int32_t index) {
  return index >= 0 && size_t(index) < N ? names[index] : names[0];
}

bool IsIntegerDisplay(int32_t display) {
  return display == kDisplayBinary || display == kDisplayOctal || display == kDisplayInteger ||
         display == kDisplayHex;
}

// Bin, oct, int, hex and fract take a word size; the others decimal places.
bool IsWordSizeDisplay(int32_t display) {
  return IsIntegerDisplay(display) || display == kDisplayFraction;
}

int64_t DefaultSizeForDisplay(int32_t display) { return IsWordSizeDisplay(display) ? 0 : -1; }

CANumberLocale& MutableNumberTextLocale() {
  static CANumberLocale locale;
  return locale;
}

std::mutex g_preferencesLock;
CANumberPreferencesProvider& PreferencesProvider() {
  static CANumberPreferencesProvider provider;
  return provider;
}

QString DigitsText(uint64_t value) { return QString::number(value); }

// The order a new date format shows: the order in which typed dates are read, so that a date
// shown can be typed back as it is.
int32_t LocaleDateOrder() { return DayFirstDateFormat() ? kDateOrderDMY : kDateOrderMDY; }

// Whether the last character of the text with a direction of its own is written right to left.
bool EndsRightToLeft(const QString& text) {
  for (qsizetype i = text.size(); i-- > 0;) {
    switch (text[i].direction()) {
      case QChar::DirR:
      case QChar::DirAL: return true;
      case QChar::DirL: return false;
      default: break;
    }
  }
  return false;
}

}  // namespace

const CANumberLocale& NumberTextLocale() { return MutableNumberTextLocale(); }

void SetNumberTextLocale(const QLocale& locale) {
  CANumberLocale& settings = MutableNumberTextLocale();
  const QString decimal = locale.decimalPoint();
  settings.decimalSeparator = decimal.isEmpty() ? QStringLiteral(".") : decimal;
  settings.decimalSeparatorChar = settings.decimalSeparator[0];
  const QString group = locale.groupSeparator();
  settings.groupSeparator = group.isEmpty() ? QStringLiteral(",") : group;
  settings.groupSeparatorChar = settings.groupSeparator[0];
  settings.currencySymbol = LocaleCurrencySymbol(locale);
}

QString LocaleCurrencySymbol(const QLocale& locale) {
  // A locale that Qt gives no sign (Italian Switzerland), or whose sign no installed font draws,
  // shows its currency's code, never another country's sign; only a locale without a currency
  // (the C locale) falls back on "$".
  QString currency = locale.currencySymbol();
  if (currency.isEmpty() || !InstalledFontsDrawText(currency))
    currency = locale.currencySymbol(QLocale::CurrencyIsoCode);
  return currency.isEmpty() ? QStringLiteral("$") : currency;
}

void SetNumberPreferencesProvider(CANumberPreferencesProvider provider) {
  std::lock_guard guard(g_preferencesLock);
  PreferencesProvider() = std::move(provider);
}

CANumberPreferences NumberPreferences() {
  CANumberPreferencesProvider provider;
  {
    std::lock_guard guard(g_preferencesLock);
    provider = PreferencesProvider();
  }
  CANumberPreferences preferences = provider ? provider() : CANumberPreferences();
  if (preferences.integerWordSize == 0) preferences.integerWordSize = 64;
  return preferences;
}

// ---------------------------------------------------------------------------------------------

CANumberFormat::CANumberFormat()
    : dateOrder_(LocaleDateOrder()) {}

const CANumberFormat& CANumberFormat::defaultFloatFormat() {
  static const CANumberFormat format = [] {
    CANumberFormat f;
    f.setDisplay(kDisplayFloat);
    return f;
  }();
  return format;
}

const CANumberFormat& CANumberFormat::defaultIntegerFormat() {
  static const CANumberFormat format = [] {
    CANumberFormat f;
    f.setDisplay(kDisplayInteger);
    f.setSize(0);
    return f;
  }();
  return format;
}

const CANumberFormat& CANumberFormat::defaultFractionFormat() {
  static const CANumberFormat format = [] {
    CANumberFormat f;
    f.setDisplay(kDisplayFraction);
    f.setSize(0);
    return f;
  }();
  return format;
}

void CANumberFormat::setDisplay(int32_t display) {
  if (IsWordSizeDisplay(display) != IsWordSizeDisplay(display_))
    size_ = DefaultSizeForDisplay(display);
  display_ = display;
}

FLNumberFormatOptions CANumberFormat::setupOptions() const {
  const CANumberLocale& locale = NumberTextLocale();
  const CANumberPreferences preferences = NumberPreferences();
  FLNumberFormatOptions options;
  options.groupSeparator = groupThousands_ ? locale.groupSeparator : QString();
  options.decimalSeparator = locale.decimalSeparator;
  options.digits = size_;
  options.defaultDigits = preferences.decimalDigits;
  options.defaultWordSize = preferences.integerWordSize;
  options.onlySignificantDigits = onlySignificantDigits_;
  options.forceHundredths = forceHundredths_;
  options.disallowScientific = disallowScientific_;
  options.traditionalScientific = traditionalScientific_;
  options.zeroBlank = zeroBlank_;
  options.negativeParens = negativeParens_;
  options.roundDown = preferences.roundDown;
  return options;
}

QString CANumberFormat::formatInteger(int64_t value) const {
  int base = 10;
  switch (display_) {
    case kDisplayBinary:
      base = 2;
      break;
    case kDisplayOctal:
      base = 8;
      break;
    case kDisplayHex:
      base = 16;
      break;
    default:
      break;
  }
  return FormatInteger(value, base, setupOptions());
}

QString CANumberFormat::formatFloat(long double x) const { return FormatFloat(setupOptions(), x); }

QString CANumberFormat::formatFloat(const FLNumberValue& value) const { return FormatFloat(setupOptions(), value); }

QString CANumberFormat::formatScientific(long double x) const {
  return FormatScientific(setupOptions(), x);
}

QString CANumberFormat::formatScientific(const FLNumberValue& value) const {
  return FormatScientific(setupOptions(), value);
}

QString CANumberFormat::formatMoney(long double x) const { return formatMoney(FLNumberValue::withReal(x)); }

QString CANumberFormat::formatMoney(const FLNumberValue& value) const {
  if (value.isZero() && zeroBlank_) return QString(QLatin1String(""));
  FLNumberFormatOptions options = setupOptions();
  // Whole units, cents through "force hundredths", unless the user chose a number of decimals:
  // that choice is shown.
  const bool decimalsChosen = size_ >= 0 && size_ != kAutomaticSize && !forceHundredths_;
  options.digits = decimalsChosen ? size_ : 0;
  options.onlySignificantDigits = false;
  options.disallowScientific = false;
  options.zeroBlank = false;
  options.negativeParens = false;
  const bool parentheses = value.isNegative() && negativeParens_;
  QString text = FormatFloat(options, parentheses ? value.magnitude() : value);
  const QString& symbol = currencySymbol_.isEmpty() ? NumberTextLocale().currencySymbol : currencySymbol_;
  // After a sign written right to left (the afghani, the Arabic ones) the amount and its minus would
  // join the sign's run and be laid out around it ("0٫50-؋"); a left-to-right mark, which the
  // reader passes over, keeps them in their order after the sign.
  if (EndsRightToLeft(symbol)) text.prepend(QChar(0x200E));
  text.prepend(symbol);
  if (parentheses) MakeStringNegative(text, true);
  return text;
}

QString CANumberFormat::formatPercent(long double x) const { return formatPercent(FLNumberValue::withReal(x)); }

QString CANumberFormat::formatPercent(const FLNumberValue& value) const {
  FLNumberFormatOptions options = setupOptions();
  options.digits = std::max<int64_t>(size_, 0);
  options.onlySignificantDigits = false;
  options.disallowScientific = true;
  const bool parentheses = value.isNegative() && negativeParens_;
  options.negativeParens = false;
  // A hundred times the value in decimal: 1.005% is 0.01005, and shows 1.01% as typed.
  QString text = FormatFloat(options, (parentheses ? value.magnitude() : value).scaled(2));
  if (!text.isEmpty()) text.append(QLatin1Char('%'));
  if (parentheses) MakeStringNegative(text, true);
  return text;
}

std::optional<QString> CANumberFormat::formatFractionAsFloat(int64_t numerator,
                                                             uint64_t denominator) const {
  if (denominator == 0 || denominator > uint64_t(kFractionDecimalsDenominator) ||
      kFractionDecimalsDenominator % int64_t(denominator) != 0)
    return std::nullopt;
  int64_t places = 0;
  if (forceHundredths_)
    places = 2;
  else if (onlySignificantDigits_)
    places = 0;
  else if (size_ > 0 && size_ != kAutomaticSize)
    places = size_;

  FLNumberFormatOptions options = setupOptions();
  // The whole part is written with every bit, whatever the format's size says.
  options.digits = FLNumberFormatOptions::kAutomaticDigits;
  const QString& separator = options.decimalSeparator;
  const uint64_t magnitude = numerator < 0 ? 0 - uint64_t(numerator) : uint64_t(numerator);
  const auto d = int64_t(denominator);
  QString text;

  if (numerator == 0 || denominator == 1) {
    text = FormatInteger(int64_t(magnitude > uint64_t(INT64_MAX) ? INT64_MAX : magnitude), 10,
                         options);
    if (onlySignificantDigits_)
      text += separator + QLatin1Char('0');
    else if (places > 0)
      text += separator + QString(qsizetype(std::min<int64_t>(places, 1000)), QLatin1Char('0'));
  } else {
    const long double quotient =
        static_cast<long double>(magnitude) / static_cast<long double>(denominator);
    if (quotient != 0 && !disallowScientific_ && (quotient >= 1e12L || quotient <= 1e-13L)) {
      text = FormatScientific(setupOptions(), FLNumberValue::withFraction(numerator, denominator).magnitude());
    } else {
      const auto decimals = int64_t(magnitude % uint64_t(d)) * kFractionDecimalsDenominator / d;
      std::string fraction = QString::number(decimals).rightJustified(kFractionDecimals, QLatin1Char('0')).toStdString();
      std::string whole = std::to_string(magnitude / uint64_t(d));
      if (places > 0 && places < kFractionDecimals) {
        // Fewer places than the fraction's four decimals round as every decimal display does.
        const bool halfUp = !options.roundDown || (forceHundredths_ && size_ == kAutomaticSize);
        RoundDecimalDigits(whole, fraction, int(places), halfUp);
      }
      uint64_t wholeValue = 0;
      std::from_chars(whole.data(), whole.data() + whole.size(), wholeValue);
      text = FormatInteger(int64_t(wholeValue), 10, options);
      text += separator;
      QString digits = QString::fromStdString(fraction);
      if (places > kFractionDecimals) {
        digits += QString(qsizetype(std::min<int64_t>(places, 1000) - kFractionDecimals),
                          QLatin1Char('0'));
      } else if (places == 0) {
        const bool allZero = decimals == 0;
        while (digits.endsWith(QLatin1Char('0'))) digits.chop(1);
        if (allZero && onlySignificantDigits_) digits = QStringLiteral("0");
      }
      if (digits.isEmpty())
        text.chop(separator.size());
      else
        text += digits;
    }
  }
  if (numerator < 0) MakeStringNegative(text, negativeParens_);
  return text;
}

QString CANumberFormat::formatWhole(int64_t whole, int64_t numerator, uint64_t denominator) const {
  FLNumberFormatOptions options = setupOptions();
  options.digits = 0;
  if (numerator == 0) return FormatInteger(whole, 10, options);
  QString text;
  if (whole != 0) {
    text = FormatInteger(whole, 10, options);
    text += QLatin1Char(' ');
    text += DigitsText(numerator < 0 ? 0 - uint64_t(numerator) : uint64_t(numerator));
  } else {
    text = QString::number(numerator);
  }
  text += QLatin1Char('/');
  text += DigitsText(denominator);
  return text;
}

QString CANumberFormat::formatDate(int32_t dayIndex) const {
  const QString bad = QLatin1String(kBadDateText);
  if (dayIndex == 0 && zeroBlank_) return QString(QLatin1String(""));
  const bool showYear = yearOption_ != kYearNone;
  const bool showMonth = monthOption_ != kMonthNone;
  const bool showDay = !omitDay_;
  const bool showWeekday = weekdayOption_ != kWeekdayNone;
  const bool onlyMonth = !showYear && omitDay_ && !showWeekday;
  if (!onlyMonth && !(dayIndex > 9999 && dayIndex < 30001232)) return bad;
  const int32_t year = dayIndex / 10000;
  const int32_t month = (dayIndex / 100) % 100;
  const int32_t day = dayIndex % 100;
  if ((showMonth || showDay || showWeekday) && (month < 1 || month > 12)) return bad;
  if ((showDay || showWeekday) && (day < 1 || day > LastDayOfMonth(dayIndex))) return bad;

  QString text;
  if (showWeekday) {
    const int weekday = WeekdayFromDayIndex(dayIndex);
    if (weekday < 0 || weekday > 6) return bad;
    text = QLatin1String(weekdayOption_ == kWeekdayShort ? kShortWeekdays[weekday]
                                                         : kLongWeekdays[weekday]);
    text += QLatin1Char(' ');
  }

  QString yearText;
  if (yearOption_ == kYearTwoDigits)
    yearText = StringWithFormat("%02d", year % 100);
  else if (showYear)
    yearText = StringWithFormat("%d", year);
  QString monthText;
  if (monthOption_ == kMonthNumber)
    monthText = StringWithFormat(padDayMonth_ ? "%02d" : "%d", month);
  else if (showMonth)
    monthText = MonthName(month, monthOption_ == kMonthLongName);
  const QString dayText = showDay ? StringWithFormat(padDayMonth_ ? "%02d" : "%d", day) : QString();

  const bool namedMonth = monthOption_ == kMonthShortName || monthOption_ == kMonthLongName;
  QString separator = monthOption_ == kMonthNumber
                          ? QString(shortDashes_ ? QStringLiteral("-") : QStringLiteral("/"))
                          : QStringLiteral(" ");
  QString daySeparator = separator;
  if (monthOption_ != kMonthNumber && dateOrder_ == kDateOrderMDY)
    daySeparator = QStringLiteral(", ");
  if (omitSeparators_) {
    separator = daySeparator = namedMonth ? QStringLiteral(" ") : QString();
  }

  struct Piece {
    QString text;
    QString separator;
  };
  const Piece yearPiece{yearText, separator};
  const Piece monthPiece{monthText, separator};
  const Piece dayPiece{dayText, daySeparator};
  Piece pieces[3];
  switch (dateOrder_) {
    case kDateOrderMDY:
      pieces[0] = monthPiece, pieces[1] = dayPiece, pieces[2] = yearPiece;
      break;
    case kDateOrderDMY:
      pieces[0] = dayPiece, pieces[1] = monthPiece, pieces[2] = yearPiece;
      break;
    default:
      pieces[0] = yearPiece, pieces[1] = monthPiece, pieces[2] = dayPiece;
      break;
  }
  const Piece* previous = nullptr;
  for (const Piece& piece : pieces) {
    if (piece.text.isEmpty()) continue;
    if (previous) text += previous->separator;
    text += piece.text;
    previous = &piece;
  }
  if (text.isEmpty()) return bad;
  return text;
}

// ---------------------------------------------------------------------------------------------
// XML

void CANumberFormat::saveToXml(FLXmlEncoder& encoder) const {
  const auto flag = [&](NumberFormatTag tag, bool set) {
    if (set) encoder.addTag(QLatin1String(TagName(tag)), int64_t(1));
  };
  encoder.addAttribute(QLatin1String(kTypeAttribute),
                       QLatin1String(NameAt(kDisplayNames, display_)));
  encoder.openTag(QLatin1String(kNumberFormatTag));
  if (display_ == kDisplayDate) {
    encoder.addTag(QLatin1String(TagName(kTagOrder)),
                   QLatin1String(NameAt(kDateOrderNames, dateOrder_)));
    encoder.addTag(QLatin1String(TagName(kTagYear)),
                   QLatin1String(NameAt(kYearNames, yearOption_)));
    encoder.addTag(QLatin1String(TagName(kTagMonth)),
                   QLatin1String(NameAt(kMonthNames, monthOption_)));
    encoder.addTag(QLatin1String(TagName(kTagWeekday)),
                   QLatin1String(NameAt(kWeekdayNames, weekdayOption_)));
    flag(kTagPadDayMonth, padDayMonth_);
    flag(kTagOmitDay, omitDay_);
    flag(kTagNoSeparators, omitSeparators_);
    flag(kTagShortDashes, shortDashes_);
  } else {
    if (size_ != DefaultSizeForDisplay(display_))
      encoder.addTag(QLatin1String(TagName(kTagSize)), size_);
    flag(kTagThousands, groupThousands_);
    flag(kTagNegative, negativeParens_);
    flag(kTagZero, zeroBlank_);
    if (display_ == kDisplayFraction) {
      flag(kTagFraction, keepFraction_);
    } else if (!IsIntegerDisplay(display_)) {
      if (display_ == kDisplayMoney && !currencySymbol_.isEmpty())
        encoder.addTag(QLatin1String(TagName(kTagSymbol)), currencySymbol_);
      if (display_ == kDisplayScientific) flag(kTagTraditional, traditionalScientific_);
      flag(kTagNoScientific, disallowScientific_);
      flag(kTagHundredths, forceHundredths_);
      flag(kTagSignificantDigits, onlySignificantDigits_);
    }
  }
  encoder.closeTag(QLatin1String(kNumberFormatTag));
}

CANumberFormat CANumberFormat::withXml(FLXmlDecoder& decoder) {
  CANumberFormat format;
  format.display_ = int32_t(decoder.decodeAttribute(QLatin1String(kTypeAttribute), kDisplayNames));
  format.size_ = DefaultSizeForDisplay(format.display_);
  if (decoder.endTag()) return format;  // an empty element
  const int64_t level = decoder.level();
  while (decoder.getNextTag()) {
    if (decoder.level() < level) break;  // the closing tag of the element
    // Flags take the low byte of the stored number.
    const bool on = (decoder.integerValue() & 0xFF) != 0;
    switch (TagOf(decoder)) {
      case kTagOrder:
        format.dateOrder_ = int32_t(decoder.decodeValueFromValues(kDateOrderNames));
        break;
      case kTagYear:
        format.yearOption_ = int32_t(decoder.decodeValueFromValues(kYearNames));
        break;
      case kTagMonth:
        format.monthOption_ = int32_t(decoder.decodeValueFromValues(kMonthNames));
        break;
      case kTagWeekday:
        format.weekdayOption_ = int32_t(decoder.decodeValueFromValues(kWeekdayNames));
        break;
      case kTagPadDayMonth:
        format.padDayMonth_ = on;
        break;
      case kTagOmitDay:
        format.omitDay_ = on;
        break;
      case kTagNoSeparators:
        format.omitSeparators_ = on;
        break;
      case kTagShortDashes:
        format.shortDashes_ = on;
        break;
      case kTagSize:
        format.size_ = decoder.longValue();
        break;
      case kTagThousands:
        format.groupThousands_ = on;
        break;
      case kTagNegative:
        format.negativeParens_ = on;
        break;
      case kTagZero:
        format.zeroBlank_ = on;
        break;
      case kTagFraction:
        format.keepFraction_ = on;
        break;
      case kTagSymbol:
        format.currencySymbol_ = decoder.value();
        break;
      case kTagTraditional:
        format.traditionalScientific_ = on;
        break;
      case kTagNoScientific:
        format.disallowScientific_ = on;
        break;
      case kTagHundredths:
        format.forceHundredths_ = on;
        break;
      case kTagSignificantDigits:
        format.onlySignificantDigits_ = on;
        break;
      case kTagUnknown:
        FLAssert(false, "Unknown number format tag");
        // A child with children of its own is passed over whole.
        if (decoder.startTag() && !decoder.endTag()) decoder.skipTag();
        break;
    }
  }
  return format;
}

// ---------------------------------------------------------------------------------------------
// Excel

CANumberFormat CANumberFormat::withExcelFormat(const QString& code, int32_t valueType) {
  return withExcelSections(NormalizeExcelNumberFormat(code), valueType);
}

CANumberFormat CANumberFormat::withExcelSections(const QStringList& sections, int32_t valueType) {
  CANumberFormat format;
  if (valueType == kExcelDateValueType) {
    format.setDisplay(kDisplayDate);
    // A section left empty (a time-only code) has no date letters to read.
    if (!sections.isEmpty() && !sections[0].isEmpty()) format.setExcelDateOptions(sections[0]);
    return format;
  }
  if (sections.isEmpty()) return format;
  // "General" is Excel's automatic format; its letters are no options (its "e" would
  // otherwise read as scientific notation).
  if (!sections[0].isEmpty() && sections[0] != QLatin1String(kExcelGeneralSection))
    format.setExcelNumberOptions(sections[0]);
  if (sections.size() > 1 && sections[1].contains(QLatin1Char('('))) format.negativeParens_ = true;
  if (sections.size() > 2 && sections[2].isEmpty()) format.zeroBlank_ = true;
  return format;
}

void CANumberFormat::setExcelNumberOptions(const QString& section) {
  bool displaySet = false;
  bool sawPoint = false;
  bool countEnded = false;
  int64_t decimals = 0;
  const auto set = [&](int32_t display) {
    setDisplay(display);
    displaySet = true;
  };
  for (QChar c : section) {
    const char16_t u = c.unicode();
    if (u == '%') {
      set(kDisplayPercent);
    } else if (u == ',') {
      groupThousands_ = true;
    } else if (u == '/') {
      set(kDisplayFraction);
    } else if (u == 'e') {
      set(kDisplayScientific);
    } else if (CharIsCurrency(u)) {
      set(kDisplayMoney);
      currencySymbol_ = QString(c);
    } else if (u == '.') {
      sawPoint = true;
      continue;
    }
    if (!sawPoint) continue;
    if (u == '#' && decimals > 0) onlySignificantDigits_ = true;
    if (countEnded) continue;
    if (u == '0')
      ++decimals;
    else if (decimals > 0)
      countEnded = true;  // the first other character after a counted "0"
  }
  if (!displaySet) setDisplay(sawPoint ? kDisplayFloat : kDisplayInteger);
  if (decimals > 0) {
    if (display_ == kDisplayFloat || display_ == kDisplayPercent || display_ == kDisplayScientific)
      size_ = decimals;
    else if (display_ == kDisplayMoney)
      forceHundredths_ = true;
  }
}

void CANumberFormat::setExcelDateOptions(const QString& section) {
  bool comma = false;
  bool dash = false;
  bool slash = false;
  bool daySeen = false;
  bool monthSeen = false;
  bool yearSeen = false;
  int32_t order = kDateOrderNone;
  int dayLetters = 0;
  int weekday = kWeekdayNone;
  int monthRun = 0;
  int yearRun = 0;
  const qsizetype length = section.size();
  for (qsizetype i = 0; i < length;) {
    const QChar c = section[i];
    const char16_t u = c.unicode();
    if (u != 'd' && u != 'm' && u != 'y') {
      comma = comma || u == ',';
      dash = dash || u == '-';
      slash = slash || u == '/';
      ++i;
      continue;
    }
    qsizetype run = 0;
    while (i < length && section[i] == c) ++i, ++run;
    if (order == kDateOrderNone)
      order = u == 'd' ? kDateOrderDMY : (u == 'm' ? kDateOrderMDY : kDateOrderYMD);
    if (u == 'd') {
      // A day run after the month or year in a day-first code: the day was a weekday name.
      if (order == kDateOrderDMY && daySeen && (monthSeen || yearSeen))
        order = yearSeen ? kDateOrderYMD : kDateOrderMDY;
      daySeen = true;
      if (run >= 4)
        weekday = kWeekdayLong;
      else if (run == 3)
        weekday = kWeekdayShort;
      else
        dayLetters = int(run);
    } else if (u == 'm') {
      monthSeen = true;
      monthRun = int(run);
    } else {
      yearSeen = true;
      yearRun = int(run);
    }
  }
  weekdayOption_ = weekday;
  omitDay_ = dayLetters == 0;
  padDayMonth_ = dayLetters == 2 || monthRun == 2;
  if (monthRun == 0)
    monthOption_ = kMonthNone;
  else if (monthRun <= 2)
    monthOption_ = kMonthNumber;
  else if (monthRun == 3)
    monthOption_ = kMonthShortName;
  else
    monthOption_ = kMonthLongName;
  if (yearRun == 0)
    yearOption_ = kYearNone;
  else if (yearRun <= 2)
    yearOption_ = kYearTwoDigits;
  else
    yearOption_ = kYearFull;
  shortDashes_ = dash;
  omitSeparators_ = !comma && !slash && !dash;
  dateOrder_ = order != kDateOrderNone ? order : LocaleDateOrder();
}
