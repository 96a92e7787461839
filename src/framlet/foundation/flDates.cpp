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
  // date: a year-first pattern such as yyyy-MM-dd writes the month before the day.
  const QString pattern = locale.dateFormat(QLocale::ShortFormat);
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
