#!/usr/bin/env bash
# Builds the manager and our back end, then starts the manager.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup-deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_BUILD_TESTS=OFF -DTARNWICK_BUILD_BENCH=OFF >/dev/null
cmake --build "$top/build" -j"$(nproc)"
# A newcomer's store gets a ready machine once (needs root for apt).
"$top/scripts/first-machine.sh" "$top/build"
exec "$top/build/bin/tarnwick" "$@"
