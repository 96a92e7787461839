#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs one of them on its corpus:
#   scripts/fuzz.sh fuzzXmlDecoder [-max_total_time=60]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAMSEL_FUZZ=ON -DTAMSEL_SANITIZE=ON -DTAMSEL_BUILD_TESTS=OFF -DTAMSEL_BUILD_BENCH=OFF >/dev/null
target=${1:?name of a fuzz target, e.g. fuzzXmlDecoder}
shift
cmake --build build/fuzz --target "$target" -j"$(nproc)"
mkdir -p "build/fuzz/corpus/$target" "build/fuzz/artifacts/$target"
export QT_QPA_PLATFORM=offscreen
# The same leak suppressions as the tests: fontconfig's caches, freed at exit, are no leak of ours
# and would otherwise fail every run of a target that measures text.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
# Crash and leak reports go under build/, never into the working tree.
exec "build/fuzz/fuzz/$target" -artifact_prefix="build/fuzz/artifacts/$target/" \
  "build/fuzz/corpus/$target" "tests/data/fuzz/$target" "$@"
