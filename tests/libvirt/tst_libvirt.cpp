// The libvirt engine end to end: our back end's exports, a libvirt daemon
// reached over qemu+ssh on loopback, and Debian's armhf kernel booting a
// busybox initrd on virt (arm).
#include "ExportedBackend.h"
#include "Initramfs.h"
#include "TestBytes.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace {

// Prints the marker, then stays up until it is stopped.
QByteArray LingeringInitramfs(const QString& busybox) {
    bx::CpioWriter cpio;
    if (!AddBusybox(cpio, busybox))
        return {};
    cpio.File("init", "#!/bin/busybox sh\n"
                      "/bin/busybox echo TARNWICK-BOOT-$((6 * 7))\n"
                      "while :; do /bin/busybox sleep 60; done\n");
    return QByteArray::fromStdString(cpio.Finish());
}

} // namespace

class TestLibvirt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void machineLivesOnTheDaemon();
    void deadLinkFailsWithinTheBound();

private:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    void Down() const {
        QProcess::execute(QStringLiteral("bash"), {Script(), QStringLiteral("down"), m_dir.path()});
    }
    std::string BackendLog() const {
        return ReadBytes(ToStd(Path(QStringLiteral("scratch/state/tarnwick/backend.log"))));
    }
    QString Script() const {
        return QStringLiteral(TARNWICK_SOURCE_DIR "/scripts/libvirt-host.sh");
    }
    std::vector<std::string> Names() const {
        return m_backend.List([&](char* b, uint32_t c, uint32_t s) {
            return m_backend.Fn<PFN_EnumAllEmulator>("EnumAllEmulator")(m_extra.c_str(), b, c, s);
        });
    }
    int State(const std::string& name) const {
        return m_backend.Fn<PFN_GetEmulatorState>("GetEmulatorState")(name.c_str());
    }
    QByteArray Virsh(const QStringList& args) const {
        QProcess virsh;
        virsh.start(QStringLiteral("virsh"), QStringList{QStringLiteral("-c"), m_uri} + args);
        virsh.waitForFinished(60000);
        return virsh.readAllStandardOutput() + virsh.readAllStandardError();
    }

    QDir m_dir{QStringLiteral(TARNWICK_LIBVIRT_HOST_DIR)};
    ExportedBackend m_backend;
    QString m_uri;
    std::string m_extra;
    bool m_up = false;
};

void TestLibvirt::initTestCase() {
    const QString assets =
        qEnvironmentVariable("TARNWICK_BOOT_ASSETS", QStringLiteral(TARNWICK_BOOT_ASSETS));
    if (!QFile::exists(assets + "/vmlinuz") || !QFile::exists(assets + "/busybox"))
        QSKIP("no armhf kernel and busybox; run scripts/boot-assets.sh as root");
    if (geteuid() != 0)
        QSKIP("the private libvirt daemon needs root (scripts/libvirt-host.sh)");
    // What a crashed run left goes first.
    if (m_dir.exists())
        Down();
    m_dir.removeRecursively();
    QVERIFY(m_dir.mkpath(QStringLiteral(".")));
    // libvirt writes to its ssh; once the test's daemons are down, that
    // must fail a call, not end the test (Qt Test catches SIGPIPE itself, so
    // the engine leaves it alone here).
    std::signal(SIGPIPE, SIG_IGN);

    QProcess up;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // libvirt's probe of every QEMU binary, kept between runs.
    env.insert(QStringLiteral("TARNWICK_LIBVIRT_CACHE"),
               QStringLiteral(TARNWICK_BUILD_DIR "/libvirt-cache"));
    up.setProcessEnvironment(env);
    up.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    up.start(QStringLiteral("bash"), {Script(), QStringLiteral("up"), m_dir.path()});
    QVERIFY(up.waitForFinished(240000));
    m_up = true;
    QCOMPARE(up.exitCode(), 0);
    for (const QByteArray& line : up.readAllStandardOutput().split('\n'))
        if (line.startsWith("TARNWICK_LIBVIRT_URI="))
            m_uri = QString::fromUtf8(line.mid(21)).remove(QLatin1Char('\''));
    QVERIFY(!m_uri.isEmpty());
    m_extra = m_uri.toStdString() + " arm";

    QVERIFY(m_backend.Load(Path(QStringLiteral("scratch"))));
    const QByteArray initrd = LingeringInitramfs(assets + "/busybox");
    QVERIFY(!initrd.isEmpty());
    QVERIFY(WriteBytes(ToStd(Path(QStringLiteral("initrd.cpio"))), Bytes(initrd)));
}

void TestLibvirt::cleanupTestCase() {
    if (m_up)
        Down();
}

void TestLibvirt::machineLivesOnTheDaemon() {
    // A domain made outside Tarnwick, even one named like ours, is neither
    // listed nor touched.
    const QString foreign = Path(QStringLiteral("foreign.xml"));
    QVERIFY(WriteBytes(ToStd(foreign), "<domain type='qemu'><name>tarnwick-foreign</name><memory "
                                       "unit='MiB'>64</memory><os><type arch='armv7l' "
                                       "machine='virt'>hvm</type></os></domain>"));
    Virsh({QStringLiteral("define"), foreign});

    QVERIFY(Names().empty());
    const auto targets =
        m_backend.List<PFN_GetEmulatorTarget>("GetEmulatorTarget", m_extra.c_str());
    QVERIFY(!targets.empty());
    QCOMPARE(targets.front(), std::string("virt (arm)"));
    const std::string cpu = m_backend.FirstCpu("virt (arm)");
    QCOMPARE(cpu, std::string("cortex-a15"));

    const std::string assets =
        ToStd(qEnvironmentVariable("TARNWICK_BOOT_ASSETS", QStringLiteral(TARNWICK_BOOT_ASSETS)));
    // On the daemon's host: the pool's directory, which its QEMU may write.
    const QString serial = Path(QStringLiteral("pool/console.txt"));
    const std::string name = "board \xff one";
    EmulatorOptions record =
        GuestRecord(m_backend, name, "virt (arm)", 256, assets + "/vmlinuz",
                    ToStd(Path("initrd.cpio")), "console=ttyAMA0 panic=-1", ToStd(serial));
    bx::WriteField(record.general.tapAdapter, "(user-mode network)");
    record.peri.periCount = 1;
    bx::WriteField(record.peri.peris[0].device, "virtio-rng-device");
    const std::string refused = m_backend.SaveAndStart(record);
    QVERIFY2(refused.empty(), refused.c_str());
    QVERIFY2(!WaitForConsole(serial, kBootMarker, 90000).isNull(), "no boot marker");
    QCOMPARE(Names(), std::vector<std::string>{name});
    QCOMPARE(State(name), BREVANTIX_STATE_RUNNING);
    QVERIFY(m_backend.Info(name).find("console") != std::string::npos);

    // Renamed while it runs: the edit is a delete and a save.
    const std::string renamed = "renamed \xfe board";
    m_backend.Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")(name.c_str(), "arm");
    bx::WriteField(record.general.name, renamed);
    m_backend.Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions")(&record);
    QVERIFY2(Names() == std::vector<std::string>{renamed}, BackendLog().c_str());
    QCOMPARE(State(renamed), BREVANTIX_STATE_RUNNING);
    EmulatorOptions loaded = ZeroRecord();
    QCOMPARE(m_backend.Fn<PFN_GetEmulatorOptions>("GetEmulatorOptions")(renamed.c_str(), &loaded),
             1);
    QCOMPARE(bx::ReadField(loaded.general.name), renamed);
    QCOMPARE(bx::ReadField(loaded.os.cmdLine), std::string("console=ttyAMA0 panic=-1"));

    auto stop = m_backend.Fn<PFN_StopEmulator>("StopEmulator");
    QCOMPARE(stop(renamed.c_str(), 0), 1); // delivered; busybox ignores it
    QCOMPARE(stop(renamed.c_str(), 1), 1);
    QCOMPARE(State(renamed), BREVANTIX_STATE_STOPPED);

    // A stopped machine's copy; then a start that libvirt refuses, in its
    // own words.
    QCOMPARE(m_backend.Fn<PFN_CloneEmulator>("CloneEmulator")(renamed.c_str(), "copy"), 1);
    QCOMPARE(Names(), (std::vector<std::string>{"copy", renamed}));
    EmulatorOptions broken = record;
    bx::WriteField(broken.general.name, "copy");
    bx::WriteField(broken.general.cpu, "cortex-z99");
    m_backend.Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")("copy", "arm");
    const std::string why = m_backend.SaveAndStart(broken);
    QVERIFY2(why.find("cortex-z99") != std::string::npos, why.c_str());

    for (const std::string& machine : Names())
        m_backend.Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")(machine.c_str(), "arm");
    QVERIFY(Names().empty());
    QVERIFY(Virsh({QStringLiteral("list"), QStringLiteral("--all"), QStringLiteral("--name")})
                .contains("tarnwick-foreign"));
}

// A host that takes the connection and never answers (a link gone dead):
// the exports give up with a text that says so instead of hanging.
void TestLibvirt::deadLinkFailsWithinTheBound() {
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const std::string extra = "qemu+ssh://root@127.0.0.1:" + std::to_string(silent.serverPort()) +
                              "/system?no_tty=1&no_verify=1";
    QVERIFY(m_backend
                .List([&](char* b, uint32_t c, uint32_t s) {
                    return m_backend.Fn<PFN_EnumAllEmulator>("EnumAllEmulator")(extra.c_str(), b, c,
                                                                                s);
                })
                .empty());
    // The next calls fail at once while the first one hangs.
    QCOMPARE(m_backend.Fn<PFN_StartEmulator>("StartEmulator")("unreachable"), 0);
    const std::string why = m_backend.ErrInfo("unreachable");
    QVERIFY2(why.find("has not answered an earlier call") != std::string::npos, why.c_str());
}

QTEST_GUILESS_MAIN(TestLibvirt)
#include "tst_libvirt.moc"
