// The arithmetic of the date, finance and physics functions. Dates are day indexes (yyyymmdd)
// held in exact numbers; a date argument counts only when it is a real date from 1900 to 3000,
// and anything else is error 11. Shifts go through AddToDayIndex, never through day counts.
#pragma once

#include <optional>

#include "calculator/model/formula/caFunctionCores.h"

// --- Date

// The day index of year, month and day (their whole parts), only when they name a real date:
// nothing carries over, so a month of 13 or a day of 32 is error 11, not a later date.
FunctionResult DateCore(const CANumber& year, const CANumber& month, const CANumber& day);
FunctionResult DayCore(const CANumber& date);
// The month digits of any number taken as a 32-bit integer, with no date check.
CANumber MonthCore(const CANumber& number);
FunctionResult YearCore(const CANumber& date);
// Days from start to end; error 8 when the start is after the end.
FunctionResult DaysCore(const CANumber& start, const CANumber& end);
// Shifted day indexes; a result outside the years 1900-3000 is 0, as AddToDayIndex gives.
FunctionResult EdateCore(const CANumber& start, const CANumber& months);
FunctionResult EdayCore(const CANumber& start, const CANumber& days);
FunctionResult EyearCore(const CANumber& start, const CANumber& years);
FunctionResult EomonthCore(const CANumber& start, const CANumber& months);
// The current date in the local time zone.
CANumber TodayCore();
// Return type 1 (default): 1 Sunday ... 7 Saturday; 2: 1 Monday ... 7 Sunday; 3: 0 Monday ...
// 6 Sunday; any other type is error 1.
FunctionResult WeekdayCore(const CANumber& date,
                           const std::optional<CANumber>& returnType = std::nullopt);

// --- Finance

// The payment per period of a loan at a rate over periods, negative; a loan at 0 % is repaid
// in equal parts. Error 8 when any argument is negative.
FunctionResult PmtCore(const CANumber& rate, const CANumber& periods, const CANumber& principal);

// --- Physics (SI units; CODATA 2018 values)

// 299792458 m/s, or in miles per second when units is zero.
CANumber CCore(const CANumber& units);
CANumber EcCore();
CANumber FineCore();
CANumber GCore();
CANumber HCore();
CANumber HrCore();
CANumber KCore();
CANumber LCore();
CANumber VpCore();
