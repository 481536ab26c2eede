#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan and runs the tests there: any out-of-bounds access, use after
# free, leak of our own code or undefined behaviour fails the run.
#   SANITIZE_TESTS    ctest -R regex of the tests to run (default: all)
#   SANITIZE_EXCLUDE  ctest -E regex of the tests to leave out (default: the
#                     boot matrix, which boots every board once in the plain
#                     build and runs no code of ours the other tests do not)
set -euo pipefail
SANITIZE_EXCLUDE=${SANITIZE_EXCLUDE-^tst_bootmatrix\$}
top=$(cd "$(dirname "$0")/.." && pwd)
build="${SANITIZE_BUILD_DIR:-$top/build-asan}"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_SANITIZE=ON \
  -DTARNWICK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=0
export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300 \
  ${SANITIZE_TESTS:+-R "$SANITIZE_TESTS"} ${SANITIZE_EXCLUDE:+-E "$SANITIZE_EXCLUDE"}
