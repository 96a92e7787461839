#!/bin/sh
# The large-sheet figures: each chain benchmark in a process of its own (see README.md).
build=${1:-build/release}
bench="$build/bench/benchPackage"
[ -x "$bench" ] || { echo "no $bench: build the benchPackage target in a Release tree" >&2; exit 1; }
for name in BM_SaveChain BM_OpenChain BM_OpenNumbers BM_OpenAndRecalculateChain BM_OpenRecalculateSaveChain; do
  for cells in 100000 1000000; do
    "$bench" --benchmark_filter="^$name/$cells\$" --benchmark_format=console 2>/dev/null | grep "^$name"
  done
done
