// The initrd the boot tests give Debian's kernels: busybox and an /init that
// prints the marker on the console and powers the machine off.
#pragma once

#include "Cpio.h"
#include "TestBytes.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdint>

// The shell works it out, so the marker is in no file the guest is given.
inline const QByteArray kBootMarker = "TARNWICK-BOOT-42";

// busybox and a console device; false when `busyboxPath` cannot be read.
inline bool AddBusybox(bx::CpioWriter& cpio, const QString& busyboxPath) {
    QFile busybox(busyboxPath);
    if (!busybox.open(QIODevice::ReadOnly))
        return false;
    cpio.Directory("bin");
    cpio.File("bin/busybox", Bytes(busybox.readAll()));
    cpio.Directory("dev");
    cpio.CharDevice("dev/console", 5, 1);
    return true;
}

// Empty when `busyboxPath` cannot be read.
inline QByteArray MarkerInitramfs(const QString& busyboxPath) {
    bx::CpioWriter cpio;
    if (!AddBusybox(cpio, busyboxPath))
        return {};
    cpio.File("init", "#!/bin/busybox sh\n"
                      "/bin/busybox echo TARNWICK-BOOT-$((6 * 7))\n"
                      "/bin/busybox poweroff -f\n");
    return QByteArray::fromStdString(cpio.Finish());
}

// The kernel modules in `modules` (virtio network and disk drivers), under
// /lib, and the udhcpc script that puts the leased address on eth0.
inline void AddModulesAndDhcp(bx::CpioWriter& cpio, const QString& modules) {
    cpio.Directory("lib");
    for (const QString& module : QDir(modules).entryList({"*.ko"}, QDir::Files)) {
        QFile file(QDir(modules).filePath(module));
        if (file.open(QIODevice::ReadOnly))
            cpio.File(Bytes("lib/" + module.toUtf8()), Bytes(file.readAll()), 0100644);
    }
    cpio.File("bin/dhcp", "#!/bin/busybox sh\n"
                          "case \"$1\" in bound|renew)\n"
                          "  /bin/busybox ip addr add $ip/$mask dev $interface ;;\n"
                          "esac\n");
}

// The beginning of an /init that loads those modules, brings eth0 up and
// defines arg(), which reads tarnwick.<key>=<value> from the command line.
inline constexpr const char* kGuestPreamble =
    "#!/bin/busybox sh\n"
    "B=/bin/busybox\n"
    "$B mkdir -p /proc /sys /tmp\n"
    "$B mount -t proc proc /proc\n"
    "for m in failover net_failover virtio_mmio virtio_net virtio_blk; do\n"
    "  [ -f /lib/$m.ko ] && $B insmod /lib/$m.ko\n"
    "done\n"
    "arg() { $B sed -n \"s/.*tarnwick\\.$1=\\([^ ]*\\).*/\\1/p\" /proc/cmdline; }\n"
    "$B ip link set lo up\n"
    "$B ip link set eth0 up\n";

// An initrd whose /init configures eth0 (by DHCP for "tarnwick.net=dhcp" on
// the kernel command line, else the address given there), fetches
// http://<tarnwick.host>:<tarnwick.port>/payload and prints
// "TARNWICK-NET-<md5 of what it got>".
inline QByteArray NetworkInitramfs(const QString& busyboxPath, const QString& modules) {
    bx::CpioWriter cpio;
    if (!AddBusybox(cpio, busyboxPath))
        return {};
    AddModulesAndDhcp(cpio, modules);
    cpio.File("init",
              std::string(kGuestPreamble) +
                  "if [ \"$(arg net)\" = dhcp ]; then\n"
                  "  $B udhcpc -i eth0 -n -q -t 20 -s /bin/dhcp\n"
                  "else\n"
                  "  $B ip addr add $(arg net) dev eth0\n"
                  "fi\n"
                  "sum=$($B wget -q -O - http://$(arg host):$(arg port)/payload | $B md5sum)\n"
                  "$B echo TARNWICK-NET-${sum%% *}\n"
                  "$B poweroff -f\n");
    return QByteArray::fromStdString(cpio.Finish());
}

// An initrd for a guest on the user-mode network. With "tarnwick.write=<word>"
// its /init writes the word at the start of its first disk, prints
// "TARNWICK-DISK-was[<before>]now[<after>]" and powers off; else it serves
// "TARNWICK-HTTP-42" with busybox httpd on port 80, prints
// "TARNWICK-READY-42" and stays up.
inline QByteArray ServiceInitramfs(const QString& busyboxPath, const QString& modules) {
    bx::CpioWriter cpio;
    if (!AddBusybox(cpio, busyboxPath))
        return {};
    AddModulesAndDhcp(cpio, modules);
    cpio.File("init", std::string(kGuestPreamble) +
                          "$B udhcpc -i eth0 -n -q -t 20 -s /bin/dhcp\n"
                          "word=$(arg write)\n"
                          "if [ -n \"$word\" ]; then\n"
                          "  $B mount -t devtmpfs dev /dev\n"
                          "  first() { $B head -c 32 /dev/vda | $B tr -dc a-z0-9-; }\n"
                          "  was=$(first)\n"
                          "  $B echo -n \"$word\" | $B dd of=/dev/vda conv=fsync 2>/dev/null\n"
                          "  $B echo \"TARNWICK-DISK-was[$was]now[$(first)]\"\n"
                          "  $B poweroff -f\n"
                          "fi\n"
                          "$B mkdir -p /www\n"
                          "$B echo TARNWICK-HTTP-$((6 * 7)) >/www/index.html\n"
                          "$B httpd -p 80 -h /www\n"
                          "$B echo TARNWICK-READY-$((6 * 7))\n"
                          "while :; do $B sleep 60; done\n");
    return QByteArray::fromStdString(cpio.Finish());
}
