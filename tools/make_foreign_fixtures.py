#!/usr/bin/env python3
"""Makes tests/data/foreign: the same sheets written by LibreOffice and by Gnumeric as CSV, TSV,
DIF and .xls, in the flavours those programs write by default, for the readers' tests.

Needs `soffice` (libreoffice-calc-nogui) and `ssconvert` (gnumeric). The sheets are written here
as a flat OpenDocument file; LibreOffice turns it into .ods, which both programs then export.
The tests compare what they read with sheet.json, written from the same rows. A loan sheet goes
to .xls from both programs, and loan.json holds what LibreOffice computes for it at two rates.

    tools/make_foreign_fixtures.py [output folder]
"""
import csv
import json
import os
import shutil
import subprocess
import sys
import tempfile
from xml.sax.saxutils import escape

# The text sheet: commas, quotes, a line break, a tab, blanks, Latin-1 and CJK text, a small and
# a large number, and an empty row (row 5).
ROWS = [
    ["Name", "Note", "Amount"],
    ["comma, here", 'say "hi"', 3.25],
    ["two\nlines", "tab\there", 1234567890123],
    ["  blanks  ", "caf\u00e9 cr\u00e8me \u00fc\u00df", 0.000125],
    [],
    ["CJK \u6f22\u5b57\u304b\u306a", "x", -42],
]

# The formula sheet: results that are text, empty text and errors; date sums across a month's
# end; and a long text result, which the writers split over CONTINUE records.
LONG = "\u00e9\u6f22" * 3000
FORMULA_ROWS = [
    [("s", "aa"), ("f", "of:=[.A1]"), ("f", "of:=1/0"), ("f", 'of:=""')],
    [("d", "1999-12-31"), ("f", "of:=[.A2]+1"), ("f", "of:=[.A2]+60"), ("f", "of:=[.A2]*1")],
    [("n", 2), ("f", "of:=[.A3]*3"), ("f", 'of:=REPT("\u00e9\u6f22";3000)'), ("f", "of:=[.A3]+0.5")],
]

# The loan sheet: a rate, the payment it gives, 360 months of rounded interest in cents (each
# writer's doubles drift from the exact balances), a "Left" column that is 0 in exact arithmetic
# (the balance against the amount less the principal paid so far, which the writers store as
# their drift where the balance has become small) and its total over the last 60 months, and
# formulas that amplify the last balance's drift.
# Literals with a decimal point and functions of several arguments stand in every formula kind a
# comma locale would read otherwise. Written at two rates: the second is what the first must
# compute after its rate is changed.
LOAN_FIRST, LOAN_MONTHS = 7, 360
LOAN_LAST = LOAN_FIRST + LOAN_MONTHS - 1
LOAN_RATES = (0.05, 0.06)
LOAN_CHECKED = ["B1", "B4", "B5", "C7", f"C{LOAN_LAST}", f"E{LOAN_LAST}", "G1", "G2", "G3", "G4", "G5", "G6", "G7"]


def loan_rows(rate):
    last = LOAN_LAST
    head = {
        1: [("n", 5), ("f", "of:=MIN([.A1];10;2)"), None, None, None, None, ("f", f"of:=[.E{last}]*[.E{last}]")],
        2: [("s", "Rate"), ("n", rate), None, None, None, None, ("f", f"of:=EXP([.E{last}])")],
        3: [("s", "Amount"), ("n", 250000), None, None, None, None, ("f", f"of:=[.E{last}]/[.B2]")],
        4: [("s", "Payment"), ("f", "of:=ROUND([.B3]*[.B2]/12/(1-(1+[.B2]/12)^-360);2)"), None, None, None, None,
            ("f", f"of:=[.E{last}]^3")],
        5: [None, ("f", "of:=ROUND([.B3]*0.05/12;2)"), None, None, None, None, ("f", f"of:=[.E{last}]*12*30")],
        6: [("s", "Month"), ("s", "Balance"), ("s", "Interest"), ("s", "Principal"), ("s", "End"), None,
            ("f", f"of:=SUM([.R{last - 59}:.R{last}])")],
    }
    head[LOAN_FIRST - 1] += [None] * 10 + [("s", "Left")]
    rows = [head[r] for r in range(1, LOAN_FIRST)]
    for r in range(LOAN_FIRST, last + 1):
        start = "[.$B$3]" if r == LOAN_FIRST else f"[.E{r - 1}]"
        row = [("n", r - LOAN_FIRST + 1), ("f", f"of:={start}"), ("f", f"of:=ROUND([.B{r}]*[.$B$2]/12;2)"),
               ("f", f"of:=[.$B$4]-[.C{r}]"), ("f", f"of:=[.B{r}]-[.D{r}]"), None, None]
        if r == LOAN_FIRST:
            row[6] = ("f", f"of:=ROUND([.C{last}]*[.C{last}];4)+0.5")
        row += [None] * 10 + [("f", f"of:=[.E{r}]-([.$B$3]-SUM([.$D${LOAN_FIRST}:.D{r}]))")]
        rows.append(row)
    return ["".join(formula_cell_xml(*c) if c else "<table:table-cell/>" for c in row) for row in rows]


def cell_index(name):
    column = 0
    for i, c in enumerate(name):
        if c.isdigit():
            return column - 1, int(name[i:]) - 1
        column = column * 26 + ord(c) - 64
    raise ValueError(name)


RECALCULATE = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema"
 xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="ODFRecalcMode" oor:op="fuse">
<value>0</value></prop></item>
</oor:items>
"""


def cell_xml(value):
    if isinstance(value, (int, float)):
        return f'<table:table-cell office:value-type="float" office:value="{value!r}"/>'
    paragraphs = []
    for line in value.split("\n"):
        text = escape(line).replace("\t", "<text:tab/>")
        # Runs of blanks are spaces in OpenDocument text.
        out, i = [], 0
        while i < len(text):
            if text[i] == " ":
                j = i
                while j < len(text) and text[j] == " ":
                    j += 1
                out.append(" " if j - i == 1 and 0 < i and j < len(text) else f'<text:s text:c="{j - i}"/>')
                i = j
            else:
                out.append(text[i])
                i += 1
        paragraphs.append("<text:p>" + "".join(out) + "</text:p>")
    return '<table:table-cell office:value-type="string">' + "".join(paragraphs) + "</table:table-cell>"


def formula_cell_xml(kind, value):
    if kind == "s":
        return cell_xml(value)
    if kind == "n":
        return cell_xml(value)
    if kind == "d":
        return (f'<table:table-cell table:style-name="date" office:value-type="date" '
                f'office:date-value="{value}"/>')
    style = ' table:style-name="date"' if "[.A2]+" in value else ""
    return f'<table:table-cell{style} table:formula="{escape(value, {chr(34): "&quot;"})}"/>'


def fods(tables):
    head = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:date-style style:name="mdy"><number:month/><number:text>/</number:text><number:day/>
  <number:text>/</number:text><number:year number:style="long"/></number:date-style>
 <style:style style:name="date" style:family="table-cell" style:data-style-name="mdy"/>
</office:automatic-styles>
<office:body><office:spreadsheet>
"""
    return head + "".join(tables) + "</office:spreadsheet></office:body></office:document>\n"


def table(name, rows_xml):
    return f'<table:table table:name="{name}">' + "".join(
        "<table:table-row>" + (r or '<table:table-cell/>') + "</table:table-row>" for r in rows_xml) + "</table:table>"


def run(command, cwd):
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=300)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(root, "tests", "data", "foreign")
    for tool in ("soffice", "ssconvert"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is not installed")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        profile = "file://" + os.path.join(work, "profile")
        # LibreOffice computes the formulas of the sheet it is given only when told to.
        os.makedirs(os.path.join(work, "profile", "user"))
        with open(os.path.join(work, "profile", "user", "registrymodifications.xcu"), "w") as f:
            f.write(RECALCULATE)
        soffice = ["soffice", f"-env:UserInstallation={profile}", "--headless"]
        text_xml = [("".join(cell_xml(v) for v in row)) for row in ROWS]
        formula_xml = ["".join(formula_cell_xml(k, v) for k, v in row) for row in FORMULA_ROWS]
        with open(os.path.join(work, "sheet.fods"), "w", encoding="utf-8") as f:
            f.write(fods([table("Text", text_xml)]))
        with open(os.path.join(work, "formulas.fods"), "w", encoding="utf-8") as f:
            f.write(fods([table("Formulas", formula_xml)]))
        run(soffice + ["--convert-to", "ods", "sheet.fods", "formulas.fods"], work)
        for rate in LOAN_RATES:
            with open(os.path.join(work, f"loan{int(rate * 100)}.fods"), "w", encoding="utf-8") as f:
                f.write(fods([table("Loan", loan_rows(rate))]))
        run(soffice + ["--convert-to", "ods"] + [f"loan{int(rate * 100)}.fods" for rate in LOAN_RATES], work)
        # Every value in full (not as shown), to hold against what the sheet computes.
        run(soffice + ["--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,false,false"]
            + [f"loan{int(rate * 100)}.ods" for rate in LOAN_RATES], work)
        loan_values = {}
        for rate in LOAN_RATES:
            with open(os.path.join(work, f"loan{int(rate * 100)}.csv"), encoding="utf-8") as f:
                grid = list(csv.reader(f))
            loan_values[repr(rate)] = {name: float(grid[cell_index(name)[1]][cell_index(name)[0]])
                                       for name in LOAN_CHECKED}
        with open(os.path.join(out, "loan.json"), "w", encoding="utf-8") as f:
            json.dump({"rates": [repr(r) for r in LOAN_RATES], "values": loan_values}, f, indent=1)
            f.write("\n")
        run(soffice + ["--convert-to", "xls:MS Excel 97", "loan5.ods"], work)
        shutil.copy(os.path.join(work, "loan5.xls"), os.path.join(out, "libreoffice-loan.xls"))

        # LibreOffice: its CSV export as the dialog offers it (UTF-8, quotes where needed), the
        # same with tabs, DIF, and BIFF8.
        run(soffice + ["--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1", "sheet.ods"], work)
        shutil.copy(os.path.join(work, "sheet.csv"), os.path.join(out, "libreoffice.csv"))
        run(soffice + ["--convert-to", "tsv:Text - txt - csv (StarCalc):9,34,76,1,,0,true", "sheet.ods"], work)
        shutil.copy(os.path.join(work, "sheet.tsv"), os.path.join(out, "libreoffice.tsv"))
        run(soffice + ["--convert-to", "dif:DIF", "sheet.ods"], work)
        shutil.copy(os.path.join(work, "sheet.dif"), os.path.join(out, "libreoffice.dif"))
        run(soffice + ["--convert-to", "xls:MS Excel 97", "formulas.ods"], work)
        shutil.copy(os.path.join(work, "formulas.xls"), os.path.join(out, "libreoffice-formulas.xls"))

        # Gnumeric: its default CSV, tab-separated text, DIF and BIFF8.
        run(["ssconvert", "-T", "Gnumeric_stf:stf_csv", "sheet.ods", os.path.join(out, "gnumeric.csv")], work)
        run(["ssconvert", "-T", "Gnumeric_stf:stf_assistant", "-O", "separator='\t'",
             "sheet.ods", os.path.join(out, "gnumeric.tsv")], work)
        run(["ssconvert", "-T", "Gnumeric_dif:dif", "sheet.ods", os.path.join(out, "gnumeric.dif")], work)
        run(["ssconvert", "--recalc", "-T", "Gnumeric_Excel:excel_biff8", "formulas.ods",
             os.path.join(out, "gnumeric-formulas.xls")], work)
        run(["ssconvert", "--recalc", "-T", "Gnumeric_Excel:excel_biff8", "loan5.ods",
             os.path.join(out, "gnumeric-loan.xls")], work)

    # What every text file must read back as: rows of texts, "" for no cell; numbers as typed.
    expected = [[("%r" % v if isinstance(v, float) else str(v)) if not isinstance(v, str) else v for v in row]
                for row in ROWS]
    with open(os.path.join(out, "sheet.json"), "w", encoding="utf-8") as f:
        json.dump({"rows": expected, "long": LONG}, f, ensure_ascii=False, indent=1)
        f.write("\n")


if __name__ == "__main__":
    main()
