#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on
# a copy of its seed corpus. Fails on the first crash, leak or check failure.
#   FUZZ_SECONDS  seconds per target (default 15)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${FUZZ_BUILD_DIR:-$top/build-fuzz}"
seconds="${FUZZ_SECONDS:-15}"
cmake -S "$top/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)"
# Language-file writes sync: a RAM-backed directory keeps the runs fast.
work=$(mktemp -d -p "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for target in profile langfile machinefile recordtext; do
  corpus="$work/corpus-$target"
  cp -r "$top/tests/fuzz/corpus/$target" "$corpus"
  log="$work/$target.log"
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -artifact_prefix="$work/" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    for a in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [ -e "$a" ] && { echo "reproducer: $(base64 -w0 "$a")" >&2; }
    done
    echo "fuzz_$target: FAILED" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, no failure"
done
