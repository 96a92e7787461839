#!/bin/sh
# The cells an independent reader sees in each HTML file of tests/data/html: LibreOffice Calc
# (package libreoffice-calc-nogui) imports the page and writes its first sheet as UTF-8 CSV into
# tests/data/html/expected/<name>.csv. quarters.html itself was written by LibreOffice Calc from
# a CSV file ("soffice --headless --convert-to html quarters.csv").
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
data="$here/tests/data/html"
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
mkdir -p "$data/expected"
for page in "$data"/*.html; do
  HOME="$profile" soffice --headless --infilter="HTML (StarCalc)" \
    --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1' --outdir "$data/expected" "$page" >/dev/null
done
