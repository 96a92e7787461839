#!/usr/bin/env bash
# Installs what is missing, builds Tamsel Calculator in the Release configuration in
# build/release and starts it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only the application and the metadata importer with its host: the tests, benchmarks and fuzz
# replays are test.sh's (or `cmake --build build/release`).
cmake --build build/release -j"$(nproc)" --target tamsel-calculator importer numlet-mdimport

exec build/release/src/app/tamsel-calculator "$@"
