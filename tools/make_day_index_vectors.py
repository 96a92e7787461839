#!/usr/bin/env python3
"""Writes the independent vectors for the day-index date tests, computed with Python's datetime
and dateutil rather than with the code under test.

tests/data/dates/years.txt   one line per year 1900-3000: year, weekday of 1 January (0 Sunday),
                             then the twelve month lengths.
tests/data/dates/shifts.txt  start day index, years, months, days, expected day index (0 when the
                             result falls outside the years 1900-3000).
"""
import calendar
import datetime
import os
import random

from dateutil.relativedelta import relativedelta

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "dates")


def day_index(d):
    return d.year * 10000 + d.month * 100 + d.day


def shifted(start, years, months, days):
    try:
        moved = start + relativedelta(years=years, months=months)
        result = moved + datetime.timedelta(days=days)
    except (OverflowError, ValueError):
        return 0
    if not 1900 <= result.year <= 3000:
        return 0
    return day_index(result)


def main():
    os.makedirs(ROOT, exist_ok=True)
    with open(os.path.join(ROOT, "years.txt"), "w") as out:
        for year in range(1900, 3001):
            sunday_based = (datetime.date(year, 1, 1).weekday() + 1) % 7
            lengths = [calendar.monthrange(year, m)[1] for m in range(1, 13)]
            out.write(" ".join(str(v) for v in [year, sunday_based] + lengths) + "\n")

    cases = []
    # Month ends and starts around leap days, century years and the ends of the range.
    starts = []
    for year in (1900, 1901, 2000, 2023, 2024, 2100, 2999, 3000):
        for month, day in ((1, 1), (1, 31), (2, 28), (3, 1), (3, 31), (4, 30), (12, 31)):
            starts.append(datetime.date(year, month, day))
        if calendar.isleap(year):
            starts.append(datetime.date(year, 2, 29))
    for start in starts:
        for months in (-13, -12, -1, 0, 1, 2, 11, 12, 13, 25):
            for days in (-366, -31, -1, 0, 1, 29, 365):
                cases.append((start, 0, months, days))
        for years in (-101, -1, 1, 4, 100):
            cases.append((start, years, 0, 0))
    rng = random.Random(20240229)
    first, last = datetime.date(1900, 1, 1).toordinal(), datetime.date(3000, 12, 31).toordinal()
    for _ in range(4000):
        start = datetime.date.fromordinal(rng.randint(first, last))
        cases.append((start, rng.randint(-200, 200), rng.randint(-300, 300), rng.randint(-40000, 40000)))
    # Far shifts: the whole range in days and months, and beyond it.
    for days in (401766, -401766, 401767, -401767, 402966, 500000):
        cases.append((datetime.date(1900, 1, 1), 0, 0, days))
        cases.append((datetime.date(3000, 12, 31), 0, 0, -days))
    cases.append((datetime.date(3000, 12, 15), 0, 1, -30))
    cases.append((datetime.date(1900, 1, 15), 0, -1, 31))

    with open(os.path.join(ROOT, "shifts.txt"), "w") as out:
        for start, years, months, days in cases:
            out.write("%d %d %d %d %d\n" % (day_index(start), years, months, days,
                                            shifted(start, years, months, days)))


if __name__ == "__main__":
    main()
