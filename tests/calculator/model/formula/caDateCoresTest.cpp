// Date, finance and physics arithmetic against Python's datetime and dateutil over every day
// from 1900 to 3000, explicit date cases, and mpmath for the finance and physics values
// (tools/make_function_vectors.py).
#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QTextStream>
#include <array>

#include "FunctionVectors.h"
#include "calculator/model/formula/caDateCores.h"
#include "support/TestData.h"

namespace {

const std::map<std::string, VectorFunction>& DateFunctions() {
  static const std::map<std::string, VectorFunction> functions = {
      {"DATE", [](Args a) { return DateCore(a[0], a[1], a[2]); }}, {"DAY", [](Args a) { return DayCore(a[0]); }},
      {"MONTH", [](Args a) { return FunctionResult(MonthCore(a[0])); }},
      {"YEAR", [](Args a) { return YearCore(a[0]); }},
      {"DAYS", [](Args a) { return DaysCore(a[0], a[1]); }}, {"EDATE", [](Args a) { return EdateCore(a[0], a[1]); }},
      {"EDAY", [](Args a) { return EdayCore(a[0], a[1]); }},
      {"EYEAR", [](Args a) { return EyearCore(a[0], a[1]); }},
      {"EOMONTH", [](Args a) { return EomonthCore(a[0], a[1]); }},
      {"WEEKDAY", [](Args a) { return WeekdayCore(a[0], Optional(a, 1)); }},
      {"PMT", [](Args a) { return PmtCore(a[0], a[1], a[2]); }},
      {"C", [](Args a) { return FunctionResult(CCore(a[0])); }},
      {"EC", [](Args) { return FunctionResult(EcCore()); }},
      {"FINE", [](Args) { return FunctionResult(FineCore()); }}, {"G", [](Args) { return FunctionResult(GCore()); }},
      {"H", [](Args) { return FunctionResult(HCore()); }},
      {"HR", [](Args) { return FunctionResult(HrCore()); }},
      {"K", [](Args) { return FunctionResult(KCore()); }}, {"L", [](Args) { return FunctionResult(LCore()); }},
      {"VP", [](Args) { return FunctionResult(VpCore()); }},
  };
  return functions;
}

// The shifts whose results days.txt digests, in its column order.
constexpr std::array kEdateShifts = {-25, -1, 1, 13};
constexpr std::array kEomonthShifts = {-1, 0, 1, 14};
constexpr std::array kEdayShifts = {-400, -1, 1, 31};
constexpr std::array kEyearShifts = {-1, 1, 4};

class Fnv {
 public:
  void add(const FunctionResult& result) {
    // An error must not digest like any result.
    const auto value = uint32_t(result.error ? -1 - int64_t(result.error) : result.value.integerValue());
    for (int shift = 0; shift < 32; shift += 8) {
      hash_ ^= (value >> shift) & 0xFF;
      hash_ *= 16777619u;
    }
  }
  uint32_t hash() const { return hash_; }

 private:
  uint32_t hash_ = 2166136261u;
};

int32_t DayIndex(const QDate& date) { return date.year() * 10000 + date.month() * 100 + date.day(); }

TEST(DateCores, ResultsMatchPythonDates) {
  const auto vectors = ReadFunctionVectors(QStringLiteral("functions/dates.txt"), 0);
  EXPECT_GT(RunFunctionVectors(vectors, DateFunctions()), 5000);
}

TEST(DateCores, EveryDayFrom1900To3000MatchesPythonDates) {
  QFile file(TestDataPath(QStringLiteral("functions/days.txt")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  QTextStream stream(&file);
  const CANumber first(19000101);
  const CANumber last(30001231);
  int years = 0;
  while (!stream.atEnd()) {
    const QStringList columns = stream.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (columns.isEmpty()) continue;
    ASSERT_EQ(columns.size(), 7);
    const int year = columns[0].toInt();
    std::array<Fnv, 6> digests;
    for (QDate day(year, 1, 1); day.year() == year; day = day.addDays(1)) {
      const CANumber date(DayIndex(day));
      for (int type = 1; type <= 3; ++type) digests[0].add(WeekdayCore(date, CANumber(type)));
      for (int k : kEdateShifts) digests[1].add(EdateCore(date, CANumber(k)));
      for (int k : kEomonthShifts) digests[2].add(EomonthCore(date, CANumber(k)));
      for (int k : kEdayShifts) digests[3].add(EdayCore(date, CANumber(k)));
      for (int k : kEyearShifts) digests[4].add(EyearCore(date, CANumber(k)));
      digests[5].add(DaysCore(first, date));
      digests[5].add(DaysCore(date, last));
    }
    static constexpr const char* kNames[] = {"WEEKDAY", "EDATE", "EOMONTH", "EDAY", "EYEAR",
                                             "DAYS"};
    for (size_t i = 0; i < digests.size(); ++i) {
      EXPECT_EQ(QStringLiteral("%1").arg(digests[i].hash(), 8, 16, QLatin1Char('0')),
                columns[int(i) + 1])
          << kNames[i] << " differs from Python's dates in " << year;
    }
    ++years;
  }
  EXPECT_EQ(years, 1101);
}

TEST(DateCores, DateDoesNotCarryOverflowingParts) {
  // On purpose unlike common spreadsheets, where DATE(2024, 13, 1) is 1 January 2025: a day
  // index is only ever a real date, and parts out of range are refused.
  const int64_t cases[][3] = {{2024, 13, 1}, {2024, 0, 1015}, {2024, 2, -71}, {2023, 2, 29}};
  for (const auto& c : cases) {
    EXPECT_EQ(DateCore(CANumber(c[0]), CANumber(c[1]), CANumber(c[2])).error,
              uint32_t(kFormulaErrorValue))
        << c[0] << "-" << c[1] << "-" << c[2];
  }
}

TEST(DateCores, DaysRefusesAStartAfterTheEnd) {
  // On purpose unlike common spreadsheets, which count backwards: error 8.
  EXPECT_EQ(DaysCore(CANumber(20240301), CANumber(20240201)).error, uint32_t(kFormulaErrorNumber));
  EXPECT_TRUE(MatchesExpected(DaysCore(CANumber(20240101), CANumber(20250101)), "=366", 0));
}

TEST(DateCores, DayIndexesShiftByCalendarNotByAddition) {
  // A date is yyyymmdd, not a count of days: 20240131 + 1 would be 20240132, which is no date
  // (DAY refuses it). EDAY is how a sheet moves by days.
  EXPECT_EQ(DayCore(CANumber(20240132)).error, uint32_t(kFormulaErrorValue));
  EXPECT_TRUE(MatchesExpected(EdayCore(CANumber(20240131), CANumber(1)), "=20240201", 0));
  EXPECT_TRUE(MatchesExpected(EdateCore(CANumber(20240131), CANumber(1)), "=20240229", 0));
  EXPECT_TRUE(MatchesExpected(EyearCore(CANumber(20240229), CANumber(1)), "=20250228", 0));
  // Shifts far beyond the supported years give 0, which shows as no date.
  EXPECT_TRUE(MatchesExpected(EdateCore(CANumber(20240131), CANumber(int64_t(1) << 40)), "=0", 0));
  EXPECT_TRUE(MatchesExpected(EomonthCore(CANumber(30001215), CANumber(1)), "=0", 0));
}

TEST(FinanceCores, PaymentsMatchExtendedPrecision) {
  const auto vectors = ReadFunctionVectors(QStringLiteral("functions/reals.txt"), 0);
  EXPECT_GE(RunFunctionVectors(vectors, DateFunctions()), 16);
  // A real rate too small for 1 + r to hold gives about p / n (reference from mpmath).
  const FunctionResult tiny = PmtCore(CANumber::withReal(1e-20L), CANumber(12), CANumber(1000));
  EXPECT_TRUE(MatchesExpected(tiny, "~-83.3333333333333333379", 4e-19L));
}

}  // namespace
