#!/usr/bin/env bash
# Builds everything and runs every test headless.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup-deps.sh"
build="$top/build-test"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
# The kernel and busybox of the end-to-end boot test; the sanitizer pass
# below uses the same copy.
export TARNWICK_BOOT_ASSETS="$build/boot-assets"
"$top/scripts/boot-assets.sh" "$TARNWICK_BOOT_ASSETS"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
"$top/scripts/sanitize.sh"
"$top/scripts/fuzz.sh"
