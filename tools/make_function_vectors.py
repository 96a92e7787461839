#!/usr/bin/env python3
"""Writes the independent vectors for the built-in functions' arithmetic, computed with Python's
fractions, mpmath and datetime/dateutil rather than with the code under test.

tests/data/functions/exact.txt   FUNC|arguments|expected, one case a line:
    arguments   space-separated exact numbers ("3", "-7/2"); for list functions the whole list,
                for the others the arguments in order; "-" for none
    expected    "=p/q" or "=n": an exact result, which must come out as exactly that integer
                or fraction; "~decimal": a real result, compared within the function's
                tolerance; "inf" and "nan"; "!code": a formula error code
tests/data/functions/reals.txt   FUNC|arguments|expected|tolerance
    expected    "~" and the function of the arguments (each first rounded to a 64-bit-mantissa
                extended real, as the code reads them), computed by mpmath at 160 bits and
                written with 30 significant digits
    tolerance   relative error allowed: about 4 ulps of the extended real, or of the double
                for the functions computed in double precision
tests/data/functions/days.txt    per year 1900-3000 an FNV-1a 32-bit digest of every day's
    results, in day order, each result as a little-endian int32:
    year weekday edate eomonth eday eyear days
      weekday   WEEKDAY(d, 1), WEEKDAY(d, 2), WEEKDAY(d, 3)
      edate     EDATE(d, k) for k in EDATE_SHIFTS
      eomonth   EOMONTH(d, k) for k in EOMONTH_SHIFTS
      eday      EDAY(d, k) for k in EDAY_SHIFTS
      eyear     EYEAR(d, k) for k in EYEAR_SHIFTS
      days      DAYS(19000101, d), DAYS(d, 30001231)
    a shift that leaves the years 1900-3000 gives 0.
tests/data/functions/dates.txt   explicit date cases in the format of exact.txt.
tests/data/functions/sums.txt    SUM and AVERAGE of lists near the bounds of the exact numbers,
    in the format of reals.txt: terms around 2^62 and 2^63 that cancel, fractions among them,
    large denominators, both signs. An exact sum (and mean) that fits is "=p/q"; any other
    real within one rounding of the exact value, or, where the terms' denominators have no
    common multiple within 63 bits, within the bound of adding them one by one in order.

Run from the repository root: python3 tools/make_function_vectors.py
"""
import calendar
import datetime
import math
import os
import random
from collections import Counter
from fractions import Fraction

import mpmath
from dateutil.relativedelta import relativedelta

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "functions")
INT64_MAX = 2**63 - 1

EDATE_SHIFTS = (-25, -1, 1, 13)
EOMONTH_SHIFTS = (-1, 0, 1, 14)
EDAY_SHIFTS = (-400, -1, 1, 31)
EYEAR_SHIFTS = (-1, 1, 4)

PI_DOUBLE = Fraction(3.141592653589793)
TWO_PI_DOUBLE = Fraction(6.283185307179586)
E_DOUBLE = Fraction(2.718281828459045)

EXTENDED = "4e-19"     # four ulps of a 64-bit mantissa
DOUBLE = "5e-16"       # about two ulps of a double
ACCUMULATED = "2e-15"  # long products and quotients of extended reals


def text(value):
    value = Fraction(value)
    if value.denominator == 1:
        return str(value.numerator)
    return "%d/%d" % (value.numerator, value.denominator)


def fits(value):
    value = Fraction(value)
    return abs(value.numerator) <= INT64_MAX and value.denominator <= INT64_MAX


def exact(value):
    value = Fraction(value)
    return "=" + text(value)


def approx(value):
    if isinstance(value, Fraction):
        value = mpmath.mpf(value.numerator) / value.denominator
    if mpmath.isinf(value):
        return "inf"
    return "~" + mpmath.nstr(value, 30, strip_zeros=False, min_fixed=-1, max_fixed=1)


def exact_or_real(value):
    return exact(value) if fits(value) else approx(Fraction(value))


def sign(x):
    return -1 if x < 0 else 1


def line(out, name, args, expected):
    out.write("%s|%s|%s\n" % (name, " ".join(text(a) for a in args) if args else "-", expected))


# ---------------------------------------------------------------------------------------------
# Independent definitions of the functions on exact rationals.

def mode(values):
    if not values:
        return "!7"
    counts = Counter(values)
    most = max(counts.values())
    if most < 2:
        return "!7"
    return exact(min(v for v, c in counts.items() if c == most))


def variance(values, sample):
    if not values:
        return "!7" if sample else exact(0)
    if sample and len(values) == 1:
        return "inf"
    mean = sum(values, Fraction(0)) / len(values)
    return exact(sum((v - mean) ** 2 for v in values) / (len(values) - (1 if sample else 0)))


def median(values):
    if not values:
        return Fraction(0)
    ordered = sorted(values)
    middle = len(ordered) // 2
    if len(ordered) % 2:
        return ordered[middle]
    return (ordered[middle - 1] + ordered[middle]) / 2


def significance(x, s, kind):
    """Rounds x to a multiple of s; kinds name the direction. Signs must agree."""
    if x == 0 or s == 0:
        return exact(0)
    if (x < 0) != (s < 0):
        return "!8"
    step = abs(s)
    q = abs(x) / step
    if kind == "away":
        m = math.ceil(q)
    elif kind == "toward":
        m = math.floor(q)
    elif kind == "nearest":
        m = math.floor(q + Fraction(1, 2))
    elif kind == "up":  # toward +infinity, on the signed value
        return exact(math.ceil(x / step) * step)
    else:  # "down": toward -infinity
        return exact(math.floor(x / step) * step)
    return exact(sign(x) * m * step)


def round_digits(x, digits, kind):
    scale = Fraction(10) ** digits
    q = abs(x) * scale
    if kind == "nearest":
        m = math.floor(q + Fraction(1, 2))
    elif kind == "away":
        m = math.ceil(q)
    else:
        m = math.floor(q)
    return exact(sign(x) * m / scale)


def parity(x, odd):
    m = math.ceil(abs(x))
    if (m % 2 == 1) != odd:
        m += 1
    return exact(-m if x < 0 else m)


def random_fraction(rng, limit=200, denominators=(1, 2, 3, 4, 5, 6, 8, 10, 12, 25, 100)):
    d = rng.choice(denominators)
    return Fraction(rng.randint(-limit * d, limit * d), d)


def write_exact(out, rng):
    lists = [[], [Fraction(5)], [Fraction(1), Fraction(2)], [Fraction(1, 3), Fraction(1, 6)],
             [Fraction(4), Fraction(1), Fraction(3), Fraction(2)],
             [Fraction(1), Fraction(2), Fraction(2), Fraction(3), Fraction(3)],
             [Fraction(3), Fraction(3), Fraction(1), Fraction(1), Fraction(2)],
             [Fraction(1, 3), Fraction(1, 5)], [Fraction(-7, 2), Fraction(7, 2), Fraction(0)]]
    for _ in range(150):
        lists.append([random_fraction(rng, 50) for _ in range(rng.randint(1, 9))])
    for _ in range(60):  # small integers, so that modes occur
        lists.append([Fraction(rng.randint(-4, 4)) for _ in range(rng.randint(1, 12))])
    for values in lists:
        line(out, "SUM", values, exact(sum(values, Fraction(0))))
        line(out, "SUMSQ", values, exact(sum((v * v for v in values), Fraction(0))))
        product = Fraction(1)
        for v in values:
            product *= v
        line(out, "PRODUCT", values, exact(product if values else 0))
        line(out, "AVERAGE", values, exact(sum(values, Fraction(0)) / len(values) if values else 0))
        line(out, "MAX", values, exact(max(values) if values else 0))
        line(out, "MIN", values, exact(min(values) if values else 0))
        line(out, "MEDIAN", values, exact(median(values)))
        line(out, "MODE", values, mode(values))
        line(out, "VAR.P", values, variance(values, False))
        line(out, "VAR.S", values, variance(values, True))
        ordered = sorted(values)
        for n in (0, 1, 2, len(values), len(values) + 1):
            if not values:
                expected_large = expected_small = "!7"
            elif 1 <= n <= len(values):
                expected_large = exact(ordered[len(values) - n])
                expected_small = exact(ordered[n - 1])
            else:
                expected_large = expected_small = "!8"
            line(out, "LARGE", [n] + values, expected_large)
            line(out, "SMALL", [n] + values, expected_small)

    # COMBIN and PERMUT: exact where the count fits 63 bits, else the real count.
    pairs = [(5, 2), (5, 0), (0, 0), (2, 5), (Fraction(59, 10), Fraction(21, 10)), (5, 5),
             (-1, 0), (3, -1), (2000, 1), (2000, 2), (1755, 3), (66, 33), (67, 33), (68, 34),
             (100, 50), (1000, 500), (3000, 1500), (20000, 10000), (10**6, 3), (10**7, 3),
             (3037000499, 2), (3037000500, 2), (2**62, 1), (2**62, 2), (25, 25), (30, 20),
             (170, 170), (171, 171), (1754, 1754), (1755, 1755), (INT64_MAX, 1),
             (INT64_MAX, INT64_MAX - 1)]
    for _ in range(400):
        n = rng.randint(0, 80)
        pairs.append((n, rng.randint(0, n)))
    for n, k in pairs:
        n, k = Fraction(n), Fraction(k)
        tn, tk = math.trunc(n), math.trunc(k)
        if tn < 0 or tk < 0 or tn < tk:
            line(out, "COMBIN", [n, k], "!8")
            line(out, "PERMUT", [n, k], "!8")
            continue
        for name, count in (("COMBIN", math.comb), ("PERMUT", math.perm)):
            # Sizes first: a count beyond the largest extended real (2^16384) is infinite, and
            # some of them would take forever to compute exactly.
            bits = mpmath.loggamma(tn + 1) - mpmath.loggamma(tn - tk + 1)
            if name == "COMBIN":
                bits -= mpmath.loggamma(tk + 1)
            bits /= mpmath.ln(2)
            if bits > 16390:
                expected = "inf"
            else:
                value = count(tn, tk)
                if value <= INT64_MAX:
                    expected = exact(value)
                elif value.bit_length() > 16384:
                    expected = "inf"
                else:
                    expected = approx(Fraction(value))
            line(out, name, [n, k], expected)

    # GCD and LCM: the first operand as it is when alone, else every operand truncated.
    gcd_lists = [[12, 18], [-4, 6], [4, -6], [4, 6], [0, 6], [6, 0], [Fraction(25, 2)],
                 [Fraction(25, 2), 18], [7], [0], [1, 10**18], [2**40, 2**40 + 1],
                 [2**40, 2**40 + 1, 3], [2**62, 2**62, 3]]
    for _ in range(150):
        gcd_lists.append([rng.randint(0, 10**6) * rng.choice((1, 6, 360)) for _ in range(rng.randint(1, 5))])
    for values in gcd_lists:
        values = [Fraction(v) for v in values]
        for name, combine, stop in (("GCD", math.gcd, 1), ("LCM", math.lcm, 0)):
            if len(values) == 1:
                expected = exact(values[0]) if values[0] >= 0 else "!8"
            elif values[0] < 0:
                expected = "!8"
            else:
                result = math.trunc(values[0])
                expected = None
                for i, v in enumerate(values[1:]):
                    if abs(result) > INT64_MAX or abs(v) > INT64_MAX or math.trunc(v) < 0:
                        expected = "!8"
                        break
                    result = combine(result, math.trunc(v))
                    if result == stop:
                        break
                if expected is None:
                    expected = exact_or_real(result)
            line(out, name, values, expected)

    # MULTINOMIAL: (sum)! / (product of factorials) of the truncated operands.
    multinomials = [[2, 3], [], [0], [5], [1, 1, 1, 1], [10, 11], [Fraction(5, 2), 3], [-1, 2],
                    [20, 20], [30, 30], [1000, 1000], [1755, 1], [1754, 1], [10, 10, 10, 10]]
    for _ in range(100):
        multinomials.append([rng.randint(0, 12) for _ in range(rng.randint(1, 5))])
    for values in multinomials:
        values = [Fraction(v) for v in values]
        counts = [math.trunc(v) for v in values]
        if not values:
            expected = exact(0)
        elif any(c < 0 or c >= 1755 for c in counts):
            expected = "!8"
        else:
            value = math.factorial(sum(counts))
            for c in counts:
                value //= math.factorial(c)
            expected = exact(value) if value <= INT64_MAX else approx(Fraction(value))
        line(out, "MULTINOMIAL", values, expected)

    # SERIESSUM with whole bases and exponents, whose powers are exact.
    for x, n, m, coefficients in [(2, 0, 1, [1, 1, 1]), (3, 1, 2, [Fraction(1, 2), -1]),
                                  (-2, 2, 1, [Fraction(1, 3), Fraction(1, 4), 5])]:
        total = sum(Fraction(x) ** (n + i * m) * Fraction(a) for i, a in enumerate(coefficients))
        line(out, "SERIESSUM", [x, n, m] + coefficients, exact(total))
    line(out, "SERIESSUM", [2, 0, 1], "!7")
    for _ in range(60):
        x, n, m = rng.randint(-5, 5), rng.randint(0, 4), rng.randint(0, 3)
        coefficients = [random_fraction(rng, 20) for _ in range(rng.randint(1, 5))]
        total = sum(Fraction(x) ** (n + i * m) * a for i, a in enumerate(coefficients))
        line(out, "SERIESSUM", [x, n, m] + coefficients, exact(total))

    # Rounding.
    rounding_pairs = [(Fraction(21, 10), 1), (Fraction(-21, 10), -1), (Fraction(-21, 10), 1),
                      (0, 5), (5, 0), (Fraction(29, 10), 1), (Fraction(-29, 10), -1), (7, 2),
                      (-7, -2), (Fraction(5, 2), 1), (Fraction(-5, 2), -1), (6, 3),
                      (Fraction(1, 3), Fraction(1, 7)), (Fraction(201, 200), Fraction(1, 100))]
    for _ in range(400):
        x = random_fraction(rng, 1000)
        s = random_fraction(rng, 10)
        if rng.random() < 0.8 and (x < 0) != (s < 0):
            s = -s
        rounding_pairs.append((x, s))
    for x, s in rounding_pairs:
        x, s = Fraction(x), Fraction(s)
        line(out, "CEILING", [x, s], significance(x, s, "away"))
        line(out, "FLOOR", [x, s], significance(x, s, "toward"))
        line(out, "MROUND", [x, s], significance(x, s, "nearest"))
        line(out, "CEILING.PRECISE", [x, s], significance(x, s, "up"))
        line(out, "FLOOR.PRECISE", [x, s], significance(x, s, "down"))

    singles = [Fraction(v) for v in (0, 1, -1, 2, -2, 3)] + [
        Fraction(5, 2), Fraction(-5, 2), Fraction(1, 2), Fraction(-1, 2), Fraction(7, 3),
        Fraction(-7, 3), Fraction(2**62 + 1), Fraction(INT64_MAX), Fraction(-INT64_MAX)]
    for _ in range(200):
        singles.append(random_fraction(rng, 1000))
    for x in singles:
        line(out, "CEILING.PRECISE", [x], significance(x, Fraction(sign(x)), "up"))
        line(out, "FLOOR.PRECISE", [x], significance(x, Fraction(sign(x)), "down"))
        line(out, "INT", [x], exact(math.floor(x)))
        line(out, "TRUNC", [x], exact(math.trunc(x)))
        line(out, "ABS", [x], exact(abs(x)))
        line(out, "SIGN", [x], exact(0 if x == 0 else sign(x)))
        line(out, "EVEN", [x], exact_or_real(int(parity(x, False)[1:])))
        line(out, "ODD", [x], exact_or_real(int(parity(x, True)[1:])))

    round_cases = [(Fraction(5, 2), 0), (Fraction(-5, 2), 0), (1234, -2), (0, 2),
                   (Fraction(201, 200), 2), (Fraction(2675, 1000), 2), (Fraction(1, 3), 2),
                   (Fraction(-1, 3), 5), (Fraction(123456789, 1000), -3), (5, -1), (15, -1),
                   (Fraction(1, 3), 18), (Fraction(-2, 3), 17)]
    for _ in range(300):
        round_cases.append((random_fraction(rng, 10000, (1, 3, 7, 8, 1000, 1024)), rng.randint(-3, 4)))
    for x, digits in round_cases:
        x = Fraction(x)
        line(out, "ROUND", [x, digits], round_digits(x, digits, "nearest") if x else exact(0))
        line(out, "ROUNDUP", [x, digits], round_digits(x, digits, "away") if x else exact(0))
        line(out, "ROUNDDOWN", [x, digits], round_digits(x, digits, "toward") if x else exact(0))

    # MOD keeps the sign of the number (truncating division); QUOTIENT truncates.
    for a, b in [(-7, 3), (7, -3), (7, 3), (-7, -3), (7, 0), (0, 5), (-INT64_MAX - 1, -1),
                 (4, Fraction(1, 6)), (Fraction(15, 2), 2), (Fraction(-15, 2), Fraction(2, 3))]:
        a, b = Fraction(a), Fraction(b)
        line(out, "MOD", [a, b], "inf" if b == 0 else exact_or_real(a - math.trunc(a / b) * b))
        line(out, "QUOTIENT", [a, b], "inf" if b == 0 else exact_or_real(math.trunc(a / b)))
    for _ in range(200):
        a, b = random_fraction(rng, 1000), random_fraction(rng, 30)
        if b == 0:
            continue
        line(out, "MOD", [a, b], exact(a - math.trunc(a / b) * b))
        line(out, "QUOTIENT", [a, b], exact(math.trunc(a / b)))

    # Exact powers and roots.
    for base, power in [(2, 10), (3, 0), (-2, 3), (10, 18), (0, 0), (7, 2)]:
        line(out, "POWER", [base, power], exact(Fraction(base) ** power))
    for root in [0, 1, 2, -2, 3, Fraction(3, 2), Fraction(-5, 4), 2097151, -2097151,
                 Fraction(1, 1000), Fraction(7, 11)]:
        root = Fraction(root)
        line(out, "CBRT", [root ** 3], exact(root))
    for n in range(0, 21):
        line(out, "FACT", [n], exact(math.factorial(n)))
    line(out, "FACT", [Fraction(9, 2)], exact(24))
    line(out, "FACT", [-1], "!8")
    line(out, "FACT", [Fraction(-1, 2)], "!8")
    line(out, "FACT", [1755], "inf")

    # PMT at 0 %: equal parts.
    for periods, principal in [(12, 1000), (7, 100), (1, 5), (3, 0)]:
        line(out, "PMT", [0, periods, principal], exact(-Fraction(principal) / periods))
    line(out, "PMT", [0, 0, 1000], "inf")
    for args in ([-1, 12, 1000], [Fraction(1, 100), -12, 1000], [Fraction(1, 100), 12, -1]):
        line(out, "PMT", args, "!8")

    line(out, "C", [1], exact(299792458))
    line(out, "C", [0], exact(Fraction(299792458) / Fraction(1609344, 1000)))
    line(out, "FINE", [], exact(Fraction("7.2973525693e-3")))


def mp_of(value):
    """The argument as the code reads it: an exact number rounded to a 64-bit mantissa."""
    with mpmath.workprec(64):
        return +(mpmath.mpf(value.numerator) / value.denominator)


def write_reals(out, rng):
    mpmath.mp.prec = 160
    pi_double = mpmath.mpf(PI_DOUBLE.numerator) / PI_DOUBLE.denominator
    functions = {
        "SQRT": (mpmath.sqrt, (0, 1e6)),
        "LN": (mpmath.ln, (1e-6, 1e6)),
        "LOG10": (mpmath.log10, (1e-6, 1e6)),
        "LOG2": (lambda x: mpmath.log(x, 2), (1e-6, 1e6)),
        "SIN": (mpmath.sin, (-6, 6)),
        "COS": (mpmath.cos, (-6, 6)),
        "TAN": (mpmath.tan, (-1.5, 1.5)),
        "ASIN": (mpmath.asin, (-1, 1)),
        "ACOS": (mpmath.acos, (-1, 1)),
        "ATAN": (mpmath.atan, (-50, 50)),
        "SINH": (mpmath.sinh, (-20, 20)),
        "COSH": (mpmath.cosh, (-20, 20)),
        "TANH": (mpmath.tanh, (-5, 5)),
        "ASINH": (mpmath.asinh, (-1000, 1000)),
        "ACOSH": (mpmath.acosh, (1, 1000)),
        "ATANH": (mpmath.atanh, (-0.999, 0.999)),
        "CBRT": (lambda x: mpmath.sign(x) * mpmath.cbrt(abs(x)), (-1e6, 1e6)),
        "DEGREES": (lambda x: x * 180 / pi_double, (-10, 10)),
        "RADIANS": (lambda x: x * pi_double / 180, (-720, 720)),
        "SQRTPI": (lambda x: mpmath.sqrt(x * pi_double), (0, 1e4)),
    }
    for name, (function, (low, high)) in functions.items():
        for _ in range(60):
            x = Fraction(repr(round(rng.uniform(low, high), rng.choice((1, 3, 6)))))
            if name in ("SQRTPI", "SQRT") and x < 0 or name in ("LN", "LOG10", "LOG2") and x <= 0:
                continue
            if name == "ACOSH" and x < 1:
                continue
            if name == "CBRT" and round(abs(x) ** (1 / 3)) ** 3 == abs(x):
                continue
            value = function(mp_of(x))
            if name in ("DEGREES", "RADIANS"):
                # Two roundings: the product, then the quotient.
                tolerance = "2e-19"
            else:
                tolerance = EXTENDED
            out.write("%s|%s|%s|%s\n" % (name, text(x), approx(value), tolerance))
    for _ in range(60):
        x = Fraction(repr(round(rng.uniform(-40, 40), 4)))
        # Computed in double precision: the extended argument rounded to a double.
        value = mpmath.exp(mpmath.mpf(float(mp_of(x))))
        out.write("EXP|%s|%s|%s\n" % (text(x), approx(value), DOUBLE))
    for _ in range(60):
        x = Fraction(repr(round(rng.uniform(-10, 10), 3)))
        y = Fraction(repr(round(rng.uniform(-10, 10), 3)))
        if x == 0 and y == 0:
            continue
        out.write("ATAN2|%s %s|%s|%s\n" % (text(x), text(y), approx(mpmath.atan2(mp_of(y), mp_of(x))), EXTENDED))
    for _ in range(60):
        x = Fraction(rng.randint(1, 10**6), rng.choice((1, 10, 1000)))
        base = Fraction(rng.randint(2, 100), rng.choice((1, 10)))
        if base == 1:
            continue
        value = mpmath.ln(mp_of(x)) / mpmath.ln(mp_of(base))
        out.write("LOG|%s %s|%s|%s\n" % (text(x), text(base), approx(value), "2e-18"))
    for n in range(21, 171, 7):
        out.write("FACT|%d|%s|%s\n" % (n, approx(Fraction(math.factorial(n))), ACCUMULATED))

    # Standard deviations of small lists.
    for _ in range(60):
        values = [random_fraction(rng, 50) for _ in range(rng.randint(2, 8))]
        mean = sum(values, Fraction(0)) / len(values)
        squares = sum((v - mean) ** 2 for v in values)
        for name, divisor in (("STDEV.P", len(values)), ("STDEV.S", len(values) - 1)):
            variance = squares / divisor
            out.write("%s|%s|%s|%s\n" % (name, " ".join(text(v) for v in values),
                                         approx(mpmath.sqrt(mp_of(variance))), EXTENDED))

    # PMT: -(p r f / (f - 1)) with f = (1 + r)^n.
    for rate, periods, principal in [(Fraction(1, 100), 12, 1000), (Fraction(5, 100), 30, 250000),
                                     (Fraction(7, 1200), 360, 300000), (Fraction(1, 2), 1, 100)]:
        f = (1 + mp_of(rate)) ** periods
        value = -(principal * mp_of(rate) * f / (f - 1))
        out.write("PMT|%s %d %d|%s|%s\n" % (text(rate), periods, principal, approx(value), "1e-17"))
    # PMT where (1 + r)^n is huge or 1 + r rounds to 1: p r / (1 - (1 + r)^-n).
    for rate, periods, principal in [(Fraction(1, 2), 30000, 1000), (Fraction(1, 10**18), 12, 1000),
                                     (Fraction(1, 10**10), 10, 1000), (Fraction(1, 10**6), 360, 300000),
                                     (Fraction(3, 2), 2000, 7)]:
        r = mp_of(rate)
        value = -(principal * r / (1 - (1 + r) ** -periods))
        out.write("PMT|%s %d %d|%s|%s\n" % (text(rate), periods, principal, approx(value), "2e-18"))
    # ACOSH and ATANH next to 1, where x - 1 and 1 - |x| carry the result: these are of the exact
    # argument, not of its rounding, whose error near 1 would swamp the digits.
    def exact_mp(x):
        return mpmath.mpf(x.numerator) / x.denominator
    for x in [Fraction(10000000001, 10**10), Fraction(1000001, 10**6), Fraction(3, 2), Fraction(2)]:
        out.write("ACOSH|%s|%s|%s\n" % (text(x), approx(mpmath.acosh(exact_mp(x))), EXTENDED))
    for x in [Fraction(9999999999, 10**10), Fraction(-99999999, 10**8), Fraction(6, 10), Fraction(1, 10**12)]:
        out.write("ATANH|%s|%s|%s\n" % (text(x), approx(mpmath.atanh(exact_mp(x))), EXTENDED))

    # Physical constants (CODATA 2018; SI exact where defined).
    constants = {
        "EC": Fraction("1.602176634e-19"),
        "G": Fraction("6.67430e-11"),
        "H": Fraction("6.62607015e-34"),
        "K": Fraction("1.380649e-23"),
        "L": Fraction("6.02214076e23"),
        "VP": Fraction("8.8541878128e-12"),
    }
    for name, value in constants.items():
        out.write("%s|-|%s|%s\n" % (name, approx(value), "1e-18"))
    hr = mpmath.mpf(constants["H"].numerator) / constants["H"].denominator / (
        mpmath.mpf(TWO_PI_DOUBLE.numerator) / TWO_PI_DOUBLE.denominator)
    out.write("HR|-|%s|%s\n" % (approx(hr), "1e-18"))
    out.write("PI|-|%s|0\n" % approx(PI_DOUBLE))
    out.write("E|-|%s|0\n" % approx(E_DOUBLE))


# ---------------------------------------------------------------------------------------------
# Dates

def day_index(d):
    return d.year * 10000 + d.month * 100 + d.day


def in_range(d):
    return day_index(d) if 1900 <= d.year <= 3000 else 0


def edate(d, months):
    try:
        return in_range(d + relativedelta(months=months))
    except (OverflowError, ValueError):
        return 0


def eomonth(d, months):
    try:
        moved = d + relativedelta(months=months)
    except (OverflowError, ValueError):
        return 0
    if not 1900 <= moved.year <= 3000:
        return 0
    return moved.year * 10000 + moved.month * 100 + calendar.monthrange(moved.year, moved.month)[1]


def eday(d, days):
    try:
        return in_range(d + datetime.timedelta(days=days))
    except (OverflowError, ValueError):
        return 0


def eyear(d, years):
    try:
        return in_range(d + relativedelta(years=years))
    except (OverflowError, ValueError):
        return 0


def weekday(d, kind):
    monday_based = d.weekday()  # 0 Monday
    if kind == 1:
        return (monday_based + 1) % 7 + 1  # 1 Sunday
    if kind == 2:
        return monday_based + 1  # 1 Monday
    return monday_based  # 0 Monday


class Fnv:
    def __init__(self):
        self.h = 2166136261

    def add(self, value):
        for byte in (value & 0xFFFFFFFF).to_bytes(4, "little"):
            self.h = ((self.h ^ byte) * 16777619) & 0xFFFFFFFF


def write_days(out):
    first = datetime.date(1900, 1, 1)
    last = datetime.date(3000, 12, 31)
    for year in range(1900, 3001):
        digests = [Fnv() for _ in range(6)]
        d = datetime.date(year, 1, 1)
        while d.year == year:
            for kind in (1, 2, 3):
                digests[0].add(weekday(d, kind))
            for k in EDATE_SHIFTS:
                digests[1].add(edate(d, k))
            for k in EOMONTH_SHIFTS:
                digests[2].add(eomonth(d, k))
            for k in EDAY_SHIFTS:
                digests[3].add(eday(d, k))
            for k in EYEAR_SHIFTS:
                digests[4].add(eyear(d, k))
            digests[5].add((d - first).days)
            digests[5].add((last - d).days)
            d += datetime.timedelta(days=1)
        out.write("%d %s\n" % (year, " ".join("%08x" % g.h for g in digests)))


def write_dates(out, rng):
    # DATE: a real date only; nothing carries over.
    for y, m, d in [(2024, 2, 29), (2023, 2, 29), (2024, 13, 1), (1899, 12, 31), (1900, 1, 1),
                    (3000, 12, 31), (3001, 1, 1), (2024, 0, 1015), (2024, 1, 0), (2024, 2, -71),
                    (2024, 1, 32), (Fraction(20247, 10), Fraction(5, 2), Fraction(31, 2)),
                    (-2024, 1, 1), (2**40, 1, 1)]:
        try:
            expected = exact(day_index(datetime.date(math.trunc(y), math.trunc(m), math.trunc(d))))
            if not 1900 <= math.trunc(y) <= 3000:
                expected = "!11"
        except (ValueError, OverflowError):
            expected = "!11"
        line(out, "DATE", [y, m, d], expected)
    first, last = datetime.date(1900, 1, 1).toordinal(), datetime.date(3000, 12, 31).toordinal()
    for _ in range(500):
        day = datetime.date.fromordinal(rng.randint(first, last))
        line(out, "DATE", [day.year, day.month, day.day], exact(day_index(day)))
        line(out, "DAY", [day_index(day)], exact(day.day))
        line(out, "MONTH", [day_index(day)], exact(day.month))
        line(out, "YEAR", [day_index(day)], exact(day.year))
        other = datetime.date.fromordinal(rng.randint(first, last))
        line(out, "DAYS", [day_index(day), day_index(other)],
             exact((other - day).days) if other >= day else "!8")
        months = rng.randint(-400, 400)
        line(out, "EDATE", [day_index(day), months], exact(edate(day, months)))
        line(out, "EOMONTH", [day_index(day), months], exact(eomonth(day, months)))
        days = rng.randint(-5000, 5000)
        line(out, "EDAY", [day_index(day), days], exact(eday(day, days)))
        years = rng.randint(-50, 50)
        line(out, "EYEAR", [day_index(day), years], exact(eyear(day, years)))
        kind = rng.randint(1, 3)
        line(out, "WEEKDAY", [day_index(day), kind], exact(weekday(day, kind)))
    for bad in (5, 19000100, 20230229, 30010101, 18991231, -20240101):
        for name in ("DAY", "YEAR", "WEEKDAY"):
            line(out, name, [bad], "!11")
        line(out, "DAYS", [bad, 20240101], "!11")
        line(out, "EDATE", [bad, 1], "!11")
    for weekday_type in (0, 4, -1):
        line(out, "WEEKDAY", [20240107, weekday_type], "!1")


def write_sums(out, rng):
    big = 2**62 - 1
    quarter = Fraction(1, 4)
    lists = [
        [quarter] * 29 + [big, big, -big, -big] + [quarter] * 36,
        [quarter] * 29 + [big, big, -big, -big] + [quarter] * 60,
        [Fraction(1, 3), Fraction(INT64_MAX), Fraction(1), Fraction(-1), Fraction(-INT64_MAX)],
        [Fraction(INT64_MAX), Fraction(1), Fraction(-1)],
        [Fraction(INT64_MAX), Fraction(INT64_MAX), Fraction(-INT64_MAX), Fraction(1, 7)],
        [Fraction(-2**63), Fraction(-1), Fraction(1)],
        [Fraction(-2**63), Fraction(1, 2), Fraction(-1, 2)],
        [Fraction(INT64_MAX, 2), Fraction(INT64_MAX, 2)],
        [Fraction(INT64_MAX), Fraction(INT64_MAX), Fraction(1, 2)],
        [Fraction(1, 2**62 + 1), Fraction(2**62, 2**62 + 1), Fraction(-1, 3)],
        [Fraction(big, 2**61), Fraction(big, 2**61), Fraction(-big, 2**61), Fraction(3, 2**61)],
        [Fraction(1, 4294967311), Fraction(1, 4294967357)],
        [Fraction(1, 4294967311), Fraction(1, 4294967357), Fraction(-1, 4294967357)],
    ]
    # Mostly denominators with a common multiple within 63 bits, some large; a few lists mix them all.
    families = [[1, 2, 3, 4, 100], [1, 2**61 - 1], [1, 2, 2**62], [1, 2, 2**62 + 1], [1, 4, 10**18],
                [1, 3, 4294967311], [1, 1, 1, 2, 3, 4, 100, 2**31 - 1, 2**61 - 1, 2**62, 2**62 + 1, 10**18, 4294967311]]
    for _ in range(400):
        values = []
        denominators = rng.choice(families)
        for _ in range(rng.randint(1, 12)):
            d = rng.choice(denominators)
            kind = rng.randint(0, 5)
            if kind == 0:
                n = rng.choice([big, 2**62, INT64_MAX, -2**63, -big]) + rng.randint(-3, 3)
            elif kind == 1:
                n = rng.randint(-2**63, INT64_MAX)
            else:
                n = rng.randint(-1000, 1000)
            n = max(-2**63, min(INT64_MAX, n))
            value = Fraction(n, d)
            if fits(value):
                values.append(value)
        # Large terms that cancel later, in another order.
        cancelling = [-v for v in values if abs(v) > 2**40]
        rng.shuffle(cancelling)
        values += cancelling[:rng.randint(0, len(cancelling))]
        values += [Fraction(rng.randint(-9, 9), rng.choice([1, 2, 4, 3])) for _ in range(rng.randint(0, 6))]
        rng.shuffle(values)
        if values:
            lists.append(values)
    for values in lists:
        total = sum(values, Fraction(0))
        common = 1
        for v in values:
            common = common * v.denominator // math.gcd(common, v.denominator)
        if common > INT64_MAX:
            # Some fraction joins the sum as its nearest real: no further from it than adding in order.
            magnitudes = sum((abs(v) for v in values), Fraction(0))
            bound = Fraction(len(values) + 1, 2**64) * magnitudes
            relative = bound / abs(total) if total else Fraction(0)
            expected, tolerance = approx(total), "%.3e" % float(max(relative, Fraction(11, 10**20)))
        elif fits(total):
            expected, tolerance = exact(total), "0"
        else:
            expected, tolerance = approx(total), "1.1e-19"
        if total == 0 and expected.startswith("~"):
            expected = "~0"
        out.write("SUM|%s|%s|%s\n" % (" ".join(text(a) for a in values), expected, tolerance))
        mean = total / len(values)
        exact_mean = fits(total) and common <= INT64_MAX and total.denominator < INT64_MAX // len(values) \
            and abs(total.numerator) < INT64_MAX
        if exact_mean:
            out.write("AVERAGE|%s|%s|0\n" % (" ".join(text(a) for a in values), exact(mean)))
        elif common <= INT64_MAX and mean != 0:
            out.write("AVERAGE|%s|%s|3e-19\n" % (" ".join(text(a) for a in values), approx(mean)))


def main():
    os.makedirs(ROOT, exist_ok=True)
    rng = random.Random(97)
    with open(os.path.join(ROOT, "exact.txt"), "w") as out:
        write_exact(out, rng)
    with open(os.path.join(ROOT, "reals.txt"), "w") as out:
        write_reals(out, rng)
    with open(os.path.join(ROOT, "dates.txt"), "w") as out:
        write_dates(out, rng)
    with open(os.path.join(ROOT, "days.txt"), "w") as out:
        write_days(out)
    with open(os.path.join(ROOT, "sums.txt"), "w") as out:
        write_sums(out, random.Random(73))


if __name__ == "__main__":
    main()
