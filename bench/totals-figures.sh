#!/bin/sh
# The running-totals figures as whole processes: the formula column (=Ck*2, =SUM($A$1:Ak), k mod 7
# + 1) and the ledger (items with a running balance, a total row), each written as CSV and as .xls
# at every size of SIZES (10,000, 20,000 and 65,536 rows by default), opened as the application
# opens a file and saved as a package (benchRunningTotals / benchLedger --to-native, which check
# the last total first), beside Gnumeric's ssconvert and LibreOffice converting the same file when
# they are installed. The formula column is also taken as the .xls Gnumeric writes of its CSV.
# LibreOffice's totals are checked too: its last conversion is turned into CSV and the last
# row compared with the exact total. Medians of RUNS interleaved runs (3 by default); PEER_RUNS
# runs the other programs fewer times and PEER_TIMEOUT (seconds) stops them, for the sizes at
# which they take minutes. Time and peak memory are those of /usr/bin/time.
build=${1:-build/release}
runs=${RUNS:-3}
sizes=${SIZES:-10000 20000 65536}
totals="$build/bench/benchRunningTotals"
ledger="$build/bench/benchLedger"
for bench in "$totals" "$ledger"; do
  [ -x "$bench" ] || { echo "no $bench: build it in a Release tree" >&2; exit 1; }
done

. "$(dirname "$0")/figures-common.sh"
use_soffice

# The exact last total of a sheet of the given rows: the formula column's B, the ledger's C.
expected() {
  case $1 in
    totals) awk -v n="$2" 'BEGIN { t = 0; for (k = 1; k <= n; ++k) t += k % 7 + 1; print 2 * t }' ;;
    ledger) awk -v n="$2" 'BEGIN { t = 0; for (k = 2; k < n; ++k) t += (k * 7919) % 100000 + 1; printf "%.2f\n", t / 100 }' ;;
  esac
}

# lo_check SHEET ROWS NAME: whether LibreOffice's last conversion of NAME holds the right total.
lo_check() {
  [ "$have_soffice" = 1 ] && [ ! -f "$scratch/libreoffice.stopped" ] || return 0
  [ -f "$scratch/lo/$3.ods" ] || { echo "  LibreOffice wrote no $3.ods"; return 0; }
  rm -rf "$scratch/lo-check"
  # shellcheck disable=SC2086
  $soffice --convert-to csv --outdir "$scratch/lo-check" "$scratch/lo/$3.ods" >/dev/null 2>&1
  field=2
  [ "$1" = ledger ] && field=3
  want=$(expected "$1" "$2")
  got=$(tail -n 1 "$scratch/lo-check/$3.csv" 2>/dev/null | awk -F, -v f="$field" '{ gsub(/"/, ""); print $f }')
  if awk -v a="$got" -v b="$want" 'BEGIN { exit !(a != "" && a - b < 0.005 && b - a < 0.005) }'; then
    echo "  LibreOffice computed the last total of $3: $got"
  else
    echo "  LibreOffice's last total of $3 is '$got', not $want: its figures are not of a recalculation"
  fi
}

# measure SHEET ROWS NAME BENCH: the three conversions of $scratch/NAME.
measure() {
  base=${3%.*}
  compare "$1 $2 rows, $3 to native" "$4 --to-native $scratch/$3 $scratch/out.Numlet" \
    "ssconvert $scratch/$3 $scratch/out.gnumeric" "$soffice --convert-to ods --outdir $scratch/lo $scratch/$3"
  lo_check "$1" "$2" "$base"
}

for rows in $sizes; do
  for sheet in totals ledger; do
    bench=$totals
    [ "$sheet" = ledger ] && bench=$ledger
    for format in csv xls; do
      "$bench" --write "$rows" "$scratch/$sheet$rows.$format" || { echo "$sheet$rows.$format could not be made" >&2; exit 1; }
      measure "$sheet" "$rows" "$sheet$rows.$format" "$bench"
    done
  done
  # The workbook Gnumeric writes of the formula column's CSV (made once, not timed): this program
  # must read its formulas and values right, which --to-native checks.
  if [ "$have_ssconvert" = 1 ]; then
    if ${PEER_TIMEOUT:+timeout "$PEER_TIMEOUT"} ssconvert "$scratch/totals$rows.csv" "$scratch/gnumeric-totals$rows.xls" \
      >/dev/null 2>&1; then
      measure totals "$rows" "gnumeric-totals$rows.xls" "$totals"
    else
      echo "ssconvert did not write gnumeric-totals$rows.xls${PEER_TIMEOUT:+ within $PEER_TIMEOUT s}" >&2
    fi
  fi
  rm -f "$scratch"/*"$rows".*
done
