#!/usr/bin/env bash
# Renders the pictures of the README into docs/ (offscreen, test back end).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build-pictures"}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target tst_pictures
QT_QPA_PLATFORM=offscreen TARNWICK_PICTURES_DIR="$top/docs" "$build/tests/bin/tst_pictures"
