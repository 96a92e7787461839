// Date, finance and physics arithmetic.
#include "calculator/model/formula/caDateCores.h"

#include <cmath>

#include <QDate>
#include <limits>

#include "framlet/foundation/flDates.h"

namespace {

constexpr int64_t kFirstYear = 1900;
constexpr int64_t kLastYear = 3000;
constexpr int32_t kYearFactor = 10000;
constexpr int32_t kMonthFactor = 100;
// One mile is 1609.344 m: 36000000 / 57936384000 turns metres into miles exactly.
constexpr int64_t kMilesNumerator = 36000000;
constexpr uint64_t kMilesDenominator = 57936384000;
constexpr int64_t kSpeedOfLight = 299792458;
// 2π as the double constant that HR has always divided by.
constexpr long double kTwoPi = 6.283185307179586;

bool IsLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// A count of years, months or days: its whole part, held to 32 bits. Counts beyond that move
// every date out of the supported years anyway.
int32_t ShiftCount(const CANumber& number) {
  const int64_t value = number.integerValue();
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return int32_t(value);
}

FunctionResult BadDate() { return FunctionResult::failure(kFormulaErrorValue); }

FunctionResult Shift(const CANumber& start, int32_t years, int32_t months, int32_t days) {
  int32_t dayIndex = 0;
  if (!start.getDateValue(&dayIndex)) return BadDate();
  return CANumber(AddToDayIndex(dayIndex, years, months, days));
}

// fraction × 10^exponent, the power taken as an extended real.
CANumber ScaledConstant(int64_t numerator, uint64_t denominator, int64_t exponent) {
  CANumber value = CANumber::withNumerator(numerator, denominator);
  CANumber scale(10);
  scale.power(CANumber(exponent));
  value.multiply(scale);
  return value;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Date

FunctionResult DateCore(const CANumber& year, const CANumber& month, const CANumber& day) {
  const int64_t y = year.integerValue();
  const int64_t m = month.integerValue();
  const int64_t d = day.integerValue();
  // Each part in its own range first: 2024, 0, 1015 must not pass as 20241015.
  if (y < kFirstYear || y > kLastYear || m < 1 || m > 12 || d < 1 || d > 31) return BadDate();
  const auto dayIndex = int32_t(y * kYearFactor + m * kMonthFactor + d);
  if (!IsValidDate(dayIndex)) return BadDate();
  return CANumber(dayIndex);
}

FunctionResult DayCore(const CANumber& date) {
  int32_t dayIndex = 0;
  if (!date.getDateValue(&dayIndex)) return BadDate();
  return CANumber(dayIndex % kMonthFactor);
}

CANumber MonthCore(const CANumber& number) {
  const auto value = int32_t(number.integerValue());
  return CANumber((value / kMonthFactor) % kMonthFactor);
}

FunctionResult YearCore(const CANumber& date) {
  int32_t dayIndex = 0;
  if (!date.getDateValue(&dayIndex)) return BadDate();
  return CANumber(dayIndex / kYearFactor);
}

FunctionResult DaysCore(const CANumber& start, const CANumber& end) {
  int32_t first = 0;
  int32_t last = 0;
  if (!start.getDateValue(&first) || !end.getDateValue(&last)) return BadDate();
  if (first > last) return FunctionResult::failure(kFormulaErrorNumber);
  int64_t total = 0;
  for (int32_t year = first / kYearFactor; year < last / kYearFactor; ++year)
    total += IsLeapYear(year) ? 366 : 365;
  total += DayOrdinalForDayIndex(last) - DayOrdinalForDayIndex(first);
  if (total < 0) return FunctionResult::failure(kFormulaErrorNumber);
  return CANumber(total);
}

FunctionResult EdateCore(const CANumber& start, const CANumber& months) {
  return Shift(start, 0, ShiftCount(months), 0);
}

FunctionResult EdayCore(const CANumber& start, const CANumber& days) {
  return Shift(start, 0, 0, ShiftCount(days));
}

FunctionResult EyearCore(const CANumber& start, const CANumber& years) {
  return Shift(start, ShiftCount(years), 0, 0);
}

FunctionResult EomonthCore(const CANumber& start, const CANumber& months) {
  FunctionResult shifted = Shift(start, 0, ShiftCount(months), 0);
  if (!shifted.succeeded()) return shifted;
  const auto dayIndex = int32_t(shifted.value.integerValue());
  if (dayIndex == 0) return shifted;
  return CANumber(dayIndex / kMonthFactor * kMonthFactor + LastDayOfMonth(dayIndex));
}

CANumber TodayCore() { return CANumber(DayIndexForDate(QDate::currentDate())); }

FunctionResult WeekdayCore(const CANumber& date, const std::optional<CANumber>& returnType) {
  int32_t dayIndex = 0;
  if (!date.getDateValue(&dayIndex)) return BadDate();
  const int weekday = WeekdayFromDayIndex(dayIndex);  // 0 Sunday
  switch (returnType ? returnType->integerValue() : 1) {
    case 1:
      return CANumber(weekday + 1);
    case 2:
      return CANumber(weekday == 0 ? 7 : weekday);
    case 3:
      return CANumber(weekday == 0 ? 6 : weekday - 1);
    default:
      return FunctionResult::failure(kFormulaErrorArguments);
  }
}

// ---------------------------------------------------------------------------------------------
// Finance

FunctionResult PmtCore(const CANumber& rate, const CANumber& periods, const CANumber& principal) {
  if (!rate.isPositive() || !periods.isPositive() || !principal.isPositive())
    return FunctionResult::failure(kFormulaErrorNumber);
  CANumber payment = principal;
  if (rate.isZero()) {
    // Without interest the principal is repaid in equal parts.
    payment.divide(periods);
  } else {
    CANumber growth(1);
    growth.add(rate);
    growth.power(periods);  // (1 + r)^n
    CANumber divisor = growth;
    divisor.subtract(g_number1);
    payment.multiply(rate);
    payment.multiply(growth);
    payment.divide(divisor);
    const auto exact = [](const CANumber& n) { return n.form() == kNumberInteger || n.form() == kNumberFraction; };
    if (!exact(growth) || !exact(payment)) {
      // No exact result: p r / (1 - (1 + r)^-n), with the power taken through log1p and expm1 so
      // that neither a tiny rate (1 + r rounds to 1) nor a huge power (infinity over infinity)
      // loses the result.
      const long double r = rate.realValue();
      const long double n = periods.realValue();
      const long double share = -std::expm1l(-n * std::log1pl(r));
      payment = CANumber::withReal(principal.realValue() * r / share);
    }
  }
  payment.changeSign();
  return payment;
}

// ---------------------------------------------------------------------------------------------
// Physics

CANumber CCore(const CANumber& units) {
  CANumber speed(kSpeedOfLight);
  if (units.isZero()) speed.multiply(CANumber::withNumerator(kMilesNumerator, kMilesDenominator));
  return speed;
}

CANumber EcCore() { return ScaledConstant(1602176634, 1000000000, -19); }

CANumber FineCore() { return CANumber::withNumerator(72973525693, 10000000000000); }

CANumber GCore() { return ScaledConstant(667430, 100000, -11); }

CANumber HCore() { return ScaledConstant(662607015, 100000000, -34); }

CANumber HrCore() {
  CANumber value = HCore();
  value.divide(CANumber::withReal(kTwoPi));
  return value;
}

CANumber KCore() { return ScaledConstant(1380649, 1000000, -23); }

CANumber LCore() { return ScaledConstant(602214076, 100000000, 23); }

CANumber VpCore() { return ScaledConstant(88541878128, 10000000000, -12); }
