// Dates as day indexes: one int32 yyyymmdd per date (0 = no date), made from platform dates and
// typed text, formatted, tested and shifted in the Gregorian calendar without converting to a
// count of days. Cells store these, the formula parser and the date functions compute on them.
#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class QDate;
class QDateTime;
class QLocale;

// Typed dates must carry a four-digit year; the application sets this at launch.
extern bool g_requireDayIndexYear;

// The calendar date of a moment in its own time zone; 0 when the moment is invalid.
int32_t DayIndexForDate(const QDateTime& date);
int32_t DayIndexForDate(const QDate& date);

// "month/day/year", or "day/month/year" where the locale writes the day first; "<Unknown>" for
// values that cannot be a date (-9999 to 9999, 0 among them).
QString FormatDayIndex(int32_t dayIndex);

// A day index from typed text, or 0. On failure *message (when given) says why; an empty text,
// "?" or "<Unknown>" give 0 with no message. Where the locale writes its dates with dots
// (1.3.2024), such a text is read in the locale's order, as it would be with slashes.
int32_t ParseIntoDayIndex(const QString& text, QString* message = nullptr);
// The words a language writes its dates in: the names of its months and of the days of the
// week (long and short, as written alone and within a date), lower case and without a closing
// dot, and the words its long dates put between their parts (Portuguese "de").
struct DateWords {
  std::vector<std::pair<QString, int>> months;  // a name and its month, 1-12
  std::vector<QString> weekdays;
  std::vector<QString> joiners;
};
DateWords DateWordsOfLocale(const QLocale& locale);

// How a text writes its dates: the day before the month or after it, whether with dots too,
// whether a year of two digits leads ("26-03-04", as a language that writes its year first
// does), and the words of its language, where it has any.
struct DateTextOrder {
  bool dayFirst = false;
  bool dotted = false;
  bool yearFirst = false;
  std::shared_ptr<const DateWords> words;
};
// The same in the order given instead of the locale's: files that other programs write name
// their dates month first with slashes, whoever opens them.
int32_t ParseIntoDayIndexInOrder(const QString& text, const DateTextOrder& order, QString* message = nullptr);
// A date as a page in a language writes it beyond what typing reads: its year first, in four
// digits ("2026-3-4", "2026/03/04"), in any language; a year of two digits first where the
// language writes its year first; the day, month and a year of four digits with dashes in the
// language's order ("4-3-2026"); and a month the language names, with the day and the year
// around it in any order its dates take ("4 March 2026", "4. März 2026", "March 4, 2026",
// "2026 March 4", "4 de março de 2026"), after a weekday's name or not. Else 0.
int32_t ParseWrittenDate(const QString& text, const DateTextOrder& order);
// Whether the locale's short date pattern puts the year before the month and the day.
bool LocaleWritesYearFirst(const QLocale& locale);

// Whether the text is a date written with dots, three runs of digits such as 01.03.2024, in a
// locale that writes its dates so: such a text is a date or nothing, never a grouped number. A
// text grouped as numbers are (1.234.567) is not one.
bool IsDottedDateText(const QString& text);

// Length of the day index's month (0 when its month is not 1-12).
int LastDayOfMonth(int32_t dayIndex);
// A real date: year 1900-3000, month 1-12, day within its month.
bool IsValidDate(int32_t dayIndex);
// 0 Sunday ... 6 Saturday.
int WeekdayFromDayIndex(int32_t dayIndex);
// Day of the year, 1-366 (0 when the month is not 1-12).
int DayOrdinalForDayIndex(int32_t dayIndex);
// Adds years and months (the day cut to the new month's length), then days. 0 stays 0; a start
// that is not a date or a result outside the years 1900-3000 gives 0.
int32_t AddToDayIndex(int32_t dayIndex, int32_t years, int32_t months, int32_t days);
// "January"/"Jan" ... for months 1-12; another month logs "Bad month" and gives "".
QString MonthName(int month, bool longName);

// Whether the locale's short date pattern puts the day before the month.
bool LocaleWritesDayFirst(const QLocale& locale);
// Whether the locale's short date pattern parts day, month and year, the year last, with dots:
// dd.MM.yy, d.M.yyyy, and d. M. yyyy too (a blank after a dot is only the pattern's spacing).
bool LocaleWritesDatesWithDots(const QLocale& locale);
// Overrides the day-first choice read from the locale (1 day first, 0 month first); 23 makes the
// next use read it, and whether dates are written with dots, from the locale again. For
// preferences and tests.
void SetDayFirstDateFormat(int flag);
bool DayFirstDateFormat();
bool DottedDateFormat();

// A day index as an unsigned 32-bit number object and back.
QVariant NumberWithDayIndex(int32_t dayIndex);
int32_t DayIndexValue(const QVariant& number);
