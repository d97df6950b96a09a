#!/usr/bin/env bash
# Builds an optimised tree and runs every benchmark; each prints its figures.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVANTA_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# The window's start-up is timed on a virtual display; everything else
# draws without one.
for bench in "$build"/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$bench" "$@"
done
