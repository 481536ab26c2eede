#!/usr/bin/env bash
# A private libvirt host on loopback for the libvirt engine's tests: libvirtd
# and virtlogd with all their state under <dir>, reached through a private
# sshd on 127.0.0.1, and a `dir` storage pool named tarnwick.
#   scripts/libvirt-host.sh up <dir>     prints TARNWICK_LIBVIRT_URI='...' and
#                                        TARNWICK_LIBVIRT_POOL=tarnwick, for eval
#   scripts/libvirt-host.sh down <dir>   stops what `up <dir>` started
# As root on Debian 12, with or without systemd; installs what is missing.
# TARNWICK_LIBVIRT_CACHE=<path> keeps libvirt's probe of the QEMU binaries
# there instead of in <dir>, so that later runs skip it (about 25 s here for
# all our emulators); libvirt checks the entries against the binaries.
#
# A privileged libvirtd keeps its state in fixed places (/etc/libvirt,
# /run/libvirt, /var/lib/libvirt, /var/cache/libvirt, /var/log/libvirt) and
# each of its drivers locks a pid file there, so a second daemon on those
# paths would fail or disturb one that someone else runs. The daemons and the
# sshd therefore run in a private mount namespace in which those five
# directories are bind mounts of directories under <dir>. Nothing of ours is
# visible there from outside, a foreign libvirtd keeps running untouched, and
# a crashed run leaves nothing shared behind. What stays shared: the system
# user and group libvirt-qemu (created when missing), the empty mount points
# above and /run/sshd (created when missing), and root's password field when
# the account is locked (sshd refuses a locked account's key; we then set it
# to '*', which allows no password either).
set -euo pipefail
# The daemons must not inherit the caller's descriptors: a lock the caller
# holds would stay held for as long as they run.
for fd in /proc/$$/fd/*; do
  fd=${fd##*/}
  if [ "$fd" -gt 2 ] && [ "$fd" -ne 255 ]; then eval "exec $fd>&-" 2>/dev/null || true; fi
done

usage() {
  echo "usage: $0 up|down <dir>" >&2
  exit 2
}
[ $# -eq 2 ] || usage
cmd=$1
[ "$cmd" = up ] || [ "$cmd" = down ] || usage
[ -n "$2" ] || usage
if [ "$(id -u)" -ne 0 ]; then
  echo "libvirt-host: must run as root (a system libvirtd and an sshd for root)" >&2
  exit 1
fi
if [ "$cmd" = down ] && [ ! -d "$2" ]; then
  echo "libvirt-host: $2 does not exist; nothing to stop" >&2
  exit 0
fi
for path in "$2" "${TARNWICK_LIBVIRT_CACHE:-}"; do
  case $path in /*) ;; *) path=$PWD/$path ;; esac
  case $path in
  *[[:space:]\'\"\\\&\?\#%:]*)
    # The paths go into config files and a URI unquoted.
    echo "libvirt-host: path must not contain blanks, quotes, ':' or URI characters: $path" >&2
    exit 2
    ;;
  esac
done
mkdir -p "$2"
dir=$(cd "$2" && pwd)
cache=$dir/cache/libvirt
if [ -n "${TARNWICK_LIBVIRT_CACHE:-}" ]; then
  mkdir -p "$TARNWICK_LIBVIRT_CACHE"
  cache=$(cd "$TARNWICK_LIBVIRT_CACHE" && pwd)
fi

# <source under our control>:<the fixed path libvirt uses>
state_dirs="$dir/etc/libvirt:/etc/libvirt $dir/run/libvirt:/run/libvirt
$dir/lib/libvirt:/var/lib/libvirt $cache:/var/cache/libvirt $dir/log/libvirt:/var/log/libvirt"
sock=$dir/run/libvirt/libvirt-sock
local_uri="qemu:///system?socket=$sock"

log() { echo "libvirt-host: $*" >&2; }

# The pid in <file> when it is alive and its command line holds <mark>
# (default <dir>), so a recycled pid is never taken for ours.
our_pid() {
  local file=$1 mark=${2:-$dir} pid
  [ -s "$file" ] || return 1
  pid=$(cat -- "$file" 2>/dev/null | tr -dc 0-9)
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF -- "$mark" || return 1
  echo "$pid"
}

# SIGTERM, then SIGKILL after 10 s.
stop_pid() {
  local pid=$1 what=$2 i
  kill -TERM "$pid" 2>/dev/null || return 0
  for i in $(seq 100); do
    # A zombie (a parent that does not reap) is gone for our purpose.
    case $(ps -o stat= -p "$pid" 2>/dev/null) in '' | Z*) return 0 ;; esac
    sleep 0.1
  done
  log "$what ($pid) did not end on SIGTERM; killing it"
  kill -KILL "$pid" 2>/dev/null || true
}

down() {
  local pid f name
  if our_pid "$dir/libvirtd.pid" >/dev/null && [ -S "$sock" ]; then
    # Everything in this daemon was made by our tests: it is private, so
    # every domain is ours. A domain outlives libvirtd, hence the destroy.
    virsh -q -c "$local_uri" list --name 2>/dev/null | while read -r name; do
      [ -n "$name" ] && virsh -q -c "$local_uri" destroy "$name" >/dev/null 2>&1
    done || true
    virsh -q -c "$local_uri" list --all --name 2>/dev/null | while read -r name; do
      [ -n "$name" ] || continue
      virsh -q -c "$local_uri" undefine "$name" >/dev/null 2>&1 ||
        virsh -q -c "$local_uri" undefine --nvram "$name" >/dev/null 2>&1 || true
    done || true
    virsh -q -c "$local_uri" pool-destroy tarnwick >/dev/null 2>&1 || true
    virsh -q -c "$local_uri" pool-undefine tarnwick >/dev/null 2>&1 || true
  fi
  if pid=$(our_pid "$dir/sshd.pid"); then stop_pid "$pid" sshd; fi
  if pid=$(our_pid "$dir/libvirtd.pid"); then stop_pid "$pid" libvirtd; fi
  # QEMU processes a crashed libvirtd left behind: libvirt's own pid files
  # in our private state directory name them.
  for f in "$dir"/run/libvirt/qemu/*.pid; do
    [ -e "$f" ] || continue
    name=$(basename "$f" .pid)
    if pid=$(our_pid "$f" "-name guest=$name,"); then stop_pid "$pid" "qemu of $name"; fi
  done
  if pid=$(our_pid "$dir/virtlogd.pid"); then stop_pid "$pid" virtlogd; fi
  rm -f "$dir"/libvirtd.pid "$dir"/virtlogd.pid "$dir"/sshd.pid
  # The persistent definitions live here; a reused <dir> starts empty.
  rm -rf "$dir"/run "$dir"/etc
}

if [ "$cmd" = down ]; then
  down
  exit 0
fi

# --- up ---------------------------------------------------------------------

packages="libvirt-daemon libvirt-daemon-driver-qemu libvirt-clients libvirt-dev
openssh-server openssh-client netcat-openbsd qemu-system-arm qemu-utils iproute2 util-linux"
missing=()
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "installing: ${missing[*]}"
  # Installing must not start the system's own sshd or libvirtd.
  policy=/usr/sbin/policy-rc.d
  own_policy=
  if [ ! -e $policy ]; then
    printf '#!/bin/sh\nexit 101\n' >$policy && chmod 755 $policy && own_policy=1
  fi
  rc=0
  (
    export DEBIAN_FRONTEND=noninteractive
    flock 9
    apt-get update -q >&2 &&
      apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
  ) 9>/tmp/apt.lock || rc=$?
  [ -z "$own_policy" ] || rm -f $policy
  [ $rc -eq 0 ] || { log "apt-get install failed"; exit 1; }
fi

# libvirtd refuses to start without the user its QEMU driver runs guests as;
# libvirt-daemon-system would make it but pulls in polkitd and firewalld.
getent group libvirt-qemu >/dev/null || groupadd --system libvirt-qemu
getent passwd libvirt-qemu >/dev/null ||
  useradd --system -g libvirt-qemu -d /var/lib/libvirt -s /usr/sbin/nologin libvirt-qemu
if [ "$(getent shadow root | cut -d: -f2 | cut -c1)" = "!" ]; then
  log "root's account is locked, which sshd refuses; setting its password to '*' (still no password login)"
  usermod -p '*' root
fi

# Already up for this <dir>: say so again.
if our_pid "$dir/libvirtd.pid" >/dev/null && our_pid "$dir/virtlogd.pid" >/dev/null &&
  our_pid "$dir/sshd.pid" >/dev/null && [ -s "$dir/uri" ] &&
  timeout 30 virsh -q -c "$(cat "$dir/uri")" list >/dev/null 2>&1; then
  echo "TARNWICK_LIBVIRT_URI='$(cat "$dir/uri")'"
  echo "TARNWICK_LIBVIRT_POOL=tarnwick"
  exit 0
fi
# Whatever a crashed run left is ours to end; then start afresh.
down

# QEMU runs as libvirt-qemu and must reach the pool's volumes under <dir>.
chmod go+x "$dir"
for pair in $state_dirs; do
  mkdir -p "${pair%%:*}" "${pair#*:}"
done
mkdir -p "$dir/pool" /run/sshd
chmod 755 "$dir/lib/libvirt"

cat >"$dir/libvirtd.conf" <<EOF
# Sockets only (through ssh); no TCP or TLS listener.
listen_tls = 0
listen_tcp = 0
unix_sock_group = "root"
unix_sock_rw_perms = "0700"
unix_sock_ro_perms = "0700"
auth_unix_rw = "none"
auth_unix_ro = "none"
log_outputs = "3:file:$dir/libvirtd.log"
EOF
cat >"$dir/virtlogd.conf" <<EOF
log_outputs = "3:file:$dir/virtlogd.log"
EOF
# qemu.conf is read only from /etc/libvirt, i.e. from our bind mount.
cat >"$dir/etc/libvirt/qemu.conf" <<EOF
# cgroups are shared by every libvirtd on the machine; ours leaves them alone.
cgroup_controllers = [ ]
EOF

# Host key, and the client key the URI names.
[ -s "$dir/ssh_host_ed25519_key" ] || ssh-keygen -q -t ed25519 -N '' -f "$dir/ssh_host_ed25519_key"
[ -s "$dir/id_ed25519" ] || ssh-keygen -q -t ed25519 -N '' -C tarnwick-libvirt-test -f "$dir/id_ed25519"
echo "restrict,from=\"127.0.0.1\" $(cat "$dir/id_ed25519.pub")" >"$dir/authorized_keys"

start_daemons() {
  local port=$1
  cat >"$dir/sshd_config" <<EOF
ListenAddress 127.0.0.1:$port
HostKey $dir/ssh_host_ed25519_key
PidFile $dir/sshd.pid
AuthorizedKeysFile $dir/authorized_keys
AllowUsers root
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PrintMotd no
EOF
  # One namespace holds all three daemons, so that what ssh runs for libvirt
  # (virt-ssh-helper or nc) finds our socket on libvirt's own default path.
  unshare -m --propagation private -- /bin/sh -ec '
    dir=$1 port=$2
    shift 2
    for pair in "$@"; do
      mount --bind "${pair%%:*}" "${pair#*:}"
    done
    virtlogd -d -f "$dir/virtlogd.conf" -p "$dir/virtlogd.pid"
    libvirtd -d -f "$dir/libvirtd.conf" -p "$dir/libvirtd.pid"
    /usr/sbin/sshd -f "$dir/sshd_config" -E "$dir/sshd.log"
  ' sh "$dir" "$port" $state_dirs
}

started=$(date +%s%3N)
port=
for attempt in 1 2 3 4 5; do
  # A free port above the usual ones; another process may take it between
  # the look and sshd's bind, hence the retries.
  candidate=$((20000 + RANDOM % 40000))
  ss -Hltn "sport = :$candidate" | grep -q . && continue
  if [ $attempt -eq 1 ]; then
    start_daemons "$candidate" || { log "starting the daemons failed; see $dir/*.log"; down; exit 1; }
  else
    # libvirtd and virtlogd are up; only sshd is retried.
    sed -i "s/^ListenAddress .*/ListenAddress 127.0.0.1:$candidate/" "$dir/sshd_config"
    nsenter -m -t "$(our_pid "$dir/libvirtd.pid")" -- /usr/sbin/sshd -f "$dir/sshd_config" -E "$dir/sshd.log" || true
  fi
  for i in $(seq 20); do
    our_pid "$dir/sshd.pid" >/dev/null && break
    sleep 0.1
  done
  if our_pid "$dir/sshd.pid" >/dev/null; then
    port=$candidate
    break
  fi
done
if [ -z "$port" ]; then
  log "sshd did not start on a free port; see $dir/sshd.log"
  down
  exit 1
fi

uri="qemu+ssh://root@127.0.0.1:$port/system?keyfile=$dir/id_ed25519&no_verify=1&no_tty=1"
echo "$uri" >"$dir/uri"

# The first connection waits for libvirt to probe QEMU's capabilities (about
# 12 s here); later ones take milliseconds.
ok=
for i in $(seq 90); do
  if timeout 60 virsh -q -c "$uri" list >/dev/null 2>"$dir/virsh.err"; then
    ok=1
    break
  fi
  sleep 0.5
done
if [ -z "$ok" ]; then
  log "virsh over ssh does not answer: $(cat "$dir/virsh.err"); see $dir/*.log"
  down
  exit 1
fi
connected=$(date +%s%3N)
# Pay for the probe of every QEMU binary here rather than in a test's first
# capabilities call.
virsh -q -c "$local_uri" capabilities >/dev/null ||
  { log "libvirt cannot list its capabilities; see $dir/libvirtd.log"; down; exit 1; }
probed=$(date +%s%3N)

virsh -q -c "$local_uri" pool-define-as tarnwick dir --target "$dir/pool" >/dev/null &&
  virsh -q -c "$local_uri" pool-build tarnwick >/dev/null &&
  virsh -q -c "$local_uri" pool-start tarnwick >/dev/null ||
  { log "the storage pool could not be made; see $dir/libvirtd.log"; down; exit 1; }
rm -f "$dir/virsh.err"

log "up in $(($(date +%s%3N) - started)) ms: virsh over ssh answered after $((connected - started)) ms, QEMU probed in $((probed - connected)) ms"
# Quoted for eval: the URI holds '&'. <dir> has no quotes (checked above).
echo "TARNWICK_LIBVIRT_URI='$uri'"
echo "TARNWICK_LIBVIRT_POOL=tarnwick"
