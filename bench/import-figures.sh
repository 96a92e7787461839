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

. "$(dirname "$0")/figures-common.sh"
"$excel" --write-workbook 10000 "$scratch/cells100000.xls" &&
  "$excel" --write-workbook 65500 "$scratch/cells655000.xls" &&
  "$interchange" --write-page 5000 "$scratch/rows5000.html" &&
  "$interchange" --write-page 20000 "$scratch/rows20000.html" || { echo "the inputs could not be made" >&2; exit 1; }
for input in cells100000.xls cells655000.xls rows5000.html rows20000.html; do
  compare "$input to native" "$excel --to-native $scratch/$input $scratch/out.Numlet" \
    "ssconvert $scratch/$input $scratch/out.gnumeric"
done
