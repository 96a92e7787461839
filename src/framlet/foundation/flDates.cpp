// Day-index dates: parsing typed dates, formatting, validity and Gregorian arithmetic done on
// year, month and day directly.
#include "framlet/foundation/flDates.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"

#include <QCalendar>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <optional>

bool g_requireDayIndexYear = false;

namespace {

constexpr int kFirstYear = 1900;
constexpr int kLastYear = 3000;
// Unknown until the locale is first consulted.
constexpr int kDateFormatUnknown = 23;

constexpr const char* kUnknownDateText = "<Unknown>";
constexpr const char* kNoCalendarMessage = "InitializeFramlet or FLKernal to set g_calendar";
constexpr const char* kYearTooEarlyMessage = "Year must be >= 1900";
constexpr const char* kBadMonthMessage = "Bad month";

constexpr const char* kBadRawDate = "invalid raw date (yyyymmdd)";
constexpr const char* kBadIsoDate = "invalid date (yyyy-mm-dd)";
constexpr const char* kNotDayMonthYear = "not in day/month/year format";
constexpr const char* kNotMonthDayYear = "not in month/day/year format";
constexpr const char* kBadMonthValue = "invalid month value";
constexpr const char* kBadDayValue = "invalid day value";
constexpr const char* kBadYearValue = "invalid year value";
constexpr const char* kDayBeyondMonth = "day is beyond the end of that month";

// Entry 0 keeps month numbers as indexes; February is cut to 28 outside leap years.
constexpr std::array<int, 13> kDaysInMonth = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
// Days of the year before each month in a common year.
constexpr std::array<int, 13> kDaysBeforeMonth = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

constexpr std::array<const char*, 12> kLongMonthNames = {
    "January", "February", "March", "April", "May", "June",
    "July", "August", "September", "October", "November", "December"};
constexpr std::array<const char*, 12> kShortMonthNames = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::atomic<int> g_ukDateFormat{kDateFormatUnknown};
// Whether typed dates may be written with dots; unknown until the locale is first consulted.
std::atomic<int> g_dottedDateFormat{kDateFormatUnknown};

bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int64_t year, int month) {
  if (month < 1 || month > 12) return 0;
  if (month == 2 && !IsLeapYear(year)) return 28;
  return kDaysInMonth[size_t(month)];
}

struct DayParts {
  int32_t year;
  int month;
  int day;
};

DayParts SplitDayIndex(int32_t dayIndex) {
  return {dayIndex / 10000, int(dayIndex / 100 % 100), int(dayIndex % 100)};
}

bool AllAsciiDigits(QStringView text) {
  if (text.isEmpty()) return false;
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Value of an all-digit text; saturates instead of overflowing on absurd lengths.
int DigitValue(QStringView text) {
  int value = 0;
  for (QChar c : text) {
    value = value * 10 + (c.unicode() - u'0');
    if (value > 100000000) return 100000000;
  }
  return value;
}

int32_t Fail(QString* message, const char* text) {
  if (message) *message = QString::fromLatin1(text);
  return 0;
}

int32_t MakeDayIndex(int64_t year, int month, int day) {
  return int32_t(year * 10000 + month * 100 + day);
}

int32_t ParseRawDate(const QString& text, QString* message) {
  if (!AllAsciiDigits(text)) return Fail(message, kBadRawDate);
  const int year = DigitValue(QStringView(text).left(4));
  const int month = DigitValue(QStringView(text).mid(4, 2));
  const int day = DigitValue(QStringView(text).mid(6, 2));
  if (year < kFirstYear || year > kLastYear || month < 1 || month > 12 || day < 1 ||
      day > kDaysInMonth[size_t(month)])
    return Fail(message, kBadRawDate);
  if (day > DaysInMonth(year, month)) return Fail(message, kDayBeyondMonth);
  return MakeDayIndex(year, month, day);
}

int32_t ParseIsoDate(const QString& text, QString* message) {
  const QStringList parts = text.split(QLatin1Char('-'));
  if (parts.size() != 3 || !AllAsciiDigits(parts[0]) || !AllAsciiDigits(parts[1]) ||
      !AllAsciiDigits(parts[2]))
    return Fail(message, kBadIsoDate);
  const int year = DigitValue(parts[0]);
  const int month = DigitValue(parts[1]);
  const int day = DigitValue(parts[2]);
  if (year < kFirstYear || year > kLastYear || month < 1 || month > 12 || day < 1 ||
      day > kDaysInMonth[size_t(month)])
    return Fail(message, kBadIsoDate);
  if (day > DaysInMonth(year, month)) return Fail(message, kDayBeyondMonth);
  return MakeDayIndex(year, month, day);
}

// Position of the first run of `letter` in a date pattern, skipping quoted literals and (for the
// day) the weekday runs "ddd" and "dddd"; -1 when absent.
qsizetype PatternFieldPosition(const QString& pattern, QChar letter, bool skipLongRuns) {
  bool quoted = false;
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern[i];
    if (c == u'\'') {
      quoted = !quoted;
      continue;
    }
    if (quoted || c != letter) continue;
    qsizetype end = i;
    while (end < pattern.size() && pattern[end] == letter) ++end;
    if (!skipLongRuns || end - i <= 2) return i;
    i = end - 1;
  }
  return -1;
}

// The three parts of a date written with dots, or nothing. Numbers grouped by threes are left to
// the number reader: 1.234.567 is a number wherever "." groups digits, and no date, as its year
// would have three digits.
std::optional<QList<QStringView>> DottedDateParts(QStringView text) {
  if (!text.contains(u'.')) return std::nullopt;
  QList<QStringView> parts = text.split(u'.');
  if (parts.size() != 3 || !std::all_of(parts.begin(), parts.end(), AllAsciiDigits)) return std::nullopt;
  if (parts[0].size() <= 3 && parts[1].size() == 3 && parts[2].size() == 3) return std::nullopt;
  return parts;
}

}  // namespace

bool LocaleWritesDatesWithDots(const QLocale& locale) {
  // The pattern's fields in order, and the literal text between each field and the next.
  const QString pattern = locale.dateFormat(QLocale::ShortFormat);
  QString fields;
  QStringList between{QString()};
  bool quoted = false;
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern[i];
    if (c == u'\'') {
      quoted = !quoted;
      between.last() += c;
    } else if (!quoted && (c == u'd' || c == u'M' || c == u'y')) {
      qsizetype end = i;
      while (end < pattern.size() && pattern[end] == c) ++end;
      // A weekday name ("ddd") is no part of a date written in digits.
      fields += c == u'd' && end - i > 2 ? QChar(u'w') : c;
      between.append(QString());
      i = end - 1;
    } else if (!c.isSpace()) {
      between.last() += c;
    }
  }
  if (fields != u"dMy" && fields != u"Mdy") return false;
  return between[1] == u"." && between[2] == u".";
}

bool LocaleWritesDayFirst(const QLocale& locale) {
  // The order of the fields in the pattern decides, not the first character of a formatted
  // date. A year-first short pattern (yyyy/MM/dd in South Africa, yyyy-MM-dd in French Canada)
  // says nothing of the order in which the same users write a date that ends with its year: the
  // long pattern does (dd MMMM yyyy there; yyyy年M月d日 month first in Japanese).
  QString pattern = locale.dateFormat(QLocale::ShortFormat);
  if (LocaleWritesYearFirst(locale)) pattern = locale.dateFormat(QLocale::LongFormat);
  const qsizetype day = PatternFieldPosition(pattern, u'd', true);
  const qsizetype month = PatternFieldPosition(pattern, u'M', false);
  return day >= 0 && (month < 0 || day < month);
}

void SetDayFirstDateFormat(int flag) {
  g_ukDateFormat = flag == kDateFormatUnknown ? kDateFormatUnknown : (flag ? 1 : 0);
  if (flag == kDateFormatUnknown) g_dottedDateFormat = kDateFormatUnknown;
}

bool DayFirstDateFormat() {
  int flag = g_ukDateFormat;
  if (flag == kDateFormatUnknown) {
    flag = LocaleWritesDayFirst(QLocale()) ? 1 : 0;
    g_ukDateFormat = flag;
  }
  return flag == 1;
}

bool DottedDateFormat() {
  int flag = g_dottedDateFormat;
  if (flag == kDateFormatUnknown) {
    flag = LocaleWritesDatesWithDots(QLocale()) ? 1 : 0;
    g_dottedDateFormat = flag;
  }
  return flag == 1;
}

bool IsDottedDateText(const QString& text) { return DottedDateFormat() && DottedDateParts(text).has_value(); }

int32_t DayIndexForDate(const QDate& date) {
  if (!date.isValid()) return 0;
  if (!g_calendar) {
    LogAssert(kNoCalendarMessage, __func__, __FILE__, __LINE__);
    // Qt's own dates are Gregorian too; the caller still gets the right day.
    return MakeDayIndex(date.year(), date.month(), date.day());
  }
  const QCalendar::YearMonthDay parts = g_calendar->partsFromDate(date);
  if (!parts.isValid()) return 0;
  return MakeDayIndex(parts.year, parts.month, parts.day);
}

int32_t DayIndexForDate(const QDateTime& date) {
  if (!date.isValid()) return 0;
  return DayIndexForDate(date.date());
}

QString FormatDayIndex(int32_t dayIndex) {
  if (dayIndex >= -9999 && dayIndex <= 9999) return QString::fromLatin1(kUnknownDateText);
  const DayParts parts = SplitDayIndex(dayIndex);
  if (DayFirstDateFormat()) return StringWithFormat("%d/%d/%d", parts.day, parts.month, parts.year);
  return StringWithFormat("%d/%d/%d", parts.month, parts.day, parts.year);
}

int32_t ParseIntoDayIndex(const QString& text, QString* message) {
  // Whether the locale writes its dates with dots is read only for a text that could be one.
  return ParseIntoDayIndexInOrder(text, DateTextOrder{DayFirstDateFormat(), text.contains(u'.') && DottedDateFormat()},
                                  message);
}

int32_t ParseIntoDayIndexInOrder(const QString& text, const DateTextOrder& order, QString* message) {
  if (message) *message = QString();
  if (text.isEmpty() || text == u"?" ||
      text.compare(QLatin1String(kUnknownDateText), Qt::CaseInsensitive) == 0)
    return 0;

  QList<QStringView> parts = QStringView(text).split(u'/');
  // A date written with dots goes by the rules of one written with slashes, before its length
  // could make it look like the raw or the dashed form.
  std::optional<QList<QStringView>> dotted;
  if (parts.size() == 1 && order.dotted) dotted = DottedDateParts(text);
  if (dotted) parts = *dotted;
  else if (parts.size() == 1 && text.size() == 8) return ParseRawDate(text, message);
  else if (parts.size() == 1 && text.size() == 10) return ParseIsoDate(text, message);

  const bool dayFirst = order.dayFirst;
  const char* notInFormat = dayFirst ? kNotDayMonthYear : kNotMonthDayYear;
  if (parts.size() < 2 || parts.size() > 3) return Fail(message, notInFormat);
  if (parts.size() == 2 && g_requireDayIndexYear) return Fail(message, notInFormat);

  const QStringView monthText = parts[dayFirst ? 1 : 0];
  const QStringView dayText = parts[dayFirst ? 0 : 1];
  if (!AllAsciiDigits(monthText)) return Fail(message, kBadMonthValue);
  const int month = DigitValue(monthText);
  if (month < 1 || month > 12) return Fail(message, kBadMonthValue);
  if (!AllAsciiDigits(dayText)) return Fail(message, kBadDayValue);
  const int day = DigitValue(dayText);
  if (day < 1 || day > kDaysInMonth[size_t(month)]) return Fail(message, kBadDayValue);

  // The clock is read only for a date that leaves out its year or its century: reading it costs
  // more than the rest of a typed date, and a file of dates reads one a cell.
  int year = 0;
  if (parts.size() == 2) {
    year = QDate::currentDate().year();
  } else {
    if (!AllAsciiDigits(parts[2])) return Fail(message, kBadYearValue);
    year = DigitValue(parts[2]);
    if (year <= 99) {
      if (g_requireDayIndexYear) return Fail(message, kBadYearValue);
      year += QDate::currentDate().year() / 100 * 100;
    } else if (year < kFirstYear || year > kLastYear) {
      return Fail(message, kBadYearValue);
    }
  }
  if (day > DaysInMonth(year, month)) return Fail(message, kDayBeyondMonth);
  return MakeDayIndex(year, month, day);
}

bool LocaleWritesYearFirst(const QLocale& locale) {
  const QString pattern = locale.dateFormat(QLocale::ShortFormat);
  const qsizetype year = PatternFieldPosition(pattern, u'y', false);
  const qsizetype month = PatternFieldPosition(pattern, u'M', false);
  const qsizetype day = PatternFieldPosition(pattern, u'd', true);
  return year >= 0 && (month < 0 || year < month) && (day < 0 || year < day);
}

DateWords DateWordsOfLocale(const QLocale& locale) {
  DateWords words;
  const auto word = [](QString name) {
    name = name.trimmed().toLower();
    if (name.endsWith(u'.')) name.chop(1);
    return name;
  };
  const auto addMonth = [&](const QString& name, int month) {
    const QString key = word(name);
    if (key.isEmpty() || AllAsciiDigits(key)) return;
    for (const auto& known : words.months)
      if (known.first == key) return;
    words.months.emplace_back(key, month);
  };
  for (int month = 1; month <= 12; ++month) {
    for (const QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat}) {
      addMonth(locale.monthName(month, type), month);
      addMonth(locale.standaloneMonthName(month, type), month);
    }
  }
  for (int day = 1; day <= 7; ++day) {
    for (const QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat}) {
      for (const QString& name : {locale.dayName(day, type), locale.standaloneDayName(day, type)}) {
        const QString key = word(name);
        if (!key.isEmpty() && std::find(words.weekdays.begin(), words.weekdays.end(), key) == words.weekdays.end())
          words.weekdays.push_back(key);
      }
    }
  }
  // The words the long date pattern quotes between its fields.
  const QString pattern = locale.dateFormat(QLocale::LongFormat);
  for (qsizetype i = pattern.indexOf(u'\''); i >= 0 && i + 1 < pattern.size(); i = pattern.indexOf(u'\'', i + 1)) {
    const qsizetype end = pattern.indexOf(u'\'', i + 1);
    if (end < 0) break;
    const QString joiner = word(pattern.sliced(i + 1, end - i - 1));
    if (!joiner.isEmpty() && std::all_of(joiner.begin(), joiner.end(), [](QChar c) { return c.isLetter(); }) &&
        std::find(words.joiners.begin(), words.joiners.end(), joiner) == words.joiners.end())
      words.joiners.push_back(joiner);
    i = end;
  }
  return words;
}

namespace {

// A year as a date writes it: four digits from 1900 to 3000, or two of the current century.
int WrittenYear(QStringView digits) {
  if (!AllAsciiDigits(digits)) return 0;
  if (digits.size() == 2) return DigitValue(digits) + QDate::currentDate().year() / 100 * 100;
  if (digits.size() != 4) return 0;
  const int year = DigitValue(digits);
  return year >= kFirstYear && year <= kLastYear ? year : 0;
}

int32_t WrittenDayIndex(int year, QStringView monthDigits, int month, QStringView dayDigits) {
  if (!monthDigits.isEmpty()) {
    if (monthDigits.size() > 2 || !AllAsciiDigits(monthDigits)) return 0;
    month = DigitValue(monthDigits);
  }
  if (year == 0 || dayDigits.size() > 2 || !AllAsciiDigits(dayDigits)) return 0;
  const int day = DigitValue(dayDigits);
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return 0;
  return MakeDayIndex(year, month, day);
}

// Three runs of digits between two alike dashes or slashes.
int32_t ParseWrittenDigitsDate(QStringView text, const DateTextOrder& order) {
  const qsizetype first = std::find_if(text.begin(), text.end(), [](QChar c) { return c == u'-' || c == u'/'; }) - text.begin();
  if (first <= 0 || first >= text.size()) return 0;
  const QChar separator = text[first];
  const QList<QStringView> parts = text.split(separator);
  if (parts.size() != 3 || !std::all_of(parts.begin(), parts.end(), AllAsciiDigits)) return 0;
  if (parts[0].size() == 4 || (order.yearFirst && parts[0].size() == 2 && parts[2].size() <= 2))
    return WrittenDayIndex(WrittenYear(parts[0]), parts[1], 0, parts[2]);
  if (separator == u'-' && parts[2].size() == 4 && parts[0].size() <= 2 && parts[1].size() <= 2)
    return WrittenDayIndex(WrittenYear(parts[2]), parts[order.dayFirst ? 1 : 0], 0, parts[order.dayFirst ? 0 : 1]);
  return 0;
}

// A month the language names, the day and the year around it.
int32_t ParseWrittenWordsDate(QStringView text, const DateWords& words, bool yearFirst) {
  std::vector<QString> tokens;
  qsizetype at = 0;
  while (at < text.size()) {
    const auto isBreak = [](QChar c) { return c.isSpace() || c == u',' || c == QChar(0x060C); };
    while (at < text.size() && isBreak(text[at])) ++at;
    const qsizetype start = at;
    while (at < text.size() && !isBreak(text[at])) ++at;
    if (at == start) break;
    QString token = text.sliced(start, at - start).toString().toLower();
    if (token.endsWith(u'.')) token.chop(1);
    if (token.isEmpty()) return 0;
    if (tokens.size() >= 6) return 0;
    tokens.push_back(std::move(token));
  }
  // A weekday's name may lead; the language's joining words go.
  if (!tokens.empty() && std::find(words.weekdays.begin(), words.weekdays.end(), tokens.front()) != words.weekdays.end())
    tokens.erase(tokens.begin());
  std::erase_if(tokens, [&words](const QString& token) {
    return std::find(words.joiners.begin(), words.joiners.end(), token) != words.joiners.end();
  });
  if (tokens.size() != 3) return 0;
  int month = 0;
  size_t named = 3;
  for (size_t k = 0; k < 3 && named == 3; ++k) {
    for (const auto& [name, number] : words.months) {
      if (name == tokens[k]) {
        month = number;
        named = k;
        break;
      }
    }
  }
  if (named == 1) {
    // The day first, or the year first ("2026 March 4").
    if (tokens[0].size() == 4 || (yearFirst && tokens[2].size() <= 2))
      return WrittenDayIndex(WrittenYear(tokens[0]), {}, month, tokens[2]);
    return WrittenDayIndex(WrittenYear(tokens[2]), {}, month, tokens[0]);
  }
  if (named == 0) return WrittenDayIndex(WrittenYear(tokens[2]), {}, month, tokens[1]);
  return 0;
}

}  // namespace

int32_t ParseWrittenDate(const QString& text, const DateTextOrder& order) {
  const QStringView written = QStringView(text).trimmed();
  if (written.isEmpty() || written.size() > 80) return 0;
  if (const int32_t day = ParseWrittenDigitsDate(written, order)) return day;
  return order.words ? ParseWrittenWordsDate(written, *order.words, order.yearFirst) : 0;
}

int LastDayOfMonth(int32_t dayIndex) {
  const DayParts parts = SplitDayIndex(dayIndex);
  return DaysInMonth(parts.year, parts.month);
}

bool IsValidDate(int32_t dayIndex) {
  const DayParts parts = SplitDayIndex(dayIndex);
  return parts.year >= kFirstYear && parts.year <= kLastYear && parts.month >= 1 &&
         parts.month <= 12 && parts.day >= 1 && parts.day <= DaysInMonth(parts.year, parts.month);
}

int WeekdayFromDayIndex(int32_t dayIndex) {
  // Sakamoto's method: the weekday from year, month and day, counting January and February
  // with the previous year so that the leap day falls at the end.
  static constexpr std::array<int, 12> kMonthOffset = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  const DayParts parts = SplitDayIndex(dayIndex);
  if (parts.year < kFirstYear) LogAssert(kYearTooEarlyMessage, __func__, __FILE__, __LINE__);
  if (parts.month < 1 || parts.month > 12) return 0;
  int64_t year = parts.year;
  if (parts.month < 3) --year;
  const auto floorDiv = [](int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); };
  int64_t sum = year + floorDiv(year, 4) - floorDiv(year, 100) + floorDiv(year, 400) +
                kMonthOffset[size_t(parts.month - 1)] + parts.day;
  return int(((sum % 7) + 7) % 7);
}

int DayOrdinalForDayIndex(int32_t dayIndex) {
  const DayParts parts = SplitDayIndex(dayIndex);
  if (parts.month < 1 || parts.month > 12) return 0;
  int ordinal = kDaysBeforeMonth[size_t(parts.month)] + parts.day;
  if (parts.month > 2 && IsLeapYear(parts.year)) ++ordinal;
  return ordinal;
}

int32_t AddToDayIndex(int32_t dayIndex, int32_t years, int32_t months, int32_t days) {
  if (dayIndex == 0 || !IsValidDate(dayIndex)) return 0;
  // Every date from 1900 to 3000 lies within this many days of any other.
  constexpr int64_t kMaxDaySpan = int64_t(kLastYear - kFirstYear + 1) * 366;
  if (std::llabs(days) > kMaxDaySpan) return 0;

  const DayParts parts = SplitDayIndex(dayIndex);
  const int64_t monthCount =
      int64_t(parts.year) * 12 + (parts.month - 1) + int64_t(years) * 12 + int64_t(months);
  int64_t year = monthCount >= 0 ? monthCount / 12 : -((-monthCount + 11) / 12);
  int month = int(monthCount - year * 12) + 1;
  // The days may still bring a year just outside the range back into it; farther off, never.
  const int64_t slackYears = kMaxDaySpan / 365 + 1;
  if (year < kFirstYear - slackYears || year > kLastYear + slackYears) return 0;
  int day = std::min(parts.day, DaysInMonth(year, month));

  int64_t remaining = days;
  while (remaining > 0 && day + remaining > DaysInMonth(year, month)) {
    remaining -= DaysInMonth(year, month) - day + 1;
    day = 1;
    if (++month > 12) {
      month = 1;
      ++year;
    }
  }
  while (remaining < 0 && day + remaining < 1) {
    remaining += day;
    if (--month < 1) {
      month = 12;
      --year;
    }
    day = DaysInMonth(year, month);
  }
  if (year < kFirstYear || year > kLastYear) return 0;
  return MakeDayIndex(year, month, int(day + remaining));
}

QString MonthName(int month, bool longName) {
  if (month < 1 || month > 12) {
    LogAssert(kBadMonthMessage, __func__, __FILE__, __LINE__);
    return QString();
  }
  return QString::fromLatin1(longName ? kLongMonthNames[size_t(month - 1)]
                                      : kShortMonthNames[size_t(month - 1)]);
}

QVariant NumberWithDayIndex(int32_t dayIndex) { return QVariant(uint32_t(dayIndex)); }

int32_t DayIndexValue(const QVariant& number) { return int32_t(number.toUInt()); }
