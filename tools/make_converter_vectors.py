#!/usr/bin/env python3
"""Writes the unit converter's reference conversions, computed by GNU units (Debian package
"units"), which is needed only to run this script.

tests/data/converter/units.txt   one conversion a line: category|from|to|value|expected
    category, from, to   the converter's category row and unit rows
    value                the value converted (1 for every category but temperature, which has
                         several values since its conversions are not proportional)
    expected             what `units -t` answers, with 17 significant digits

The converter's units that GNU units does not define (the amusement units and the cubit) are
left out. Run from the repository root: python3 tools/make_converter_vectors.py
"""
import subprocess

# The converter's year is the tropical year rounded to the second, 365 days 5 h 48 min 46 s;
# GNU units' own year differs from it in the ninth digit.
YEAR = "(365 day + 5 hour + 48 min + 46 s)"

# Category row -> the GNU units expression of each unit row, None for a unit it lacks.
CATEGORIES = {
    1: ["acre", "hectare", "ft^2", "cm^2", "in^2", "km^2", "m^2", "micrometer^2", "mile^2", "mm^2",
        "nm^2", "yd^2"],
    2: ["cm", None, "inch", "ft", "fathom", "furlong", "km", "m", "micrometer", "mile", "mm", "nm",
        "point", "yd"],
    3: ["tempC", "tempF", "tempK", "tempR"],
    4: ["100 " + YEAR, "day", "10 " + YEAR, "fortnight", "hour", "microsecond", "1000 " + YEAR,
        "millisecond", "minute", "nanosecond", "s", YEAR + "/12", "week", YEAR],
    5: ["brbushel", "bushel", "cm^3", "ft^3", "in^3", "km^3", "m^3", "micrometer^3", "mile^3", "mm^3",
        "nm^3", "yd^3", "uscup", "brgallon", "usgallon", "liter", "ml", "brfloz", "usfloz", "peck",
        "brpint", "uspint", "usquart", "tablespoon", "teaspoon"],
    6: ["carat", "g", "kg", "mg", "ounce", "troyounce", "pound", "ton", "tonne"],
}
TEMPERATURE_VALUES = ["0", "37.5", "100", "1000"]


def units(have, want):
    result = subprocess.run(["units", "-t", "-d", "17", have, want], capture_output=True, text=True,
                            check=True)
    return result.stdout.strip()


def main():
    lines = []
    for category, names in CATEGORIES.items():
        for f, have in enumerate(names):
            for t, want in enumerate(names):
                if have is None or want is None:
                    continue
                if category == 3:
                    for value in TEMPERATURE_VALUES:
                        lines.append(f"{category}|{f}|{t}|{value}|{units(f'{have}({value})', want)}")
                else:
                    lines.append(f"{category}|{f}|{t}|1|{units(have, want)}")
    with open("tests/data/converter/units.txt", "w") as out:
        out.write("# category|from|to|value|expected, by GNU units (tools/make_converter_vectors.py)\n")
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
