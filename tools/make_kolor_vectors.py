#!/usr/bin/env python3
"""Writes tests/data/kolor/vectors.txt: packed colours with their text form and display texts,
computed here from the bit layout alone, so the C++ code is checked against an independent
reading of it.

A Kolor is 32 bits: red in bits 0-7, green 8-15, blue 16-23, alpha percent in 24-31. It is a
colour only when, read as a signed 32-bit number, it lies from 0x01000000 to 0x64FFFFFF.
Text form: "{r, g, b}" when alpha is 100, else "{r, g, b, alpha}". Display styles: 1
"(r, g, b)", 2 the fractions of 255 with two decimals, 3 "#RRGGBB"; each followed by two
blanks, the alpha and "%" when the alpha is not 100; no colour shows an em dash.

Each line holds tab-separated fields: the Kolor in hexadecimal, 1 or 0 for "is a colour", the
text form, then the display texts of styles 1, 2 and 3. The values are special cases plus a
fixed pseudo-random sequence, so the file is reproducible.

Run from the project root: python3 tools/make_kolor_vectors.py
"""

import os
import random

OUT = os.path.join("tests", "data", "kolor", "vectors.txt")


def is_color(k):
    signed = k - (1 << 32) if k & 0x80000000 else k
    return 0x01000000 <= signed <= 0x64FFFFFF


def parts(k):
    return k & 0xFF, (k >> 8) & 0xFF, (k >> 16) & 0xFF, k >> 24


def text_form(k):
    r, g, b, a = parts(k)
    return "{%d, %d, %d}" % (r, g, b) if a == 100 else "{%d, %d, %d, %d}" % (r, g, b, a)


def display(k, style):
    if not is_color(k):
        return "\u2014"
    r, g, b, a = parts(k)
    if style == 1:
        text = "(%d, %d, %d)" % (r, g, b)
    elif style == 2:
        text = "(%0.02f, %0.02f, %0.02f)" % (r / 255, g / 255, b / 255)
    else:
        text = "#%02X%02X%02X" % (r, g, b)
    if a != 100:
        text += "  %d%%" % a
    return text


def main():
    values = [0x00000000, 0x00FFFFFF, 0x01000000, 0x32000000, 0x32FF8000, 0x64000000, 0x64102030,
              0x64FF0000, 0x64FFFFFF, 0x65000000, 0x7FFFFFFF, 0x80000000, 0x9B000000, 0xFFFFFFFF,
              0x64808080, 0x01FFFFFF, 0x63FEFDFC]
    rng = random.Random(1107)
    for alpha in range(0, 102):
        values.append((alpha << 24) | rng.getrandbits(24))
    for _ in range(200):
        values.append(rng.getrandbits(32))
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    with open(OUT, "w", encoding="utf-8", newline="\n") as out:
        for k in values:
            fields = ["%08X" % k, "1" if is_color(k) else "0", text_form(k)]
            fields += [display(k, style) for style in (1, 2, 3)]
            out.write("\t".join(fields) + "\n")


if __name__ == "__main__":
    main()
