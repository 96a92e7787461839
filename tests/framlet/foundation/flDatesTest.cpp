#include "framlet/foundation/flDates.h"
#include "framlet/foundation/FLKernel.h"
#include "support/LogCapture.h"
#include "support/TestData.h"

#include <QCalendar>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTextStream>

#include <gtest/gtest.h>

#include <chrono>
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

struct YearVector {
  int year;
  int januaryFirstWeekday;
  int monthLengths[12];
};

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

// Every day 1900-3000 against the calendar Python computed and, separately, std::chrono.
TEST(FlDates, WeekdayOrdinalAndMonthLengthMatchIndependentCalendarsForEveryDay) {
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
        const std::chrono::year_month_day ymd{std::chrono::year(v.year), std::chrono::month(unsigned(month)),
                                              std::chrono::day(unsigned(day))};
        const unsigned chronoWeekday = std::chrono::weekday(std::chrono::sys_days(ymd)).c_encoding();
        if (WeekdayFromDayIndex(index) != expectedWeekday || unsigned(expectedWeekday) != chronoWeekday ||
            DayOrdinalForDayIndex(index) != ordinal || LastDayOfMonth(index) != v.monthLengths[month - 1] ||
            !IsValidDate(index)) {
          if (++mismatches < 10) ADD_FAILURE() << "day index " << index;
        }
      }
      // The first day past the month's end is no date.
      EXPECT_FALSE(IsValidDate(v.year * 10000 + month * 100 + v.monthLengths[month - 1] + 1));
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(FlDates, IsValidDateRefusesDatesOutsideTheRange) {
  const struct {
    int32_t index;
    bool valid;
  } cases[] = {
      {19000101, true},  {30001231, true},  {18991231, false}, {30010101, false}, {20240229, true},
      {20230229, false}, {21000229, false}, {20000229, true},  {20241301, false}, {20240001, false},
      {20240100, false}, {20240431, false}, {0, false},        {-20240101, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidDate(c.index), c.valid) << c.index;
}

TEST(FlDates, AddToDayIndexMatchesPythonRelativeDelta) {
  QFile file(TestDataPath(QStringLiteral("dates/shifts.txt")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  QTextStream in(&file);
  int count = 0;
  int mismatches = 0;
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
  const struct {
    int32_t start, years, months, days, expected;
  } cases[] = {
      {20230131, 0, 1, 0, 20230228},   // the day is cut to the new month
      {20240131, 0, 1, 0, 20240229},
      {20240229, 1, 0, 0, 20250228},
      {20240101, 0, 0, -1, 20231231},
      {20240301, 0, 0, -1, 20240229},
      {20230131, 0, 0, 1, 20230201},
      {20231231, 0, 0, 1, 20240101},
      {20240115, 0, -13, 0, 20221215},  // months carry whole years backwards
      {20240115, 0, 23, 0, 20251215},
      {0, 1, 1, 1, 0},                  // no date stays no date
      {19000101, 0, 0, -1, 0},          // results outside 1900-3000 are failures
      {30001231, 0, 0, 1, 0},
      {20240101, -2024, 0, 0, 0},       // year 0
      {20240101, 2147483647, 2147483647, 0, 0},
      {20240101, 0, 0, 2147483647, 0},
      {20240101, 0, 0, -2147483647 - 1, 0},
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
      {"", 0, nullptr},
      {"?", 0, nullptr},
      {"<unknown>", 0, nullptr},
      {"<UNKNOWN>", 0, nullptr},
      {"20240229", 20240229, nullptr},
      {"20230229", 0, "day is beyond the end of that month"},
      {"20230230", 0, "invalid raw date (yyyymmdd)"},
      {"18991231", 0, "invalid raw date (yyyymmdd)"},
      {"2024o229", 0, "invalid raw date (yyyymmdd)"},
      {"20241301", 0, "invalid raw date (yyyymmdd)"},
      {"2024-02-29", 20240229, nullptr},
      {"2023-02-29", 0, "day is beyond the end of that month"},
      {"2023-13-01", 0, "invalid date (yyyy-mm-dd)"},
      {"2023-1-011", 20230111, nullptr},
      {"2023x01x01", 0, "invalid date (yyyy-mm-dd)"},
      {"12/25/2024", 20241225, nullptr},
      {"3/4/2024", 20240304, nullptr},
      {"2/29/2023", 0, "day is beyond the end of that month"},
      {"2/30/2024", 0, "invalid day value"},
      {"13/1/2024", 0, "invalid month value"},
      {"x/1/2024", 0, "invalid month value"},
      {"1/0/2024", 0, "invalid day value"},
      {"1//2024", 0, "invalid day value"},
      {"1/2/20x4", 0, "invalid year value"},
      {"1/2/1899", 0, "invalid year value"},
      {"1/2/3001", 0, "invalid year value"},
      {"1/2/100", 0, "invalid year value"},
      {"1/2/99999999999999999999", 0, "invalid year value"},
      {"1/2/3/4", 0, "not in month/day/year format"},
      {"12345", 0, "not in month/day/year format"},
      {"1/2024/1/1", 0, "not in month/day/year format"},
  };
  for (const auto& c : cases) {
    QString message = QStringLiteral("stale");
    EXPECT_EQ(ParseIntoDayIndex(QString::fromUtf8(c.text), &message), c.expected) << c.text;
    if (c.message)
      EXPECT_EQ(message, QString::fromUtf8(c.message)) << c.text;
    else
      EXPECT_TRUE(message.isNull()) << c.text << ": " << message.toStdString();
  }
  // Two-digit years fall in the current century; a missing year is the current year.
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("3/4/24")), (thisYear / 100 * 100 + 24) * 10000 + 304);
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("3/4")), thisYear * 10000 + 304);
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("1/2/3"), nullptr), (thisYear / 100 * 100 + 3) * 10000 + 102);
}

TEST(FlDates, ParseReadsTheDayFirstWhereTheLocaleDoes) {
  const DateSettings settings(true, false);
  QString message;
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("3/4/2024"), &message), 20240403);
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("25/12/2024"), &message), 20241225);
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("12/25/2024"), &message), 0);
  EXPECT_EQ(message, QStringLiteral("invalid month value"));
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("1/2/3/4"), &message), 0);
  EXPECT_EQ(message, QStringLiteral("not in day/month/year format"));
  EXPECT_EQ(FormatDayIndex(20240403), QStringLiteral("3/4/2024"));
}

TEST(FlDates, RequiredYearRefusesDatesWithoutAFullYear) {
  const DateSettings settings(false, true);
  QString message;
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("3/4"), &message), 0);
  EXPECT_EQ(message, QStringLiteral("not in month/day/year format"));
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("3/4/24"), &message), 0);
  EXPECT_EQ(message, QStringLiteral("invalid year value"));
  EXPECT_EQ(ParseIntoDayIndex(QStringLiteral("3/4/2024"), &message), 20240304);
  EXPECT_TRUE(message.isNull());
}

TEST(FlDates, DayFirstIsReadFromTheLocalesDatePattern) {
  const struct {
    const char* locale;
    bool dayFirst;
  } cases[] = {
      {"en_US", false}, {"en_GB", true}, {"de_DE", true}, {"fr_FR", true},
      {"sv_SE", false}, {"ja_JP", false}, {"zh_CN", false}, {"ko_KR", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LocaleWritesDayFirst(QLocale(QString::fromLatin1(c.locale))), c.dayFirst) << c.locale;
}

TEST(FlDates, FormatDayIndexWritesMonthDayYear) {
  const DateSettings settings(false, false);
  EXPECT_EQ(FormatDayIndex(20240403), QStringLiteral("4/3/2024"));
  EXPECT_EQ(FormatDayIndex(19001231), QStringLiteral("12/31/1900"));
  for (int32_t unknown : {0, 9999, -9999, 1, -1})
    EXPECT_EQ(FormatDayIndex(unknown), QStringLiteral("<Unknown>")) << unknown;
}

TEST(FlDates, MonthNames) {
  EXPECT_EQ(MonthName(1, true), QStringLiteral("January"));
  EXPECT_EQ(MonthName(9, false), QStringLiteral("Sep"));
  EXPECT_EQ(MonthName(12, true), QStringLiteral("December"));
  LogCapture capture;
  EXPECT_EQ(MonthName(0, true), QString());
  EXPECT_EQ(MonthName(13, false), QString());
  EXPECT_TRUE(capture.contains(QStringLiteral("Assert: Bad month")));
}

TEST(FlDates, WeekdayBefore1900IsAsserted) {
  LogCapture capture;
  EXPECT_EQ(WeekdayFromDayIndex(18991231), 0);  // a Sunday
  EXPECT_TRUE(capture.contains(QStringLiteral("Year must be >= 1900")));
}

TEST(FlDates, DayIndexForDateTakesTheCalendarDate) {
  const QCalendar gregorian(QCalendar::System::Gregorian);
  const QCalendar* saved = g_calendar;
  g_calendar = &gregorian;
  EXPECT_EQ(DayIndexForDate(QDate(2024, 2, 29)), 20240229);
  EXPECT_EQ(DayIndexForDate(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))), 19991231);
  EXPECT_EQ(DayIndexForDate(QDateTime()), 0);
  EXPECT_EQ(DayIndexValue(NumberWithDayIndex(20240229)), 20240229);

  // Before the kernel has made the calendar: asserted, and still the right day.
  g_calendar = nullptr;
  {
    LogCapture capture;
    EXPECT_EQ(DayIndexForDate(QDate(2024, 3, 1)), 20240301);
    EXPECT_TRUE(capture.contains(QStringLiteral("InitializeFramlet or FLKernal to set g_calendar")));
  }
  g_calendar = saved;
}

}  // namespace
