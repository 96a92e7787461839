#!/bin/sh
# Pages of a ledger as LibreOffice Calc writes them in three locales, for the tests of the values
# it writes behind each number ("sdval", in the syntax of the locale it ran in: "1.5" in C,
# "1,5" in de_DE and fr_FR) and the text it shows (fixed decimals "1.50", grouping "-38,096.36",
# "-38.096,36", "-38&nbsp;096,36"): a bold header row and 80 rows of an item, a unit price and
# a total of two fixed decimals, a count and a grouped amount, made as a flat OpenDocument sheet
# and written by "soffice --convert-to html" (package libreoffice-calc-nogui) under LANG=C.UTF-8,
# de_DE.UTF-8 and fr_FR.UTF-8 into tests/data/html/values-libreoffice-{c,de,fr}.html.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
data="$here/tests/data/html"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The start of every flat OpenDocument sheet made here.
ODF_HEAD='<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet">'
export ODF_HEAD
python3 - "$work/values.fods" <<'PY'
import os, random, sys
random.seed(11)
out = [os.environ["ODF_HEAD"] + '''
<office:automatic-styles>
<number:number-style style:name="N2"><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1"/></number:number-style>
<number:number-style style:name="N4"><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/></number:number-style>
<style:style style:name="bold" style:family="table-cell"><style:text-properties fo:font-weight="bold"/></style:style>
<style:style style:name="fixed" style:family="table-cell" style:data-style-name="N2"/>
<style:style style:name="grouped" style:family="table-cell" style:data-style-name="N4"/>
</office:automatic-styles>
<office:body><office:spreadsheet><table:table table:name="Ledger">
<table:table-column table:number-columns-repeated="5"/>
<table:table-row>''']
for h in ["Item", "Unit", "Count", "Total", "Amount"]:
    out.append('<table:table-cell table:style-name="bold" office:value-type="string"><text:p>%s</text:p></table:table-cell>' % h)
out.append('</table:table-row>\n')
for i in range(80):
    unit = [1.5, 2.25, 0.1, 12.0, 3.75, 100.3][i % 6]
    count = 1 + (i * 7) % 13
    total = round(unit * count, 2)
    amount = round(random.uniform(-400000, 400000), 2)
    out.append('<table:table-row>')
    out.append('<table:table-cell office:value-type="string"><text:p>Item %d</text:p></table:table-cell>' % i)
    for style, value in (("fixed", unit), (None, count), ("fixed", total), ("grouped", amount)):
        attribute = ' table:style-name="%s"' % style if style else ''
        out.append('<table:table-cell%s office:value-type="float" office:value="%r"><text:p>%r</text:p></table:table-cell>'
                   % (attribute, value, value))
    out.append('</table:table-row>\n')
out.append('</table:table></office:spreadsheet></office:body></office:document>\n')
open(sys.argv[1], 'w', encoding='utf-8').write(''.join(out))
PY
for locale in c:C.UTF-8 de:de_DE.UTF-8 fr:fr_FR.UTF-8; do
  name=${locale%%:*}
  mkdir -p "$work/$name" "$work/home-$name"
  (cd "$work/$name" && HOME="$work/home-$name" LANG=${locale#*:} LC_ALL=${locale#*:} \
    soffice --headless --convert-to html ../values.fods >/dev/null 2>&1)
  cp "$work/$name/values.html" "$data/values-libreoffice-$name.html"
done

# The same ledger with a share column of percentages (two decimals, "12.50%"), as one sheet
# (values-libreoffice-shares-*.html) and as two sheets of the same table, which LibreOffice writes
# as two tables one after the other (values-libreoffice-twice-*.html).
for sheets in 1 2; do
python3 - "$work/shares$sheets.fods" "$sheets" <<'PY'
import os, random, sys
random.seed(11)
out = [os.environ["ODF_HEAD"] + '''
<office:automatic-styles>
<number:number-style style:name="N2"><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1"/></number:number-style>
<number:number-style style:name="N4"><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/></number:number-style>
<number:percentage-style style:name="P2"><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1"/><number:text>%</number:text></number:percentage-style>
<style:style style:name="bold" style:family="table-cell"><style:text-properties fo:font-weight="bold"/></style:style>
<style:style style:name="fixed" style:family="table-cell" style:data-style-name="N2"/>
<style:style style:name="grouped" style:family="table-cell" style:data-style-name="N4"/>
<style:style style:name="share" style:family="table-cell" style:data-style-name="P2"/>
</office:automatic-styles>
<office:body><office:spreadsheet>''']
for sheet in range(int(sys.argv[2])):
    out.append('<table:table table:name="Ledger%d">\n<table:table-column table:number-columns-repeated="6"/>\n<table:table-row>' % (sheet + 1))
    for h in ["Item", "Unit", "Count", "Total", "Amount", "Share"]:
        out.append('<table:table-cell table:style-name="bold" office:value-type="string"><text:p>%s</text:p></table:table-cell>' % h)
    out.append('</table:table-row>\n')
    for i in range(80):
        unit = [1.5, 2.25, 0.1, 12.0, 3.75, 100.3][i % 6]
        count = 1 + (i * 7) % 13
        total = round(unit * count, 2)
        amount = round(random.uniform(-400000, 400000), 2)
        share = [0.125, 0.5, 0.0375, 1.0, 0.0001, 0.333][i % 6]
        out.append('<table:table-row>')
        out.append('<table:table-cell office:value-type="string"><text:p>Item %d</text:p></table:table-cell>' % i)
        for style, value in (("fixed", unit), (None, count), ("fixed", total), ("grouped", amount)):
            attribute = ' table:style-name="%s"' % style if style else ''
            out.append('<table:table-cell%s office:value-type="float" office:value="%r"><text:p>%r</text:p></table:table-cell>'
                       % (attribute, value, value))
        out.append('<table:table-cell table:style-name="share" office:value-type="percentage" office:value="%r"><text:p>%r</text:p></table:table-cell>'
                   % (share, share))
        out.append('</table:table-row>\n')
    out.append('</table:table>')
out.append('</office:spreadsheet></office:body></office:document>\n')
open(sys.argv[1], 'w', encoding='utf-8').write(''.join(out))
PY
done
for locale in c:C.UTF-8 de:de_DE.UTF-8 fr:fr_FR.UTF-8; do
  name=${locale%%:*}
  for kind in 1:shares 2:twice; do
    mkdir -p "$work/$name-${kind#*:}"
    (cd "$work/$name-${kind#*:}" && HOME="$work/home-$name" LANG=${locale#*:} LC_ALL=${locale#*:} \
      soffice --headless --convert-to html "../shares${kind%%:*}.fods" >/dev/null 2>&1)
    cp "$work/$name-${kind#*:}/shares${kind%%:*}.html" "$data/values-libreoffice-${kind#*:}-$name.html"
  done
done

# Sums of money as LibreOffice shows them (values-libreoffice-money-*.html): dollars with the sign
# before them and a minus before the sign, euros with the sign after them, pounds, and an
# accounting column that shows a negative in parentheses, each with two decimals and groups.
python3 - "$work/money.fods" <<'PY'
import os, sys
out = [os.environ["ODF_HEAD"] + '''
<office:automatic-styles>
<number:currency-style style:name="USDP" style:volatile="true"><number:currency-symbol number:language="en" number:country="US">$</number:currency-symbol><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/></number:currency-style>
<number:currency-style style:name="USD"><style:text-properties fo:color="#ff0000"/><number:text>-</number:text><number:currency-symbol number:language="en" number:country="US">$</number:currency-symbol><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/><style:map style:condition="value()&gt;=0" style:apply-style-name="USDP"/></number:currency-style>
<number:currency-style style:name="EURP" style:volatile="true"><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/><number:text> </number:text><number:currency-symbol number:language="de" number:country="DE">€</number:currency-symbol></number:currency-style>
<number:currency-style style:name="EUR"><number:text>-</number:text><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/><number:text> </number:text><number:currency-symbol number:language="de" number:country="DE">€</number:currency-symbol><style:map style:condition="value()&gt;=0" style:apply-style-name="EURP"/></number:currency-style>
<number:currency-style style:name="GBP"><number:currency-symbol number:language="en" number:country="GB">£</number:currency-symbol><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/></number:currency-style>
<number:number-style style:name="ACCP" style:volatile="true"><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/><number:text> </number:text></number:number-style>
<number:number-style style:name="ACC"><number:text>(</number:text><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/><number:text>)</number:text><style:map style:condition="value()&gt;=0" style:apply-style-name="ACCP"/></number:number-style>
<style:style style:name="usd" style:family="table-cell" style:data-style-name="USD"/>
<style:style style:name="eur" style:family="table-cell" style:data-style-name="EUR"/>
<style:style style:name="gbp" style:family="table-cell" style:data-style-name="GBP"/>
<style:style style:name="acc" style:family="table-cell" style:data-style-name="ACC"/>
</office:automatic-styles>
<office:body><office:spreadsheet><table:table table:name="Money">
<table:table-column table:number-columns-repeated="5"/>
<table:table-row>''']
for h in ["Item", "Dollars", "Euros", "Pounds", "Accounting"]:
    out.append('<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % h)
out.append('</table:table-row>\n')
vals = [5, 1234.5678, -1234.5678, 3.33333333333333, 0.1, 1000000, -0.5]
for i, v in enumerate(vals):
    out.append('<table:table-row><table:table-cell office:value-type="string"><text:p>Item %d</text:p></table:table-cell>' % i)
    for style, cur in (("usd","USD"),("eur","EUR"),("gbp","GBP")):
        out.append('<table:table-cell table:style-name="%s" office:value-type="currency" office:currency="%s" office:value="%r"><text:p>%r</text:p></table:table-cell>' % (style, cur, v, v))
    out.append('<table:table-cell table:style-name="acc" office:value-type="float" office:value="%r"><text:p>%r</text:p></table:table-cell>' % (v, v))
    out.append('</table:table-row>\n')
out.append('</table:table></office:spreadsheet></office:body></office:document>\n')
open(sys.argv[1], 'w', encoding='utf-8').write(''.join(out))
PY
for locale in c:C.UTF-8 de:de_DE.UTF-8 fr:fr_FR.UTF-8; do
  name=${locale%%:*}
  mkdir -p "$work/$name-money"
  (cd "$work/$name-money" && HOME="$work/home-$name" LANG=${locale#*:} LC_ALL=${locale#*:} \
    soffice --headless --convert-to html ../money.fods >/dev/null 2>&1)
  cp "$work/$name-money/money.html" "$data/values-libreoffice-money-$name.html"
done
