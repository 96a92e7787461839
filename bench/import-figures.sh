#!/bin/sh
# The import figures: each import benchmark in a process of its own (its peaks mean something
# only alone, see BenchPeakMemory.h), then the same workloads converted to the native file as
# whole processes, this program's (benchExcelImport --to-native) beside Gnumeric's ssconvert
# when it is installed: the medians of RUNS interleaved runs (5 by default), the time and the
# peak memory taken by /usr/bin/time.
build=${1:-build/release}
runs=${RUNS:-5}
excel="$build/bench/benchExcelImport"
interchange="$build/bench/benchSheetInterchange"
for bench in "$excel" "$interchange"; do
  [ -x "$bench" ] || { echo "no $bench: build it in a Release tree" >&2; exit 1; }
done
for name in BM_ImportWorkbookOf100000Cells BM_WorkbookToNative/10000 BM_WorkbookToNative/65500; do
  "$excel" --benchmark_filter="^$name(/|\$)" --benchmark_format=console 2>/dev/null | grep "^$name"
done
for name in BM_OpenHtmlTable BM_HtmlTableToNative BM_SaveLongSheetAsRtf BM_SaveLongSheetAsHtml; do
  for rows in 5000 20000; do
    "$interchange" --benchmark_filter="^$name/$rows(/|\$)" --benchmark_format=console 2>/dev/null | grep "^$name"
  done
done

[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed: no whole-process figures" >&2; exit 0; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$excel" --write-workbook 10000 "$scratch/cells100000.xls" &&
  "$excel" --write-workbook 65500 "$scratch/cells655000.xls" &&
  "$interchange" --write-page 5000 "$scratch/rows5000.html" &&
  "$interchange" --write-page 20000 "$scratch/rows20000.html" || { echo "the inputs could not be made" >&2; exit 1; }
have_ssconvert=0
command -v ssconvert >/dev/null 2>&1 && have_ssconvert=1
[ "$have_ssconvert" = 1 ] || echo "ssconvert is not installed: this program's figures alone" >&2

# The middle of the sorted figures.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Runs a command under /usr/bin/time, adding its seconds and KiB to the files named by $1.
timed() {
  tag=$1
  shift
  /usr/bin/time -f "%e %M" -o "$scratch/run" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  read -r seconds kib <"$scratch/run"
  echo "$seconds" >>"$scratch/$tag.seconds"
  echo "$kib" >>"$scratch/$tag.kib"
}
for input in cells100000.xls cells655000.xls rows5000.html rows20000.html; do
  : >"$scratch/ours.seconds"
  : >"$scratch/ours.kib"
  : >"$scratch/gnumeric.seconds"
  : >"$scratch/gnumeric.kib"
  i=0
  while [ "$i" -lt "$runs" ]; do
    rm -rf "$scratch/out.Numlet" "$scratch/out.gnumeric"
    timed ours "$excel" --to-native "$scratch/$input" "$scratch/out.Numlet" || exit 1
    if [ "$have_ssconvert" = 1 ]; then
      timed gnumeric ssconvert "$scratch/$input" "$scratch/out.gnumeric" || exit 1
    fi
    i=$((i + 1))
  done
  ours=$(median <"$scratch/ours.seconds")
  line="$input to native: $ours s, peak $(($(median <"$scratch/ours.kib") / 1024)) MiB"
  if [ "$have_ssconvert" = 1 ]; then
    theirs=$(median <"$scratch/gnumeric.seconds")
    line="$line; ssconvert $theirs s, peak $(($(median <"$scratch/gnumeric.kib") / 1024)) MiB;"
    line="$line $(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (a > 0 ? b / a : 0) }')x as fast"
  fi
  echo "$line (median of $runs)"
done
