#!/usr/bin/env python3
"""Writes tests/data/number_arithmetic.txt and tests/data/number_parsing.txt: exact results of
integer and fraction arithmetic and of decimal texts, computed with Python's fractions module,
for checking the spreadsheet's exact numbers against an independent rational implementation.

Arithmetic lines: op a_num a_den b_num b_den exact result_num result_den fits decimal
  op is add, sub, mul or div; "exact" is inf when the divisor is zero; fits is 1 when the
  result in lowest terms has a 64-bit numerator and a denominator below 2^63, so it must come
  out exact; decimal is the exact result to 30 significant digits, for results that went real.
Parsing lines: text result_num result_den (the text read as an exact decimal number; at most
  18 digits, so the result must be exact).
Run from the repository root: python3 tools/make_number_vectors.py
"""
from fractions import Fraction
from decimal import Decimal, getcontext
import random

getcontext().prec = 40
INT64_MAX = 2**63 - 1
INT64_MIN = -2**63


def decimal_text(value):
    if value.denominator == 1:
        return str(value.numerator)
    return format(Decimal(value.numerator) / Decimal(value.denominator), '.29e')


def random_operand(rng, kind):
    if kind == 'small_int':
        return Fraction(rng.randint(-1000, 1000))
    if kind == 'small_frac':
        return Fraction(rng.randint(-5000, 5000), rng.randint(1, 5000))
    if kind == 'mid_frac':
        return Fraction(rng.randint(-2**31 + 1, 2**31 - 1), rng.randint(1, 2**31 - 1))
    if kind == 'big_int':
        return Fraction(rng.choice([1, -1]) * rng.randint(2**60, INT64_MAX))
    if kind == 'edge_int':
        return Fraction(rng.choice([INT64_MAX, INT64_MIN + 1, INT64_MAX - 1, 2**62, -2**62,
                                    2**32, -2**32, 3037000499, -3037000499]))
    if kind == 'big_frac':
        den = rng.randint(2**40, 2**62)
        return Fraction(rng.randint(-2**62, 2**62), den)
    raise ValueError(kind)


def fits(value):
    return INT64_MIN < value.numerator <= INT64_MAX and 0 < value.denominator <= INT64_MAX


def arithmetic_lines(rng):
    kinds = ['small_int', 'small_frac', 'mid_frac', 'big_int', 'edge_int', 'big_frac']
    lines = []
    while len(lines) < 3000:
        a = random_operand(rng, rng.choice(kinds))
        b = random_operand(rng, rng.choice(kinds))
        if rng.random() < 0.03:
            b = Fraction(0)
        if not (fits(a) and fits(b)):
            continue
        op = rng.choice(['add', 'sub', 'mul', 'div'])
        if op == 'div' and b == 0:
            lines.append(f'{op} {a.numerator} {a.denominator} {b.numerator} {b.denominator} inf 0 0 0 inf')
            continue
        result = {'add': a + b, 'sub': a - b, 'mul': a * b, 'div': a / b if b else None}[op]
        lines.append(f'{op} {a.numerator} {a.denominator} {b.numerator} {b.denominator} exact '
                     f'{result.numerator} {result.denominator} {int(fits(result))} '
                     f'{decimal_text(result)}')
    return lines


def parsing_lines(rng):
    lines = []
    for _ in range(600):
        # At most 18 digits in all, so numerator and denominator fit 63 bits and the text
        # must read exactly; a percent sign multiplies the denominator by 100.
        whole_digits = rng.randint(1, 12)
        fraction_digits = rng.randint(0, 18 - whole_digits)
        whole = str(rng.randint(0, 10**whole_digits - 1))
        text = whole
        if fraction_digits:
            text += '.' + ''.join(rng.choice('0123456789') for _ in range(fraction_digits))
        if rng.random() < 0.3:
            text = '-' + text
        percent = fraction_digits <= 16 and rng.random() < 0.15
        value = Fraction(text)
        if percent:
            text += '%'
            value /= 100
        lines.append(f'{text} {value.numerator} {value.denominator}')
    return lines


def main():
    rng = random.Random(20240517)
    with open('tests/data/number_arithmetic.txt', 'w') as out:
        out.write('\n'.join(arithmetic_lines(rng)) + '\n')
    with open('tests/data/number_parsing.txt', 'w') as out:
        out.write('\n'.join(parsing_lines(rng)) + '\n')


if __name__ == '__main__':
    main()
