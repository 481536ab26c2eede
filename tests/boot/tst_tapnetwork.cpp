// A TAP adapter made by the back end carries a guest's traffic: in a private
// network namespace, as root, Install makes the adapter, the test gives its
// host side an address and serves a file there, and a guest on that adapter
// with a static address fetches it. Run by in-private-network.sh.
#include "ExportedBackend.h"
#include "Initramfs.h"
#include "PayloadServer.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

class TestTapNetwork : public QObject {
    Q_OBJECT

private slots:
    void guestOnInstalledAdapterReachesTheHost();
};

void TestTapNetwork::guestOnInstalledAdapterReachesTheHost() {
    if (qgetenv("TARNWICK_PRIVATE_NETWORK") != "1")
        QSKIP("needs root in a network namespace of its own (tests/boot/in-private-network.sh)");
    const QString assets =
        qEnvironmentVariable("TARNWICK_BOOT_ASSETS", QStringLiteral(TARNWICK_BOOT_ASSETS));
    const QDir arm(assets + "/arm");
    const QStringList kernels = arm.entryList({"vmlinuz-*"});
    if (kernels.isEmpty() || !arm.exists("busybox") || !arm.exists("modules"))
        QSKIP(qPrintable("no arm kernel in " + arm.path() + "; run scripts/boot-assets.sh"));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ExportedBackend backend;
    QVERIFY2(backend.Load(dir.path()), ::dlerror());

    backend.Fn<PFN_InstallTapNetWork>("InstallTapNetWork")("");
    const auto adapters = backend.List<PFN_RefreshTapNetWork>("RefreshTapNetWork");
    QVERIFY2(std::find(adapters.begin(), adapters.end(), "tap0") != adapters.end(),
             "Install made no tap0");
    QCOMPARE(QProcess::execute("ip", {"addr", "add", "192.168.77.1/24", "dev", "tap0"}), 0);

    PayloadServer server;
    QVERIFY(server.listen(QHostAddress("192.168.77.1")));
    const QString initrd = dir.path() + "/network.cpio";
    {
        QFile file(initrd);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(NetworkInitramfs(arm.filePath("busybox"), arm.filePath("modules")));
    }
    const QString serial = dir.path() + "/tap.serial.txt";
    EmulatorOptions record = GuestRecord(
        backend, "on tap0", "virt (arm)", 256, arm.filePath(kernels.front()).toStdString(),
        initrd.toStdString(),
        "console=ttyAMA0 panic=-1 tarnwick.net=192.168.77.2/24 tarnwick.host=192.168.77.1 "
        "tarnwick.port=" +
            std::to_string(server.serverPort()),
        serial.toStdString());
    bx::WriteField(record.general.tapAdapter, "tap0");
    const std::string refused = backend.SaveAndStart(record);
    QVERIFY2(refused.empty(), refused.c_str());
    const QByteArray fetched = WaitForConsole(serial, "TARNWICK-NET-", 180000);
    backend.Kill("on%20tap0");
    QFile console(serial);
    QVERIFY(console.open(QIODevice::ReadOnly));
    QVERIFY2(fetched == server.Md5(), console.readAll().right(3000).constData());
}

QTEST_GUILESS_MAIN(TestTapNetwork)
#include "tst_tapnetwork.moc"
