#include "framlet/foundation/flDates.h"
#include "support/TestData.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTextStream>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Restores the process-wide date settings a test changes.
class DateSettings {
 public:
  DateSettings(bool dayFirst, bool requireYear) : savedRequireYear_(g_requireDayIndexYear) {
    SetDayFirstDateFormat(dayFirst ? 1 : 0);
    g_requireDayIndexYear = requireYear;
  }
  ~DateSettings() {
    SetDayFirstDateFormat(23);
    g_requireDayIndexYear = savedRequireYear_;
  }

 private:
  bool savedRequireYear_;
};

struct YearVector { int year; int januaryFirstWeekday; int monthLengths[12]; };

std::vector<YearVector> ReadYearVectors() {
  std::vector<YearVector> years;
  QFile file(TestDataPath(QStringLiteral("dates/years.txt")));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return years;
  QTextStream in(&file);
  while (!in.atEnd()) {
    YearVector v{};
    in >> v.year >> v.januaryFirstWeekday;
    for (int& length : v.monthLengths) in >> length;
    if (in.status() == QTextStream::Ok && v.year) years.push_back(v);
    in.skipWhiteSpace();
  }
  return years;
}

// Every day 1900-3000 against the calendar Python computed.
TEST(FlDates, WeekdayOrdinalAndMonthLengthMatchAnIndependentCalendarForEveryDay) {
  const std::vector<YearVector> years = ReadYearVectors();
  ASSERT_EQ(years.size(), 1101u);
  int mismatches = 0;
  for (const YearVector& v : years) {
    int ordinal = 0;
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= v.monthLengths[month - 1]; ++day) {
        ++ordinal;
        const int32_t index = v.year * 10000 + month * 100 + day;
        const int expectedWeekday = (v.januaryFirstWeekday + ordinal - 1) % 7;
        if (WeekdayFromDayIndex(index) != expectedWeekday || DayOrdinalForDayIndex(index) != ordinal ||
            LastDayOfMonth(index) != v.monthLengths[month - 1] || !IsValidDate(index)) {
          if (++mismatches < 10) ADD_FAILURE() << "day index " << index;
        }
      }
      // The first day past the month's end is no date.
      EXPECT_FALSE(IsValidDate(v.year * 10000 + month * 100 + v.monthLengths[month - 1] + 1));
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(FlDates, AddToDayIndexMatchesPythonRelativeDelta) {
  QFile file(TestDataPath(QStringLiteral("dates/shifts.txt")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  QTextStream in(&file);
  int count = 0, mismatches = 0;
  while (!in.atEnd()) {
    qint64 start = 0, years = 0, months = 0, days = 0, expected = -1;
    in >> start >> years >> months >> days >> expected;
    in.skipWhiteSpace();
    if (expected < 0) break;
    ++count;
    const int32_t result = AddToDayIndex(int32_t(start), int32_t(years), int32_t(months), int32_t(days));
    if (result != expected && ++mismatches < 10)
      ADD_FAILURE() << start << " + " << years << "y " << months << "m " << days << "d gave " << result
                    << ", expected " << expected;
  }
  EXPECT_GT(count, 8000);
  EXPECT_EQ(mismatches, 0);
}

TEST(FlDates, AddToDayIndexMonthEndsAndFailures) {
  const struct { int32_t start, years, months, days, expected; } cases[] = {
      {20230131, 0, 1, 0, 20230228},   // the day is cut to the new month
      {20240229, 1, 0, 0, 20250228}, {20240101, 0, 0, -1, 20231231}, {20231231, 0, 0, 1, 20240101},
      {20240115, 0, -13, 0, 20221215},  // months carry whole years backwards
      {0, 1, 1, 1, 0},                  // no date stays no date
      {19000101, 0, 0, -1, 0},          // results outside 1900-3000 are failures
      {20240101, -2024, 0, 0, 0},       // year 0
      {20240101, 2147483647, 2147483647, 0, 0}, {20240101, 0, 0, -2147483647 - 1, 0},
      {20241301, 0, 0, 1, 0},           // a start that is no date
  };
  for (const auto& c : cases)
    EXPECT_EQ(AddToDayIndex(c.start, c.years, c.months, c.days), c.expected)
        << c.start << " + " << c.years << "y " << c.months << "m " << c.days << "d";
}

TEST(FlDates, ParseIntoDayIndexAcceptsAndRefusesWithItsMessages) {
  const DateSettings settings(false, false);
  const int thisYear = QDate::currentDate().year();
  const struct {
    const char* text;
    int32_t expected;
    const char* message;  // nullptr: no message
  } cases[] = {
      {"", 0, nullptr}, {"<unknown>", 0, nullptr}, {"20240229", 20240229, nullptr},
      {"20230229", 0, "day is beyond the end of that month"}, {"20230230", 0, "invalid raw date (yyyymmdd)"},
      {"2024-02-29", 20240229, nullptr}, {"2023-13-01", 0, "invalid date (yyyy-mm-dd)"},
      {"2023-1-011", 20230111, nullptr}, {"12/25/2024", 20241225, nullptr},
      {"2/29/2023", 0, "day is beyond the end of that month"}, {"2/30/2024", 0, "invalid day value"},
      {"13/1/2024", 0, "invalid month value"}, {"1//2024", 0, "invalid day value"},
      {"1/2/20x4", 0, "invalid year value"}, {"1/2/1899", 0, "invalid year value"},
      {"1/2/99999999999999999999", 0, "invalid year value"}, {"1/2/3/4", 0, "not in month/day/year format"},
  };
  for (const auto& c : cases) {
    QString message = QStringLiteral("stale");
    EXPECT_EQ(ParseIntoDayIndex(QString::fromUtf8(c.text), &message), c.expected) << c.text;
    if (c.message) EXPECT_EQ(message, QString::fromUtf8(c.message)) << c.text;
    else
      EXPECT_TRUE(message.isNull()) << c.text << ": " << message.toStdString();
  }
  // Two-digit years fall in the current century; a missing year is the current year.
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("3/4/24")), (thisYear / 100 * 100 + 24) * 10000 + 304);
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("3/4")), thisYear * 10000 + 304);
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("1/2/3"), nullptr), (thisYear / 100 * 100 + 3) * 10000 + 102);
}

}  // namespace

namespace {

// The application runs with typed years required: a date needs all three parts and a year of
// four digits, and the message names the order the locale writes.
TEST(FlDates, WithTheYearRequiredADateNeedsAFullYear) {
  for (const bool dayFirst : {false, true}) {
    const DateSettings settings(dayFirst, true);
    const char* order = dayFirst ? "not in day/month/year format" : "not in month/day/year format";
    const struct { const char* text; int32_t expected; const char* message; } cases[] = {
        {"3/4", 0, order}, {"3/4/24", 0, "invalid year value"}, {"3/4/0", 0, "invalid year value"},
        {"3/4/2024", dayFirst ? 20240403 : 20240304, nullptr}, {"2024-03-04", 20240304, nullptr},
        {"20240304", 20240304, nullptr},
    };
    for (const auto& c : cases) {
      QString message;
      EXPECT_EQ(ParseIntoDayIndex(QString::fromUtf8(c.text), &message), c.expected) << c.text << " " << dayFirst;
      EXPECT_EQ(message, c.message ? QString::fromUtf8(c.message) : QString()) << c.text << " " << dayFirst;
    }
  }
}

// Day first: typed and formatted as day/month/year; month first the other way round.
TEST(FlDates, DayFirstOrderGovernsTypingAndFormatting) {
  const struct { bool dayFirst; const char* typed; int32_t dayIndex; const char* shown; } cases[] = {
      {true, "25/12/2024", 20241225, "25/12/2024"}, {false, "12/25/2024", 20241225, "12/25/2024"},
      {true, "1/2/2024", 20240201, "1/2/2024"},     {false, "1/2/2024", 20240102, "1/2/2024"},
      {true, "12/25/2024", 0, nullptr},             {false, "25/12/2024", 0, nullptr},
  };
  for (const auto& c : cases) {
    const DateSettings settings(c.dayFirst, false);
    EXPECT_EQ(DayFirstDateFormat(), c.dayFirst);
    EXPECT_EQ(ParseIntoDayIndex(QString::fromUtf8(c.typed)), c.dayIndex) << c.typed;
    if (c.shown) { EXPECT_EQ(FormatDayIndex(c.dayIndex), QString::fromUtf8(c.shown)) << c.typed; }
  }
  const DateSettings settings(false, false);
  for (const int32_t unknown : {0, 9999, -9999, 1}) EXPECT_EQ(FormatDayIndex(unknown), QStringLiteral("<Unknown>")) << unknown;
  EXPECT_EQ(FormatDayIndex(10000101), QStringLiteral("1/1/1000"));
}

TEST(FlDates, MonthNamesAndTheLocalesOrder) {
  const char* longNames[] = {"January", "February", "March",     "April",   "May",      "June",
                             "July",    "August",   "September", "October", "November", "December"};
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(MonthName(month, true), QString::fromLatin1(longNames[month - 1]));
    EXPECT_EQ(MonthName(month, false), QString::fromLatin1(longNames[month - 1]).left(3));
  }
  for (const int bad : {0, 13, -1}) EXPECT_TRUE(MonthName(bad, true).isEmpty()) << bad;

  const struct { QLocale::Language language; QLocale::Territory territory; bool dayFirst; } locales[] = {
      {QLocale::English, QLocale::UnitedStates, false}, {QLocale::English, QLocale::UnitedKingdom, true},
      {QLocale::German, QLocale::Germany, true},        {QLocale::French, QLocale::France, true},
      {QLocale::Japanese, QLocale::Japan, false},
      // Short dates that lead with the year leave the order of the others to the long pattern:
      // South Africa, French Canada and Sweden write the day first, Korea and China the month.
      {QLocale::English, QLocale::SouthAfrica, true},   {QLocale::French, QLocale::Canada, true},
      {QLocale::Swedish, QLocale::Sweden, true},        {QLocale::Korean, QLocale::SouthKorea, false},
      {QLocale::Chinese, QLocale::China, false},        {QLocale::English, QLocale::Canada, false},
  };
  for (const auto& l : locales) {
    EXPECT_EQ(LocaleWritesDayFirst(QLocale(l.language, l.territory)), l.dayFirst) << QLocale(l.language, l.territory).name().toStdString();
  }
}

}  // namespace

namespace {

// Locales that write their short dates day.month.year (or month.day.year) with dots, a blank
// after a dot or not, against those that write them otherwise or put the year first.
TEST(FlDates, LocalesThatWriteTheirDatesWithDots) {
  const struct { const char* locale; bool dotted; } locales[] = {
      {"de_DE", true},  {"de_CH", true},  {"pl_PL", true},  {"ru_RU", true},  {"fi_FI", true},
      {"cs_CZ", true},  {"nb_NO", true},  {"tr_TR", true},  {"sk_SK", true},  {"C", false},
      {"en_US", false}, {"en_GB", false}, {"fr_FR", false}, {"ar_EG", false}, {"nl_NL", false},
      {"sv_SE", false}, {"hu_HU", false}, {"mn_MN", false},
  };
  for (const auto& l : locales)
    EXPECT_EQ(LocaleWritesDatesWithDots(QLocale(QString::fromLatin1(l.locale))), l.dotted) << l.locale;
}

// Where dates are written with dots, a dotted text is read by the rules of one with slashes.
TEST(FlDates, ADateWithDotsIsReadAsOneWithSlashes) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  SetDayFirstDateFormat(23);
  const bool savedRequireYear = g_requireDayIndexYear;
  g_requireDayIndexYear = true;
  const struct { const char* text; int32_t expected; const char* message; bool dotted; } cases[] = {
      {"01.03.2024", 20240301, nullptr, true},    {"14.3.2024", 20240314, nullptr, true},
      {"1.12.1999", 19991201, nullptr, true},     {"29.02.2024", 20240229, nullptr, true},
      {"29.02.2023", 0, "day is beyond the end of that month", true},
      {"1.13.2024", 0, "invalid month value", true}, {"32.1.2024", 0, "invalid day value", true},
      {"1.3.24", 0, "invalid year value", true},  {"1.3.1899", 0, "invalid year value", true},
      // Not dotted dates: grouped numbers, too few or too many parts, other characters.
      {"1.234.567", 0, "not in day/month/year format", false}, {"1.001.000", 0, "not in day/month/year format", false},
      {"1.3", 0, "not in day/month/year format", false},     {"1..2024", 0, "not in day/month/year format", false},
      {"1.3.2024.5", 0, "invalid date (yyyy-mm-dd)", false},    {"1.3.2024,5", 0, "invalid date (yyyy-mm-dd)", false},
      // The other forms still read.
      {"1/3/2024", 20240301, nullptr, false},    {"2024-03-01", 20240301, nullptr, false},
      {"20240301", 20240301, nullptr, false},
  };
  for (const auto& c : cases) {
    QString message;
    EXPECT_EQ(ParseIntoDayIndex(QString::fromLatin1(c.text), &message), c.expected) << c.text;
    EXPECT_EQ(message, c.message ? QString::fromLatin1(c.message) : QString()) << c.text;
    EXPECT_EQ(IsDottedDateText(QString::fromLatin1(c.text)), c.dotted) << c.text;
  }
  // Where dates are not written so, a dotted text is none.
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  SetDayFirstDateFormat(23);
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("01.03.2024")), 0);
  EXPECT_FALSE(IsDottedDateText(QStringLiteral("01.03.2024")));
  g_requireDayIndexYear = savedRequireYear;
}

}  // namespace

namespace {

// The order of each locale's short dates, and the words of its long ones.
TEST(FlDates, LocalesThatWriteTheirYearFirstAndTheirDatesWords) {
  const struct { const char* locale; bool yearFirst; const char* march; const char* weekday; const char* joiner; } locales[] = {
      {"sv_SE", true, "mars", "onsdag", nullptr},  {"en_CA", true, "march", "wednesday", nullptr},
      {"hu_HU", true, "március", "szerda", nullptr}, {"fa_IR", true, nullptr, nullptr, nullptr},
      {"en_US", false, "mar", "wed", nullptr},       {"de_DE", false, "märz", "mittwoch", nullptr},
      {"fr_FR", false, "mars", "mercredi", nullptr}, {"pt_BR", false, "março", "quarta-feira", "de"},
  };
  for (const auto& l : locales) {
    SCOPED_TRACE(l.locale);
    const QLocale locale(QString::fromLatin1(l.locale));
    EXPECT_EQ(LocaleWritesYearFirst(locale), l.yearFirst);
    const DateWords words = DateWordsOfLocale(locale);
    if (l.march) {
      const QString march = QString::fromUtf8(l.march);
      EXPECT_TRUE(std::any_of(words.months.begin(), words.months.end(),
                              [&march](const auto& month) { return month.first == march && month.second == 3; }));
    }
    if (l.weekday)
      EXPECT_NE(std::find(words.weekdays.begin(), words.weekdays.end(), QString::fromUtf8(l.weekday)), words.weekdays.end());
    EXPECT_EQ(std::find(words.joiners.begin(), words.joiners.end(), QStringLiteral("de")) != words.joiners.end(), l.joiner != nullptr);
  }
}

// Dates as a page in a language writes them, read in that language's order and words; texts that
// only look like dates are none.
TEST(FlDates, WrittenDatesAreReadInTheirLanguage) {
  const auto order = [](const char* locale) {
    const QLocale l(QString::fromLatin1(locale));
    return DateTextOrder{LocaleWritesDayFirst(l), LocaleWritesDatesWithDots(l), LocaleWritesYearFirst(l),
                         std::make_shared<const DateWords>(DateWordsOfLocale(l))};
  };
  const int32_t century = QDate::currentDate().year() / 100 * 10000 * 100;
  const struct { const char* locale; const char* text; int32_t expected; } cases[] = {
      // A year of four digits first, in every language.
      {"en_US", "2026-3-4", 20260304}, {"de_DE", "2026/03/04", 20260304}, {"fr_FR", "2026-12-25", 20261225},
      // A year of two digits first where the language writes its year first.
      {"sv_SE", "26-03-04", century + 260304}, {"en_CA", "26/3/4", century + 260304}, {"en_US", "26/3/4", 0},
      // Dashes in the language's order, the year in four digits.
      {"en_GB", "4-3-2026", 20260304}, {"en_US", "3-4-2026", 20260304}, {"en_US", "4-3-26", 0},
      // The language's names of months and weekdays, and the words between.
      {"en_US", "March 4, 2026", 20260304}, {"en_GB", "Wednesday 4 March 2026", 20260304},
      {"en_US", "Wed Mar 4, 26", century + 260304}, {"en_US", "2026 March 4", 20260304},
      {"en_CA", "26 Mar 4", century + 260304}, {"de_DE", "4. März 2026", 20260304},
      {"de_DE", "Mittwoch, 4. Mär. 2026", 20260304}, {"fr_FR", "mercredi 4 mars 2026", 20260304},
      {"fr_FR", "25 déc. 2026", 20261225}, {"pt_BR", "4 de março de 2026", 20260304},
      {"sv_SE", "onsdag 4 mars 2026", 20260304}, {"hu_HU", "2026. március 4.", 20260304},
      // No dates: another language's names, a month without its day or year, a day past the
      // month's end, versions, addresses, codes and scores.
      {"de_DE", "4 March 2026", 0}, {"en_US", "March 2026", 0}, {"en_US", "4 March", 0},
      {"en_US", "February 30, 2026", 0}, {"en_US", "May", 0}, {"en_US", "2019.3.1", 0},
      {"en_US", "192.168.1.1", 0}, {"en_US", "978-3-16-148410-0", 0}, {"en_US", "3-1", 0},
      {"en_US", "12:30", 0}, {"en_US", "1 2 March 2026", 0}, {"en_US", "March 4, 2026, 5", 0},
      {"en_US", "2026-13-01", 0}, {"en_US", "1899-12-31", 0}, {"en_US", "", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseWrittenDate(QString::fromUtf8(c.text), order(c.locale)), c.expected) << c.locale << " " << c.text;
}

}  // namespace
