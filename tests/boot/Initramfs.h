// The initrd the boot tests give Debian's kernels: busybox and an /init that
// prints the marker on the console and powers the machine off.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdint>

// The shell works it out, so the marker is in no file the guest is given.
inline const QByteArray kBootMarker = "TARNWICK-BOOT-42";

// An initramfs in the "newc" cpio format.
class CpioWriter {
public:
    void Directory(const QByteArray& name) { Entry(name, 040755, {}); }
    void File(const QByteArray& name, const QByteArray& data, uint32_t mode = 0100755) {
        Entry(name, mode, data);
    }
    void CharDevice(const QByteArray& name, uint32_t major, uint32_t minor) {
        Entry(name, 020600, {}, major, minor);
    }
    QByteArray Finish() {
        Entry("TRAILER!!!", 0, {});
        return m_out;
    }

private:
    void Entry(const QByteArray& name, uint32_t mode, const QByteArray& data, uint32_t major = 0,
               uint32_t minor = 0) {
        const uint32_t fields[] = {++m_inode,
                                   mode,
                                   0,
                                   0,
                                   1,
                                   0,
                                   uint32_t(data.size()),
                                   0,
                                   0,
                                   major,
                                   minor,
                                   uint32_t(name.size() + 1),
                                   0};
        m_out += "070701";
        for (uint32_t f : fields)
            m_out += QByteArray::number(f, 16).toUpper().rightJustified(8, '0');
        m_out += name;
        m_out += '\0';
        Pad();
        m_out += data;
        Pad();
    }
    void Pad() {
        while (m_out.size() % 4)
            m_out += '\0';
    }

    QByteArray m_out;
    uint32_t m_inode = 0;
};

// Empty when `busyboxPath` cannot be read.
inline QByteArray MarkerInitramfs(const QString& busyboxPath) {
    QFile busybox(busyboxPath);
    if (!busybox.open(QIODevice::ReadOnly))
        return {};
    CpioWriter cpio;
    cpio.Directory("bin");
    cpio.File("bin/busybox", busybox.readAll());
    cpio.Directory("dev");
    cpio.CharDevice("dev/console", 5, 1);
    cpio.File("init", "#!/bin/busybox sh\n"
                      "/bin/busybox echo TARNWICK-BOOT-$((6 * 7))\n"
                      "/bin/busybox poweroff -f\n");
    return cpio.Finish();
}

// An initrd whose /init loads the virtio network drivers from `modules`,
// configures eth0 (by DHCP for "tarnwick.net=dhcp" on the kernel command
// line, else the address given there), fetches
// http://<tarnwick.host>:<tarnwick.port>/payload and prints
// "TARNWICK-NET-<md5 of what it got>".
inline QByteArray NetworkInitramfs(const QString& busyboxPath, const QString& modules) {
    QFile busybox(busyboxPath);
    if (!busybox.open(QIODevice::ReadOnly))
        return {};
    CpioWriter cpio;
    cpio.Directory("bin");
    cpio.File("bin/busybox", busybox.readAll());
    cpio.Directory("dev");
    cpio.CharDevice("dev/console", 5, 1);
    cpio.Directory("lib");
    for (const QString& module : QDir(modules).entryList({"*.ko"}, QDir::Files)) {
        QFile file(QDir(modules).filePath(module));
        if (file.open(QIODevice::ReadOnly))
            cpio.File("lib/" + module.toUtf8(), file.readAll(), 0100644);
    }
    cpio.File("bin/dhcp", "#!/bin/busybox sh\n"
                          "case \"$1\" in bound|renew)\n"
                          "  /bin/busybox ip addr add $ip/$mask dev $interface ;;\n"
                          "esac\n");
    cpio.File("init",
              "#!/bin/busybox sh\n"
              "B=/bin/busybox\n"
              "$B mkdir -p /proc /sys /tmp\n"
              "$B mount -t proc proc /proc\n"
              "for m in failover net_failover virtio_mmio virtio_net; do\n"
              "  [ -f /lib/$m.ko ] && $B insmod /lib/$m.ko\n"
              "done\n"
              "arg() { $B sed -n \"s/.*tarnwick\\.$1=\\([^ ]*\\).*/\\1/p\" /proc/cmdline; }\n"
              "$B ip link set lo up\n"
              "$B ip link set eth0 up\n"
              "if [ \"$(arg net)\" = dhcp ]; then\n"
              "  $B udhcpc -i eth0 -n -q -t 20 -s /bin/dhcp\n"
              "else\n"
              "  $B ip addr add $(arg net) dev eth0\n"
              "fi\n"
              "sum=$($B wget -q -O - http://$(arg host):$(arg port)/payload | $B md5sum)\n"
              "$B echo TARNWICK-NET-${sum%% *}\n"
              "$B poweroff -f\n");
    return cpio.Finish();
}
