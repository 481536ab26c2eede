#!/bin/sh
# Runs a test program in network and mount namespaces of its own, with a
# sysfs that shows that network, when it can (as root); else as it is, and
# the program skips what needs them. The host's interfaces are never touched.
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null 2>&1; then
  exec unshare --net --mount env TARNWICK_PRIVATE_NETWORK=1 sh -c \
    'mount --make-rprivate / && mount -t sysfs sysfs /sys && exec "$@"' sh "$@"
fi
exec "$@"
