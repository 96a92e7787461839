#!/bin/sh
# The large-sheet figures: each chain benchmark in a process of its own (see README.md), then,
# when Gnumeric's ssconvert is installed, the same chain opened, recalculated and saved by it as
# a whole process, for comparison with BM_OpenRecalculateSaveChain.
build=${1:-build/release}
runs=${RUNS:-5}
bench="$build/bench/benchPackage"
[ -x "$bench" ] || { echo "no $bench: build the benchPackage target in a Release tree" >&2; exit 1; }
for name in BM_SaveChain BM_OpenChain BM_OpenNumbers BM_OpenAndRecalculateChain BM_OpenRecalculateSaveChain; do
  for cells in 100000 1000000; do
    "$bench" --benchmark_filter="^$name/$cells\$" --benchmark_format=console 2>/dev/null | grep "^$name"
  done
done

command -v ssconvert >/dev/null 2>&1 || { echo "ssconvert is not installed: no Gnumeric figures" >&2; exit 0; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed: no Gnumeric figures" >&2; exit 0; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The middle of the sorted figures.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for cells in 100000 1000000; do
  # A1 = 1, A2 = A1+1, ...: written as text with formulas, made a Gnumeric file once (not timed).
  awk -v n="$cells" 'BEGIN { print 1; for (y = 2; y <= n; ++y) printf "=A%d+1\n", y - 1 }' >"$scratch/chain.csv"
  ssconvert "$scratch/chain.csv" "$scratch/chain.gnumeric" >/dev/null 2>&1 || { echo "ssconvert failed" >&2; exit 1; }
  : >"$scratch/seconds"
  : >"$scratch/kib"
  i=0
  while [ "$i" -lt "$runs" ]; do
    rm -f "$scratch/out.gnumeric"
    /usr/bin/time -f "%e %M" -o "$scratch/run" ssconvert --recalc "$scratch/chain.gnumeric" "$scratch/out.gnumeric" >/dev/null 2>&1
    read -r seconds kib <"$scratch/run"
    echo "$seconds" >>"$scratch/seconds"
    echo "$kib" >>"$scratch/kib"
    i=$((i + 1))
  done
  echo "ssconvert open+recalculate+save chain/$cells: $(median <"$scratch/seconds") s, peak $(($(median <"$scratch/kib") / 1024)) MiB (median of $runs)"
done
