#!/usr/bin/env bash
# Fetches what the boot tests boot: Debian's stock kernels with their device
# trees and busybox-static, from which the tests make their initrds.
#   <dir>/vmlinuz, <dir>/busybox          armhf (linux-image-armmp), for tst_boot
#   <dir>/<arch>/vmlinuz-<release>        for arch arm, aarch64, x86_64, i386,
#                                         mipsel and mips64el
#   <dir>/<arch>/vmlinux-<release>        for arch ppc64 (an ELF image)
#   <dir>/<arch>/dtbs/                    the kernel package's device trees
#   <dir>/<arch>/busybox
#   <dir>/<arch>/modules/                 its virtio network and block modules
# What cannot be had is named in <dir>/MISSING or <dir>/<arch>/MISSING, and
# the tests skip with that reason. Adds the foreign architectures to dpkg
# when they are missing (as root).
#   scripts/boot-assets.sh <dir> [arch...]
#     (default: arm aarch64 x86_64 i386 mipsel mips64el ppc64)
set -uo pipefail
dir=${1:?usage: boot-assets.sh <dir> [arch...]}
shift
archs=${*:-arm aarch64 x86_64 i386 mipsel mips64el ppc64}
mkdir -p "$dir" || exit 1
dir=$(cd "$dir" && pwd)

module_set="virtio-net virtio-blk"

# fetch <qemu arch> <debian arch> <kernel flavour>
fetch() {
  local arch=$1 deb=$2 flavour=$3 out="$dir/$1"
  mkdir -p "$out" || return
  # modules/SET names the modules a fetch took; an older set is fetched anew.
  if ls "$out"/vmlinu[xz]-* >/dev/null 2>&1 && [ -s "$out/busybox" ] &&
    [ "$(cat "$out/modules/SET" 2>/dev/null)" = "$module_set" ]; then
    rm -f "$out/MISSING"
    return
  fi
  missing() {
    echo "boot-assets ($arch): $*" >&2
    printf '%s\n' "$*" >"$out/MISSING"
  }
  if ! apt-cache show "busybox-static:$deb" >/dev/null 2>&1; then
    if [ "$(id -u)" -ne 0 ]; then
      missing "$deb packages are not known to apt; as root: dpkg --add-architecture $deb && apt-get update"
      return
    fi
    if [ "$deb" != "$(dpkg --print-architecture)" ] &&
      ! dpkg --print-foreign-architectures | grep -qx "$deb"; then
      dpkg --add-architecture "$deb" || { missing "dpkg --add-architecture $deb failed"; return; }
    fi
    apt-get update -q >/dev/null 2>&1 || { missing "apt-get update failed (no network?)"; return; }
    apt-cache show "busybox-static:$deb" >/dev/null 2>&1 ||
      { missing "apt knows no busybox-static for $deb after apt-get update"; return; }
  fi
  # The metapackage names the current kernel, linux-image-6.1.0-<abi>-<flavour>.
  local kernel
  kernel=$(apt-cache depends "linux-image-$flavour:$deb" 2>/dev/null |
    sed -n "s/^ *Depends: \(linux-image-[0-9.]*-[0-9]*-$flavour\)\(:$deb\)\{0,1\}$/\1/p" | head -n1)
  [ -n "$kernel" ] || { missing "apt names no linux-image-*-$flavour for $deb"; return; }

  local work
  work=$(mktemp -d "$dir/fetch.XXXXXX") || { missing "cannot make a directory in $dir"; return; }
  # apt's own user cannot write into a root-only temp directory; it then
  # downloads as root, which is what we want here.
  chmod 755 "$work"
  if ! (cd "$work" && apt-get download -q "$kernel:$deb" "busybox-static:$deb" >/dev/null 2>&1); then
    missing "apt-get download of $kernel and busybox-static for $deb failed (no network?)"
    rm -rf "$work"
    return
  fi
  # Only the kernel, its device trees and busybox are unpacked: the kernel
  # package is mostly modules.
  mkdir -p "$work/root"
  for package in "$work"/*.deb; do
    dpkg-deb --fsys-tarfile "$package" |
      tar -x -C "$work/root" --wildcards './boot/vmlinu[xz]-*' './usr/lib/linux-image-*' \
        './bin/busybox' './lib/modules/*/kernel/drivers/virtio/virtio_mmio.ko' \
        './lib/modules/*/kernel/drivers/net/virtio_net.ko' \
        './lib/modules/*/kernel/drivers/net/net_failover.ko' \
        './lib/modules/*/kernel/net/core/failover.ko' \
        './lib/modules/*/kernel/drivers/block/virtio_blk.ko' 2>/dev/null
  done
  local vmlinuz
  # Some architectures' packages ship the ELF image itself (vmlinux-*).
  vmlinuz=$(ls "$work"/root/boot/vmlinu[xz]-* 2>/dev/null | head -n1)
  if [ -z "$vmlinuz" ] || [ ! -x "$work/root/bin/busybox" ]; then
    missing "$kernel or busybox-static for $deb holds no kernel or busybox"
    rm -rf "$work"
    return
  fi
  # The network and disk drivers of the guests that use them, where the
  # kernel has them as modules (virtio_mmio, failover, net_failover,
  # virtio_net, virtio_blk).
  rm -rf "$out/modules"
  mkdir -p "$out/modules"
  find "$work/root/lib/modules" -name '*.ko' -exec cp {} "$out/modules/" \; 2>/dev/null
  echo "$module_set" >"$out/modules/SET"
  rm -rf "$out/dtbs"
  if ls -d "$work"/root/usr/lib/linux-image-* >/dev/null 2>&1; then
    mv "$(ls -d "$work"/root/usr/lib/linux-image-* | head -n1)" "$out/dtbs"
  fi
  cp "$work/root/bin/busybox" "$out/busybox" && cp "$vmlinuz" "$out/" ||
    missing "cannot write into $out"
  rm -rf "$work"
  rm -f "$out/MISSING"
  echo "boot-assets: $(basename "$vmlinuz") and busybox-static ($deb) in $out"
}

for arch in $archs; do
  case $arch in
  arm) fetch arm armhf armmp ;;
  aarch64) fetch aarch64 arm64 arm64 ;;
  x86_64) fetch x86_64 amd64 amd64 ;;
  i386) fetch i386 i386 686 ;;
  mipsel) fetch mipsel mipsel 4kc-malta ;;
  mips64el) fetch mips64el mips64el 5kc-malta ;;
  ppc64) fetch ppc64 ppc64el powerpc64le ;;
  *) echo "boot-assets: no kernel known for $arch" >&2 ;;
  esac
done

# The single-board test's copy.
if [ -f "$dir/arm/MISSING" ]; then
  cp "$dir/arm/MISSING" "$dir/MISSING"
else
  kernel=$(ls "$dir"/arm/vmlinuz-* | head -n1)
  cp "$kernel" "$dir/vmlinuz" && cp "$dir/arm/busybox" "$dir/busybox" &&
    basename "$kernel" >"$dir/KERNEL" && rm -f "$dir/MISSING"
fi
