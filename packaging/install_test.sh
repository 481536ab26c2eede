#!/usr/bin/env bash
# Installs the build into a temporary root and checks that the installed
# manager runs from it with its own back end.
# Usage: install_test.sh <build dir> <scratch dir>
set -euo pipefail
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
root="$scratch/root"
prefix=/opt/tarnwick-test
DESTDIR="$root" cmake --install "$build" --prefix "$prefix" >/dev/null
top="$root$prefix"

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in lib/tarnwick/tarnwick lib/tarnwick/Brevantix.dll lib/tarnwick/tarnwick.svg \
         share/applications/tarnwick.desktop share/icons/hicolor/scalable/apps/tarnwick.svg \
         share/man/man1/tarnwick.1.gz share/doc/tarnwick/copyright share/doc/tarnwick/changelog.Debian.gz; do
  [ -f "$top/$f" ] || fail "$f not installed"
done
# The manual page of this source tree, not a stale copy.
here=$(cd "$(dirname "$0")" && pwd)
gzip -dc "$top/share/man/man1/tarnwick.1.gz" | cmp -s - "$here/../docs/tarnwick.1" ||
  fail "share/man/man1/tarnwick.1.gz is not docs/tarnwick.1"
[ -x "$top/lib/tarnwick/tarnwick" ] || fail "lib/tarnwick/tarnwick not executable"
[ -L "$top/bin/tarnwick" ] || fail "bin/tarnwick is not a symbolic link"
[ "$(readlink "$top/bin/tarnwick")" = ../lib/tarnwick/tarnwick ] || fail "bin/tarnwick does not point into lib/tarnwick relatively"
# Our back end, not the test back end of the same name.
cmp -s "$top/lib/tarnwick/Brevantix.dll" "$build/bin/Brevantix.dll" || fail "installed Brevantix.dll is not the built back end"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$top/share/applications/tarnwick.desktop" || fail "desktop entry invalid"
else
  echo "note: desktop-file-validate not found, desktop entry not validated"
fi

# Moved tree: relocatable means nothing points back at the install prefix.
moved="$scratch/moved"
mv "$top" "$moved"
store="$scratch/store"
runtime="$scratch/runtime"
mkdir -p "$store" "$runtime"
chmod 700 "$runtime"
out=$(cd "$scratch" && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
  TARNWICK_QUIT_WHEN_SHOWN=1 TARNWICK_STORE="$store" XDG_RUNTIME_DIR="$runtime" \
  timeout 60 "$moved/bin/tarnwick" 2>&1) || fail "installed tarnwick failed: $out"
echo "$out" | grep -q '^tarnwick: shown with 0 rows' || fail "installed tarnwick did not show its window: $out"
# The write-back lands in the program directory.
ls "$moved/lib/tarnwick/"*.lng >/dev/null 2>&1 || fail "no language file written into lib/tarnwick: $out"
echo "install tree ok"
