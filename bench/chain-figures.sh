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

[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed: no whole-process figures" >&2; exit 0; }
have_ssconvert=0
command -v ssconvert >/dev/null 2>&1 && have_ssconvert=1
[ "$have_ssconvert" = 1 ] || echo "ssconvert is not installed: this program's figures alone" >&2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
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
for cells in 100000 1000000; do
  # A1 = 1, A2 = A1+1, ...: our package and, from the same chain written as text with formulas,
  # a Gnumeric file, each made once (not timed).
  rm -rf "$scratch/chain.Numlet"
  "$bench" --write-chain "$cells" "$scratch/chain.Numlet" || { echo "the chain could not be made" >&2; exit 1; }
  if [ "$have_ssconvert" = 1 ]; then
    awk -v n="$cells" 'BEGIN { print 1; for (y = 2; y <= n; ++y) printf "=A%d+1\n", y - 1 }' >"$scratch/chain.csv"
    ssconvert "$scratch/chain.csv" "$scratch/chain.gnumeric" >/dev/null 2>&1 || { echo "ssconvert failed" >&2; exit 1; }
  fi
  for tag in ours gnumeric; do : >"$scratch/$tag.seconds"; : >"$scratch/$tag.kib"; done
  i=0
  while [ "$i" -lt "$runs" ]; do
    rm -rf "$scratch/out.Numlet" "$scratch/out.gnumeric"
    timed ours "$bench" --round "$scratch/chain.Numlet" "$scratch/out.Numlet" || exit 1
    if [ "$have_ssconvert" = 1 ]; then
      timed gnumeric ssconvert --recalc "$scratch/chain.gnumeric" "$scratch/out.gnumeric" || exit 1
    fi
    i=$((i + 1))
  done
  ours=$(median <"$scratch/ours.seconds")
  line="open+recalculate+save chain/$cells: $ours s, peak $(($(median <"$scratch/ours.kib") / 1024)) MiB"
  if [ "$have_ssconvert" = 1 ]; then
    theirs=$(median <"$scratch/gnumeric.seconds")
    line="$line; ssconvert --recalc $theirs s, peak $(($(median <"$scratch/gnumeric.kib") / 1024)) MiB;"
    line="$line $(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (a > 0 ? b / a : 0) }')x as fast"
  fi
  echo "$line (whole processes, median of $runs)"
done
