#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs them on their corpora:
#   scripts/fuzz.sh fuzzXmlDecoder [-max_total_time=60]   one target, libFuzzer's own options
#   scripts/fuzz.sh all SECONDS                           every target for SECONDS each, two at a
#                                                         time, then a table of executions,
#                                                         crashes, timeouts and OOMs
# FUZZ_JOBS sets how many targets run at once in "all" (2), FUZZ_BUILD_JOBS the build's jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAMSEL_FUZZ=ON -DTAMSEL_SANITIZE=ON -DTAMSEL_BUILD_TESTS=OFF -DTAMSEL_BUILD_BENCH=OFF >/dev/null
target=${1:?name of a fuzz target, e.g. fuzzXmlDecoder, or all}
shift
export QT_QPA_PLATFORM=offscreen
# The same leak suppressions as the tests: fontconfig's caches, freed at exit, are no leak of ours
# and would otherwise fail every run of a target that measures text.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
build_jobs=${FUZZ_BUILD_JOBS:-$(nproc)}

if [[ $target != all ]]; then
  cmake --build build/fuzz --target "$target" -j"$build_jobs"
  mkdir -p "build/fuzz/corpus/$target" "build/fuzz/artifacts/$target"
  # Crash and leak reports go under build/, never into the working tree.
  exec "build/fuzz/fuzz/$target" -artifact_prefix="build/fuzz/artifacts/$target/" \
    "build/fuzz/corpus/$target" "tests/data/fuzz/$target" "$@"
fi

seconds=${1:?seconds each target runs, e.g. scripts/fuzz.sh all 600}
targets=()
for source in fuzz/fuzz*.cpp; do
  name=$(basename "$source" .cpp)
  targets+=("$name")
done
cmake --build build/fuzz --target "${targets[@]}" -j"$build_jobs"

run_one() {
  local name=$1 seconds=$2
  local artifacts="build/fuzz/artifacts/$name"
  mkdir -p "build/fuzz/corpus/$name" "$artifacts" "tests/data/fuzz/$name"
  rm -f "$artifacts"/crash-* "$artifacts"/timeout-* "$artifacts"/oom-* "$artifacts"/leak-*
  # Every finding is kept: libFuzzer goes on past crashes, timeouts and OOMs in its own
  # children (-fork), each limited to 25 s an input and 2 GiB.
  "build/fuzz/fuzz/$name" -artifact_prefix="$artifacts/" -max_total_time="$seconds" -timeout=25 \
    -rss_limit_mb=2048 -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -print_final_stats=1 "build/fuzz/corpus/$name" "tests/data/fuzz/$name" \
    >"build/fuzz/$name.log" 2>&1 || true
}
export -f run_one

printf '%s\n' "${targets[@]}" | xargs -P "${FUZZ_JOBS:-2}" -I{} bash -c "run_one {} $seconds"

printf '%-22s %12s %8s %9s %6s\n' target executions crashes timeouts ooms
for name in "${targets[@]}"; do
  log="build/fuzz/$name.log"
  artifacts="build/fuzz/artifacts/$name"
  # Forked runs report their executions as they go; the last count is the total.
  runs=$(grep -oE '#[0-9]+' "$log" 2>/dev/null | tail -1 | tr -d '#')
  [[ -z $runs ]] && runs=$(grep -oE 'number_of_executed_units: [0-9]+' "$log" 2>/dev/null | awk '{s+=$2} END {print s+0}')
  count() { find "$artifacts" -maxdepth 1 -name "$1-*" 2>/dev/null | wc -l; }
  crashes=$(( $(count crash) + $(count leak) )) timeouts=$(count timeout) ooms=$(count oom)
  # The forked runs' own tally, for findings that left no file.
  tally=$(grep -oE 'oom/timeout/crash: [0-9]+/[0-9]+/[0-9]+' "$log" 2>/dev/null | tail -1 | awk '{print $2}')
  if [[ -n $tally ]]; then
    IFS=/ read -r o t c <<<"$tally"
    (( c > crashes )) && crashes=$c
    (( t > timeouts )) && timeouts=$t
    (( o > ooms )) && ooms=$o
  fi
  printf '%-22s %12s %8s %9s %6s\n' "$name" "${runs:-0}" "$crashes" "$timeouts" "$ooms"
done
