#!/bin/sh
# The large-sheet figures: each chain benchmark in a process of its own (see README.md), then the
# chain opened, recalculated and saved as a whole process (benchPackage --round) beside Gnumeric's
# ssconvert --recalc doing the same when it is installed: medians of RUNS interleaved runs (5 by
# default), the time and the peak memory taken by /usr/bin/time.
build=${1:-build/release}
runs=${RUNS:-5}
bench="$build/bench/benchPackage"
[ -x "$bench" ] || { echo "no $bench: build the benchPackage target in a Release tree" >&2; exit 1; }
for name in ${BENCHMARKS-BM_SaveChain BM_OpenChain BM_OpenNumbers BM_OpenAndRecalculateChain BM_OpenRecalculateSaveChain}; do
  for cells in 100000 1000000; do
    "$bench" --benchmark_filter="^$name/$cells\$" --benchmark_format=console 2>/dev/null | grep "^$name"
  done
done

. "$(dirname "$0")/figures-common.sh"
for cells in 100000 1000000; do
  # A1 = 1, A2 = A1+1, ...: our package and, from the same chain written as text with formulas,
  # a Gnumeric file, each made once (not timed).
  rm -rf "$scratch/chain.Numlet"
  "$bench" --write-chain "$cells" "$scratch/chain.Numlet" || { echo "the chain could not be made" >&2; exit 1; }
  if [ "$have_ssconvert" = 1 ]; then
    awk -v n="$cells" 'BEGIN { print 1; for (y = 2; y <= n; ++y) printf "=A%d+1\n", y - 1 }' >"$scratch/chain.csv"
    ssconvert "$scratch/chain.csv" "$scratch/chain.gnumeric" >/dev/null 2>&1 || { echo "ssconvert failed" >&2; exit 1; }
  fi
  compare "open+recalculate+save chain/$cells" "$bench --round $scratch/chain.Numlet $scratch/out.Numlet" \
    "ssconvert --recalc $scratch/chain.gnumeric $scratch/out.gnumeric"
done
