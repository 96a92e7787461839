#!/usr/bin/env python3
"""Makes tests/data/foreign/gnumeric-astral.xls and gnumeric-astral.json: a column of texts holding
characters outside the Basic Multilingual Plane (each two UTF-16 units), written by Gnumeric as
.xls. Long texts fill the shared-string table past one record, so that texts run on into its
CONTINUE records; Gnumeric counts the characters of such a text where Excel counts its units. The
JSON holds the texts, row by row, as the test expects them read back.

Needs `ssconvert` (gnumeric).

    tools/make_astral_xls.py [output folder]
"""
import csv
import json
import os
import shutil
import subprocess
import sys
import tempfile

ASTRAL = ["\U0001F600", "\U00020000", "\U0001D11E", "\U00010348"]


def texts():
    rows = []
    for r in range(25):
        kind = r % 5
        if kind == 0:  # astral characters only
            text = "".join(ASTRAL[i % 4] for i in range(900 + r * 37))
        elif kind == 1:  # every other one astral, the others Latin-1
            text = "".join(ASTRAL[i % 4] if i % 2 else "\u00e9" for i in range(1500 + r * 13))
        elif kind == 2:  # mostly astral, some ASCII
            text = "".join(ASTRAL[i % 4] if i % 5 else "b" for i in range(2000 + r))
        elif kind == 3:  # ASCII, then astral
            text = "x" * (r * 7 + 1) + "".join(ASTRAL[i % 4] for i in range(700))
        else:  # short texts, each within one record
            text = "short " + ASTRAL[r % 4] + " " + str(r) + " \u6f22" + ASTRAL[(r + 1) % 4]
        rows.append(text)
    return rows


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data", "foreign")
    if not shutil.which("ssconvert"):
        sys.exit("ssconvert (gnumeric) is needed")
    rows = texts()
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "astral.csv")
        with open(source, "w", newline="", encoding="utf-8") as f:
            csv.writer(f).writerows([[text] for text in rows])
        target = os.path.join(work, "astral.xls")
        subprocess.run(["ssconvert", "--export-type=Gnumeric_Excel:excel_biff8", source, target],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.copyfile(target, os.path.join(out, "gnumeric-astral.xls"))
    with open(os.path.join(out, "gnumeric-astral.json"), "w", encoding="utf-8") as f:
        json.dump({"rows": rows}, f, ensure_ascii=False)
        f.write("\n")


if __name__ == "__main__":
    main()
