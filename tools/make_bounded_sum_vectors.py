#!/usr/bin/env python3
"""Writes tests/data/functions/bounded-sums.txt: sums of whole numbers and fractions on either side
of the bound on their common denominator, worked with Python's fractions.

A sum is exact while the least common multiple of its terms' denominators stays below 2^256;
past that it is the exact sum of the terms each rounded to the nearest extended real (a 64-bit
mantissa, ties to the even one), rounded once to the nearest extended real.

Lines: SUM|terms|expected|tolerance, the expected value "=n" or "=p/q" where the sum is an exact
number, else "~" and a decimal text that reads back as the extended real; the tolerance, 2^-63,
is relative. Run from the repository's root: python3 tools/make_bounded_sum_vectors.py
"""

import math
import os
from decimal import Decimal, getcontext
from fractions import Fraction

BOUND_BITS = 256
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "functions")
INT64_MAX = 2**63 - 1


def round64(x):
    """The extended real nearest to x: 64 bits of mantissa, ties to the even one."""
    if x == 0:
        return Fraction(0)
    sign = -1 if x < 0 else 1
    a = abs(x)
    k = a.numerator.bit_length() - a.denominator.bit_length() - 64
    while True:
        num = a.numerator * 2 ** max(-k, 0)
        den = a.denominator * 2 ** max(k, 0)
        q, r = divmod(num, den)
        if q >= 2**64:
            k += 1
        elif q < 2**63:
            k -= 1
        else:
            break
    if 2 * r > den or (2 * r == den and q & 1):
        q += 1
    return sign * Fraction(q) * Fraction(2) ** k


def primes(count, start=3):
    found = []
    n = start
    while len(found) < count:
        if n > 1 and all(n % p for p in range(2, math.isqrt(n) + 1)):
            found.append(n)
        n += 1
    return found


def is_prime(n):
    if n < 2:
        return False
    for p in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37):
        if n % p == 0:
            return n == p
    d, s = n - 1, 0
    while d % 2 == 0:
        d //= 2
        s += 1
    for a in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37):
        x = pow(a, d, n)
        if x in (1, n - 1):
            continue
        for _ in range(s - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


def primes_below(limit, count):
    found = []
    n = limit - 1
    while len(found) < count:
        if is_prime(n):
            found.append(n)
        n -= 1
    return found


def expected(terms):
    lcm = 1
    for t in terms:
        lcm = lcm * t.denominator // math.gcd(lcm, t.denominator)
    if lcm.bit_length() <= BOUND_BITS:
        total = sum(terms, Fraction(0))
    else:
        total = sum((round64(t) for t in terms), Fraction(0))
    if total.denominator.bit_length() <= 63 and -2**63 <= total.numerator <= INT64_MAX and lcm.bit_length() <= BOUND_BITS:
        return "=" + (str(total.numerator) if total.denominator == 1 else "%d/%d" % (total.numerator, total.denominator))
    value = round64(total)
    getcontext().prec = 40
    return "~" + format(Decimal(value.numerator) / Decimal(value.denominator), ".30e")


def text(t):
    return str(t.numerator) if t.denominator == 1 else "%d/%d" % (t.numerator, t.denominator)


def cents_reciprocals(count):
    # One over amounts of a ledger with cents, as =1/Bk computes them.
    return [Fraction(100, 100 * (1 + k * 7919 % 99999) + k * 37 % 100) for k in range(1, count + 1)]


def halves_over(ps):
    # (p+1)/2p - (p-1)/2p = 1/p, while each term rounds at 2^-65: the rounded sum is far off.
    terms = []
    for p in ps:
        terms.append(Fraction((p + 1) // 2, p))
        terms.append(Fraction(-((p - 1) // 2), p))
    return terms


def near_bound_primes():
    """Primes below 2^62 whose product has 256 bits, and one more prime, 257 bits at least."""
    ps = primes_below(2**62, 5)
    product = 1
    chosen = []
    for p in ps:
        if (product * p).bit_length() > BOUND_BITS:
            break
        chosen.append(p)
        product *= p
    # Fill to exactly 256 bits with one smaller prime.
    room = BOUND_BITS - product.bit_length()
    small = primes_below(2 ** room, 1)[0] if room > 1 else None
    inside = chosen + ([small] if small and (product * small).bit_length() <= BOUND_BITS else [])
    full = 1
    for p in inside:
        full *= p
    outside = inside + [next(p for p in primes(60, 101) if (full * p).bit_length() > BOUND_BITS)]
    return inside, outside


def main():
    cases = []
    odd = [Fraction(1, p) for p in primes(15)]
    cases.append(odd + [-t for t in odd])                             # exactly 0
    cases.append([Fraction(1, p) for p in primes(30)])                # within the bound, no exact form
    cases.append([Fraction(1, p) for p in primes(60)])                # past it
    cases.append([Fraction(1, p) for p in primes(400)])
    cases.append([Fraction(-1, p) for p in primes(80)] + [Fraction(7)])
    cases.append(cents_reciprocals(40))
    cases.append(cents_reciprocals(300))
    cases.append([Fraction(1, k) for k in range(1, 150)])            # lcm(1..149): 212 bits
    cases.append([Fraction(1, k) for k in range(1, 400)])
    big = [Fraction(p, 1) for p in primes(60)]
    # Whole numbers at the edges of 64 bits cancel exactly beside the rounded terms.
    cancel = [Fraction(INT64_MAX), Fraction(INT64_MAX), Fraction(-INT64_MAX), Fraction(-INT64_MAX), Fraction(-2**63)]
    recips = [Fraction(1, p) for p in primes(60)]
    cases.append(cancel + recips + [-t for t in recips] + [Fraction(1, 3)] + big)
    cases.append(recips + [-t for t in recips] + [Fraction(1, 3)])  # past: 1/3 rounded
    cases.append(odd + [-t for t in odd] + [Fraction(1, 3)])         # within: exactly 1/3
    inside, outside = near_bound_primes()
    cases.append(halves_over(inside))
    cases.append(halves_over(outside))
    cases.append([Fraction(1, 2**62), Fraction(-1, 2**62 - 57), Fraction(INT64_MAX, 2)] + recips)
    cases.append([Fraction(k * 37 % 1000 - 500, 100) for k in range(1, 200)])  # money
    cases.append([Fraction(k * 37 % 1000 - 500, (k % 97) + 1) for k in range(1, 500)])
    with open(os.path.join(ROOT, "bounded-sums.txt"), "w") as out:
        for terms in cases:
            out.write("SUM|%s|%s|1.0842021724855044340e-19\n" % (" ".join(text(t) for t in terms), expected(terms)))


if __name__ == "__main__":
    main()
