#!/usr/bin/env bash
# Installs what is missing, builds the Release configuration in build/release and starts
# Tamsel Calculator.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)"

app=build/release/src/app/tamsel-calculator
if [ -x "$app" ]; then
  exec "$app" "$@"
fi
echo "Built the libraries, tests and benchmarks; there is no application to start yet."
