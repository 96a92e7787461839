#!/usr/bin/env python3
"""Writes tests/data/characters/: the character class and the single-unit upper and lower case of
every UTF-16 unit, computed from Python's unicodedata and str case mappings by the framework's
rules, as independent vectors for src/framlet/foundation/flCharacterClasses.cpp.

classes.txt: runs "first last class" (hex units, inclusive) covering U+0000..U+FFFF.
cases.txt: "unit upper lower" (hex) for every unit whose upper or lower case is not itself.
The first line of each file names the Unicode version of the data.
"""
import os
import unicodedata

OUT = os.path.join(os.path.dirname(__file__), "..", "tests", "data", "characters")


def char_class(u):
    if 0xD800 <= u <= 0xDFFF:
        return 0
    cat = unicodedata.category(chr(u))
    if cat == "Ll":
        return 2
    if cat in ("Lu", "Lt"):
        return 1
    if 0x09 <= u <= 0x0D or u == 0x85 or cat in ("Zs", "Zl", "Zp"):
        return 4
    if cat == "Nd":
        return 3
    if cat[0] in "PS":
        return 5
    if cat in ("Cc", "Cf"):
        return 6
    return 0


def single(text, fallback):
    return ord(text) if len(text) == 1 and ord(text) < 0x10000 else fallback


def upper(u):
    if u < 0x61 or 0x7B <= u <= 0xDF:
        return u
    if u <= 0x7A or (0xE0 <= u <= 0xFE and u != 0xF7):
        return u - 0x20
    if char_class(u) != 2:
        return u
    return single(chr(u).upper(), u)


def lower(u):
    if u < 0x41 or 0x5B <= u <= 0xBF:
        return u
    if u <= 0x5A or (0xC0 <= u <= 0xDE and u != 0xD7):
        return u + 0x20
    if char_class(u) != 1:
        return u
    return single(chr(u).lower(), u)


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "classes.txt"), "w") as f:
        f.write("unicode %s\n" % unicodedata.unidata_version)
        start, current = 0, char_class(0)
        for u in range(1, 0x10001):
            c = char_class(u) if u <= 0xFFFF else None
            if c != current:
                f.write("%04X %04X %d\n" % (start, u - 1, current))
                start, current = u, c
    with open(os.path.join(OUT, "cases.txt"), "w") as f:
        f.write("unicode %s\n" % unicodedata.unidata_version)
        for u in range(0x10000):
            if 0xD800 <= u <= 0xDFFF:
                continue
            up, lo = upper(u), lower(u)
            if up != u or lo != u:
                f.write("%04X %04X %04X\n" % (u, up, lo))


if __name__ == "__main__":
    main()
