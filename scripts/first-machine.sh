#!/usr/bin/env bash
# A ready machine for a newcomer: when the user's store holds no machine yet,
# fetches Debian's armhf kernel and busybox-static with apt (as root) into the
# user's data directory and stores a machine named "example" through our back
# end: virt (arm), 256 MB, user-mode network, its console in a window, booting
# to a shell. Made once: a user who deleted it is told how to get it again.
#   scripts/first-machine.sh [<build dir>]
# TARNWICK_EXAMPLE_ASSETS: a boot-assets directory to take the kernel from
# instead of fetching; TARNWICK_EXAMPLE_SERIAL: the console's serial kind
# (<kind>[:<parameter>], default window).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
data=${XDG_DATA_HOME:-$HOME/.local/share}/tarnwick
store=${TARNWICK_STORE:-$data/machines}
dir=$data/example
made=$dir/MADE

say() { echo "first-machine: $*"; }

if compgen -G "$store/*.vm" >/dev/null; then
  exit 0 # the user has machines of their own
fi
if [ -e "$made" ]; then
  say "the example machine was made before and is gone; to get it again: rm '$made' && $0"
  exit 0
fi
assets=${TARNWICK_EXAMPLE_ASSETS:-$dir/assets}
if [ -z "${TARNWICK_EXAMPLE_ASSETS:-}" ]; then
  "$top/scripts/boot-assets.sh" "$assets" arm >/dev/null 2>&1
fi
kernel=$(ls "$assets"/arm/vmlinuz-* 2>/dev/null | head -n1)
if [ -z "$kernel" ] || [ ! -s "$assets/arm/busybox" ]; then
  why=$(cat "$assets/arm/MISSING" 2>/dev/null || echo "no kernel in $assets/arm")
  say "no example machine ($why); the manager starts with an empty list"
  exit 0
fi
mkdir -p "$dir" || { say "cannot make $dir"; exit 0; }
cp "$kernel" "$assets/arm/busybox" "$dir/" && rm -rf "$dir/modules" &&
  cp -r "$assets/arm/modules" "$dir/modules" 2>/dev/null
if TARNWICK_STORE="$store" "$build/bin/tarnwick-example" --kernel "$dir/$(basename "$kernel")" \
  --busybox "$dir/busybox" --modules "$dir/modules" --dir "$dir" \
  --serial "${TARNWICK_EXAMPLE_SERIAL:-window}"; then
  touch "$made"
  say "select \"example\" and press start: its console opens in a window"
else
  say "no example machine; the manager starts with an empty list"
fi
exit 0
