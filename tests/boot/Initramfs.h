// The initrd the boot tests give Debian's kernels: busybox and an /init that
// prints the marker on the console and powers the machine off.
#pragma once

#include <QByteArray>
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
