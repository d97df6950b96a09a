#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer, in their own build folder) and runs them.
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]   replay TARGET's corpus, then fuzz it
#                                            for SECONDS (default 60); all = every target
#   scripts/fuzz.sh --replay [TARGET|all]    only replay the corpus
#
# Every target NAME has its seeds in tests/fuzz/corpus/NAME (committed) and,
# optionally, libFuzzer flags in tests/fuzz/NAME.options and a dictionary in
# tests/fuzz/NAME.dict. Inputs found while fuzzing go to build-fuzz/corpus/NAME;
# a crash, leak, timeout or failed check stops the run with a non-zero status
# and leaves the input in build-fuzz/findings/NAME/. So does any crash-, oom-,
# leak- or timeout- file that appears there while a target runs, whoever wrote
# it: a process the target starts may inherit the fuzzer's handlers and
# save its input without the fuzzer stopping.
set -euo pipefail
cd "$(dirname "$0")/.."

replay_only=0
if [[ "${1:-}" == --replay ]]; then
  replay_only=1
  shift
fi
target=${1:-all}
seconds=${2:-60}
build=${ORVANTA_FUZZ_BUILD:-build-fuzz}
fuzz_dir=tests/fuzz

if [[ "$target" == all ]]; then
  targets=$(ls "$fuzz_dir/corpus")
elif [[ -d "$fuzz_dir/corpus/$target" ]]; then
  targets=$target
else
  echo "fuzz.sh: no target '$target' (have: $(ls "$fuzz_dir/corpus" | tr '\n' ' '))" >&2
  exit 2
fi
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "fuzz.sh: SECONDS must be a whole number, got '$seconds'" >&2
  exit 2
fi

command -v clang++-14 >/dev/null || bash scripts/setup-deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DORVANTA_FUZZ=ON -DORVANTA_WERROR=ON -DORVANTA_TESTS=OFF -DORVANTA_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
for name in $targets; do
  cmake --build "$build" -j "$(nproc)" --target "fuzz-$name"
done

export ASAN_OPTIONS=abort_on_error=0:halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions="$PWD/tests/fuzz/lsan.supp":print_suppressions=0
# The preferences target makes widgets; it never needs a display.
export QT_QPA_PLATFORM=offscreen

# Fails the run when an input was saved as a finding since `marker` was made.
check_findings() {
  local name=$1 findings=$2 marker=$3 saved
  saved=$(find "$findings" -maxdepth 1 -newer "$marker" \
    \( -name 'crash-*' -o -name 'oom-*' -o -name 'leak-*' -o -name 'timeout-*' \) -print)
  if [[ -n "$saved" ]]; then
    echo "fuzz.sh: $name saved inputs as findings:" >&2
    echo "$saved" >&2
    exit 1
  fi
}

for name in $targets; do
  exe="$build/tests/fuzz/fuzz-$name"
  seeds="$fuzz_dir/corpus/$name"
  work="$build/corpus/$name"
  findings="$build/findings/$name"
  mkdir -p "$work" "$findings"
  flags=(-rss_limit_mb=2048 -timeout=20 -close_fd_mask=1 -artifact_prefix="$findings/")
  if [[ -f "$fuzz_dir/$name.options" ]]; then
    # One flag per word; lines starting with # are comments.
    flags+=($(grep -v '^#' "$fuzz_dir/$name.options"))
  fi
  [[ -f "$fuzz_dir/$name.dict" ]] && flags+=(-dict="$fuzz_dir/$name.dict")

  marker="$findings/.run-started"
  touch "$marker"
  echo "== $name: replaying $(ls "$seeds" | wc -l) seeds"
  # Every seed on its own, so a failing one is named.
  "$exe" "${flags[@]}" "$seeds"/* 2>"$findings/replay.log" || {
    cat "$findings/replay.log" >&2
    echo "fuzz.sh: $name fails on its corpus" >&2
    exit 1
  }
  check_findings "$name" "$findings" "$marker"
  if (( replay_only || seconds == 0 )); then continue; fi
  echo "== $name: fuzzing for $seconds s"
  "$exe" "${flags[@]}" -max_total_time="$seconds" -print_final_stats=1 "$work" "$seeds" 2>"$findings/fuzz.log" || {
    tail -n 80 "$findings/fuzz.log" >&2
    echo "fuzz.sh: $name found a fault; its input is in $findings/" >&2
    exit 1
  }
  check_findings "$name" "$findings" "$marker"
  grep -E '^(#[0-9]+ +DONE|Done [0-9]+ runs)|stat::number_of_executed_units|cov:' "$findings/fuzz.log" | tail -n 3
done
