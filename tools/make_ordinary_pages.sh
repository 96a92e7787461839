#!/bin/sh
# Pages as the programs that write ordinary pages write them, for the tests of how the sheet reads
# them (tests/data/html): pandoc (package pandoc) writes pandoc-manual.html from
# sources/manual.md, and LibreOffice Writer (package libreoffice-writer-nogui) writes
# writer-report.html from sources/report.html, which it reads as a page of its own and saves
# again. The cells the tests expect of them are written out by hand from a browser's reading.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
data="$here/tests/data/html"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pandoc -s --metadata title=Manual "$data/sources/manual.md" -o "$data/pandoc-manual.html"
cp "$data/sources/report.html" "$work/writer-report.html"
HOME="$work" soffice --headless --infilter="HTML (StarWriter)" --convert-to 'html:HTML (StarWriter)' \
  --outdir "$work/out" "$work/writer-report.html" >/dev/null
# Writer names the pictures and links from the folder it wrote into: they lie beside the page.
sed 's|="\.\./|="|g' "$work/out/writer-report.html" > "$data/writer-report.html"
