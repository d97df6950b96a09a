#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Any failed test or any
# sanitizer report fails the run. Then builds the optimised tree the README's
# "Installing" section describes and installs it into a temporary prefix,
# and last replays every fuzz corpus and fuzzes each target briefly, where
# any finding fails the run. Every build treats warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

build=build-test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DORVANTA_SANITIZE=ON -DORVANTA_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

# Sanitizer reports end the test process with a failure status.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0

# Window tests need an X display; xvfb-run gives them a virtual one. The
# server must not reset when its last client leaves: a test that connects
# while it does fails with "could not connect to display" (tests run two at a
# time, so there are such moments).
run_tests() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
}
# How many tests skipped themselves (GTEST_SKIP: no display, no OpenGL, a
# missing locale or tool) and why, so that a run that checked less than it
# seems to says so. Read from the first run's log, which a rerun replaces.
report_skips() {
  local log=$1 count
  # GoogleTest names a skipped test twice: when it ends, with its time, and in
  # its summary.
  count=$(grep -cE '^\[  SKIPPED \] .* \([0-9]+ ms\)$' "$log" || true)
  echo "test.sh: $count tests skipped"
  (( count == 0 )) && return
  # The reason is the line after "FILE:LINE: Skipped".
  awk '/: Skipped$/ { if ((getline why) > 0 && why != "" && why !~ /^\[/) print why
                      else print "(no reason given)" }' "$log" | sort | uniq -c | sort -rn | sed 's/^/  /'
}

# LeakSanitizer's own stop-the-world tracer now and then crashes as a process
# exits ("Tracer caught signal 11", google/sanitizers#1353), after the test
# passed. A test whose only fault that was runs once more, leak checks and
# all; any other failure fails the run.
tests="$build/Testing/Temporary"
status=0
run_tests -j "$(nproc)" || status=$?
cp "$tests/LastTest.log" "$tests/FirstRun.log"
if (( status != 0 )); then
  while IFS=: read -r _ name; do
    output=$(awk -v name="$name" '$2 == "Testing:" && $3 == name { on = 1 }
                                  on { print }
                                  on && index($0, "\"" name "\" end time") == 1 { exit }' "$tests/LastTest.log")
    if ! grep -q "Tracer caught signal" <<<"$output" || ! grep -q "\[  PASSED  \]" <<<"$output"; then
      echo "test.sh: $name failed" >&2
      exit 1
    fi
  done < "$tests/LastTestsFailed.log"
  echo "test.sh: running again the tests that passed but whose leak checker crashed"
  run_tests --rerun-failed
fi
report_skips "$tests/FirstRun.log"

# The optimised compiler sees code the sanitizer build (-O1) does not, and
# warns about other things: every target, tests and benchmarks included.
release=build-release
cmake -S . -B "$release" -DCMAKE_BUILD_TYPE=Release -DORVANTA_WERROR=ON >/dev/null
cmake --build "$release" -j "$(nproc)"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake -DBUILD_DIR="$release" -DPREFIX="$prefix" -P tests/app/CheckInstall.cmake
echo "Installed and checked the release build."

# The fuzz targets, in their own clang build: every committed input once,
# then ORVANTA_FUZZ_SECONDS (default 20) of fuzzing per target.
bash scripts/fuzz.sh all "${ORVANTA_FUZZ_SECONDS:-20}"
