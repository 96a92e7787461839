#!/bin/sh
# Pages of a sheet as the peers write them, for the tests of the sheet's own reader of long tables:
# a ledger of a merged bold title row, a bold header row and 70 rows of dates, account numbers,
# texts (one empty, one of two lines) and amounts, made as a flat OpenDocument sheet and written
# by LibreOffice Calc (package libreoffice-calc-nogui, "soffice --convert-to html") and by
# Gnumeric ("ssconvert", package gnumeric) into tests/data/html/ledger-libreoffice.html and
# tests/data/html/ledger-gnumeric.html.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
data="$here/tests/data/html"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/ledger.fods" <<'PY'
import random, sys
random.seed(7)
out = ['''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
<number:date-style style:name="N1"><number:year number:style="long"/><number:text>-</number:text><number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/></number:date-style>
<style:style style:name="bold" style:family="table-cell"><style:text-properties fo:font-weight="bold"/></style:style>
<style:style style:name="date" style:family="table-cell" style:data-style-name="N1"/>
</office:automatic-styles>
<office:body><office:spreadsheet><table:table table:name="Ledger">
<table:table-column table:number-columns-repeated="5"/>
<table:table-row><table:table-cell table:style-name="bold" table:number-columns-spanned="5" office:value-type="string"><text:p>Ledger 2024</text:p></table:table-cell><table:covered-table-cell table:number-columns-repeated="4"/></table:table-row>
<table:table-row>''']
for h in ["Date", "Account", "Description", "Amount", "Balance"]:
    out.append('<table:table-cell table:style-name="bold" office:value-type="string"><text:p>%s</text:p></table:table-cell>' % h)
out.append('</table:table-row>\n')
balance = 0.0
for i in range(70):
    amount = round(random.uniform(-500, 500), 2)
    balance = round(balance + amount, 2)
    day = "2024-%02d-%02d" % (1 + i % 12, 1 + i % 28)
    description = ["Rent", "Fish &amp; chips", "Caf\u00e9 &lt;au lait&gt;", "", "Tax 1/3", "Rent</text:p><text:p>January"][i % 6]
    out.append('<table:table-row>')
    out.append('<table:table-cell table:style-name="date" office:value-type="date" office:date-value="%s"><text:p>%s</text:p></table:table-cell>' % (day, day))
    out.append('<table:table-cell office:value-type="float" office:value="%d"><text:p>%d</text:p></table:table-cell>' % (1000 + i % 7, 1000 + i % 7))
    out.append('<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % description if description else '<table:table-cell/>')
    for value in (amount, balance):
        out.append('<table:table-cell office:value-type="float" office:value="%s"><text:p>%s</text:p></table:table-cell>' % (value, value))
    out.append('</table:table-row>\n')
out.append('</table:table></office:spreadsheet></office:body></office:document>\n')
open(sys.argv[1], 'w', encoding='utf-8').write(''.join(out))
PY
export HOME="$work/home"
mkdir -p "$HOME"
cd "$work"
soffice --headless --convert-to html ledger.fods >/dev/null 2>&1
soffice --headless --convert-to ods ledger.fods >/dev/null 2>&1
ssconvert ledger.ods ledger-gnumeric.html 2>/dev/null
cp ledger.html "$data/ledger-libreoffice.html"
cp ledger-gnumeric.html "$data/ledger-gnumeric.html"
