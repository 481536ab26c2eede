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
# The Debian package of this build, as Debian's checker sees it: any error fails.
pkgdir="$build/package"
rm -rf "$pkgdir"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$pkgdir" >/dev/null
debs=("$pkgdir"/tarnwick_*.deb)
[ -f "${debs[0]}" ] || { echo "cpack made no tarnwick_*.deb in $pkgdir" >&2; exit 1; }
lintian --fail-on error "${debs[@]}"
"$top/scripts/sanitize.sh"
"$top/scripts/fuzz.sh"
