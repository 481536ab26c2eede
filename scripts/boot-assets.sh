#!/usr/bin/env bash
# Fetches what the end-to-end boot test boots: Debian's armhf kernel
# (linux-image-armmp) and busybox-static for armhf, from which the test makes
# its initrd. Leaves <dir>/vmlinuz and <dir>/busybox, or <dir>/MISSING with
# the reason when they cannot be had (the test then skips and says why).
# Adds the armhf architecture to dpkg when it is missing (as root).
#   scripts/boot-assets.sh <dir>
set -uo pipefail
dir=${1:?usage: boot-assets.sh <dir>}
mkdir -p "$dir" || exit 1
dir=$(cd "$dir" && pwd)

if [ -s "$dir/vmlinuz" ] && [ -s "$dir/busybox" ]; then
  rm -f "$dir/MISSING"
  exit 0
fi

missing() {
  echo "boot-assets: $*" >&2
  printf '%s\n' "$*" >"$dir/MISSING"
  exit 0
}

have_armhf_lists() {
  apt-cache show busybox-static:armhf >/dev/null 2>&1
}

if ! have_armhf_lists; then
  [ "$(id -u)" -eq 0 ] || missing "armhf packages are not known to apt; as root: dpkg --add-architecture armhf && apt-get update"
  if ! dpkg --print-foreign-architectures | grep -qx armhf; then
    dpkg --add-architecture armhf || missing "dpkg --add-architecture armhf failed"
  fi
  apt-get update -q >/dev/null 2>&1 || missing "apt-get update failed (no network?)"
  have_armhf_lists || missing "apt knows no busybox-static for armhf after apt-get update"
fi

# The metapackage names the current kernel, linux-image-6.1.0-<abi>-armmp.
kernel=$(apt-cache depends linux-image-armmp:armhf 2>/dev/null |
  sed -n 's/^ *Depends: \(linux-image-[0-9.]*-[0-9]*-armmp\)\(:armhf\)\{0,1\}$/\1/p' | head -n1)
[ -n "$kernel" ] || missing "apt names no linux-image-6.1.0-*-armmp for armhf"

work=$(mktemp -d "$dir/fetch.XXXXXX") || missing "cannot make a directory in $dir"
trap 'rm -rf "$work"' EXIT
# apt's own user cannot write into a root-only temp directory; it then
# downloads as root, which is what we want here.
chmod 755 "$work"
(cd "$work" && apt-get download -q "$kernel:armhf" busybox-static:armhf >/dev/null 2>&1) ||
  missing "apt-get download of $kernel and busybox-static for armhf failed (no network?)"

# Only the two files are unpacked: the kernel package is mostly modules.
mkdir -p "$work/root"
for deb in "$work"/*.deb; do
  dpkg-deb --fsys-tarfile "$deb" |
    tar -x -C "$work/root" --wildcards './boot/vmlinuz-*' './bin/busybox' 2>/dev/null
done
vmlinuz=$(ls "$work"/root/boot/vmlinuz-* 2>/dev/null | head -n1)
[ -n "$vmlinuz" ] || missing "$kernel holds no boot/vmlinuz-*"
[ -x "$work/root/bin/busybox" ] || missing "busybox-static holds no bin/busybox"

cp "$work/root/bin/busybox" "$dir/busybox.new" && mv "$dir/busybox.new" "$dir/busybox" &&
  cp "$vmlinuz" "$dir/vmlinuz.new" && mv "$dir/vmlinuz.new" "$dir/vmlinuz" ||
  missing "cannot write into $dir"
basename "$vmlinuz" >"$dir/KERNEL"
rm -f "$dir/MISSING"
echo "boot-assets: $(cat "$dir/KERNEL") and busybox-static (armhf) in $dir"
