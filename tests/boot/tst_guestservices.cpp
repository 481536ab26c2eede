// What an embedded developer does with a guest every day, end to end through
// our back end's exports and a real virt (arm) guest: debug it through
// QEMU's gdb stub, reach its server through a forward of the user-mode
// network, and try a write that the stop throws away.
#include "ExportedBackend.h"
#include "Initramfs.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kBootTimeoutMs = 180000;

// A port nobody listens on at this moment.
quint16 FreePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

void AddPeripheral(EmulatorOptions& record, const std::string& kind, const std::string& param) {
    PeriEntry& row = record.peri.peris[record.peri.periCount++];
    bx::WriteField(row.device, kind);
    bx::WriteField(row.param, param);
}

// What a TCP client gets back for `request` from 127.0.0.1:`port`, read
// until `enough` holds or the peer closes.
QByteArray Exchange(quint16 port, const QByteArray& request,
                    const std::function<bool(const QByteArray&)>& enough) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "(no connection: " + socket.errorString().toUtf8() + ")";
    socket.write(request);
    QByteArray reply;
    QElapsedTimer clock;
    clock.start();
    while (!enough(reply) && clock.elapsed() < 10000 &&
           socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(500);
        reply += socket.readAll();
    }
    return reply + socket.readAll();
}

} // namespace

class TestGuestServices : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void badParametersAreRefused_data();
    void badParametersAreRefused();
    void gdbStubAnswersOnItsPort();
    void forwardReachesTheGuestsServer();
    void discardWritesLeavesTheDiskAsItWas();

private:
    EmulatorOptions Guest(const std::string& name, const std::string& args = {}) const;
    int State(const std::string& name) const {
        return m_backend.Fn<PFN_GetEmulatorState>("GetEmulatorState")(name.c_str());
    }
    bool WaitUntilStopped(const std::string& name) const;
    QString Serial(const std::string& name) const {
        return m_dir.path() + "/" + QString::fromStdString(name) + ".serial.txt";
    }

    QTemporaryDir m_dir;
    QString m_assets;
    QString m_kernel;
    QString m_initrd;
    ExportedBackend m_backend;
};

void TestGuestServices::initTestCase() {
    m_assets =
        qEnvironmentVariable("TARNWICK_BOOT_ASSETS", QStringLiteral(TARNWICK_BOOT_ASSETS)) + "/arm";
    const QStringList kernels = QDir(m_assets).entryList({"vmlinuz-*"});
    if (kernels.isEmpty() || !QFile::exists(m_assets + "/busybox"))
        QSKIP(qPrintable("no arm kernel in " + m_assets + "; run scripts/boot-assets.sh"));
    m_kernel = m_assets + "/" + kernels.front();
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_backend.Load(m_dir.path()), ::dlerror());
    m_initrd = m_dir.path() + "/services.cpio";
    QFile file(m_initrd);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ServiceInitramfs(m_assets + "/busybox", m_assets + "/modules"));
}

EmulatorOptions TestGuestServices::Guest(const std::string& name, const std::string& args) const {
    EmulatorOptions record = GuestRecord(m_backend, name, "virt (arm)", 256, m_kernel.toStdString(),
                                         m_initrd.toStdString(), "console=ttyAMA0 panic=-1 " + args,
                                         Serial(name).toStdString());
    bx::WriteField(record.general.tapAdapter, "(user-mode network)");
    return record;
}

bool TestGuestServices::WaitUntilStopped(const std::string& name) const {
    QElapsedTimer clock;
    clock.start();
    while (State(name) != BREVANTIX_STATE_STOPPED && clock.elapsed() < kBootTimeoutMs)
        QTest::qWait(100);
    return State(name) == BREVANTIX_STATE_STOPPED;
}

void TestGuestServices::badParametersAreRefused_data() {
    QTest::addColumn<QStringList>("rows"); // kind, parameter, kind, parameter...
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("refusal");
    const QString user = "(user-mode network)";
    const QString gdbForm = "gdb-server takes [host:]port[,wait]";
    const QString forwardForm = "port-forward takes tcp|udp:[host address:]host port:guest port";
    QTest::newRow("gdb: not wait") << QStringList{"gdb-server", "1234,nowait"} << user << gdbForm;
    QTest::newRow("gdb: options slipped in")
        << QStringList{"gdb-server", "127.0.0.1:1234,server=on"} << user << gdbForm;
    QTest::newRow("gdb: port 0") << QStringList{"gdb-server", "0"} << user << gdbForm;
    QTest::newRow("gdb: two stubs") << QStringList{"gdb-server", "", "gdb-server", "1235"} << user
                                    << "Only one peripheral gdb-server";
    QTest::newRow("forward: no guest port")
        << QStringList{"port-forward", "tcp:2222"} << user << forwardForm;
    QTest::newRow("forward: another forward slipped in")
        << QStringList{"port-forward", "tcp:2222:22,hostfwd=tcp::2223-:23"} << user << forwardForm;
    QTest::newRow("forward: host name")
        << QStringList{"port-forward", "tcp:localhost:2222:22"} << user << forwardForm;
    QTest::newRow("forward: sctp")
        << QStringList{"port-forward", "sctp:2222:22"} << user << forwardForm;
    QTest::newRow("forward: no network")
        << QStringList{"port-forward", "tcp:2222:22"} << "(no network)"
        << "forwards into the user-mode network, but this machine's network is none";
    QTest::newRow("discard: a parameter")
        << QStringList{"discard-writes", "on"} << user << "discard-writes takes no parameter";
}

// Refused before QEMU runs, with a text that names the row's form.
void TestGuestServices::badParametersAreRefused() {
    QFETCH(QStringList, rows);
    QFETCH(QString, network);
    QFETCH(QString, refusal);
    const std::string name = "refused " + std::string(QTest::currentDataTag());
    EmulatorOptions record = Guest(name);
    for (qsizetype i = 0; i + 1 < rows.size(); i += 2)
        AddPeripheral(record, rows[i].toStdString(), rows[i + 1].toStdString());
    bx::WriteField(record.general.tapAdapter, network.toStdString());
    const std::string refused = m_backend.SaveAndStart(record);
    QVERIFY2(refused.find(refusal.toStdString()) != std::string::npos, refused.c_str());
    QCOMPARE(State(name), BREVANTIX_STATE_STOPPED);
}

// ",wait" holds the guest until a debugger continues it (paused meanwhile),
// the stub answers gdb's remote protocol, and a second stub on the taken
// port fails the start with QEMU's own words.
void TestGuestServices::gdbStubAnswersOnItsPort() {
    const quint16 port = FreePort();
    EmulatorOptions record = Guest("gdb");
    AddPeripheral(record, "gdb-server", "127.0.0.1:" + std::to_string(port) + ",wait");
    const std::string refused = m_backend.SaveAndStart(record);
    QVERIFY2(refused.empty(), refused.c_str());
    QCOMPARE(State("gdb"), BREVANTIX_STATE_PAUSED);
    const QByteArray reply = Exchange(port, "+$?#3f", [](const QByteArray& got) {
        return got.contains("$S") || got.contains("$T") ? got.indexOf('#', 1) > 0 : false;
    });
    QVERIFY2(reply.startsWith('+') && (reply.contains("$S") || reply.contains("$T")),
             reply.constData());

    EmulatorOptions second = Guest("gdb on a taken port");
    AddPeripheral(second, "gdb-server", std::to_string(port));
    const std::string taken = m_backend.SaveAndStart(second);
    m_backend.Kill("gdb");
    QVERIFY2(taken.find("stopped at once") != std::string::npos &&
                 taken.find("-gdb tcp:127.0.0.1:" + std::to_string(port)) != std::string::npos,
             taken.c_str());
}

void TestGuestServices::forwardReachesTheGuestsServer() {
    const quint16 port = FreePort();
    EmulatorOptions record = Guest("forward");
    AddPeripheral(record, "port-forward", "tcp:" + std::to_string(port) + ":80");
    const std::string refused = m_backend.SaveAndStart(record);
    QVERIFY2(refused.empty(), refused.c_str());
    const QByteArray ready = WaitForConsole(Serial("forward"), "TARNWICK-READY-", kBootTimeoutMs);
    const QByteArray page =
        ready == "42" ? Exchange(port, "GET / HTTP/1.0\r\n\r\n",
                                 [](const QByteArray& got) { return got.contains("\n42"); })
                      : QByteArray();
    m_backend.Kill("forward");
    QVERIFY2(ready == "42", "the guest's server did not come up");
    QVERIFY2(page.startsWith("HTTP/1.") && page.contains(" 200 ") &&
                 page.contains("TARNWICK-HTTP-42"),
             page.constData());
}

// The guest writes a word at the start of its SD card and powers off: with
// discard-writes the image is as it was, without it the word stays.
void TestGuestServices::discardWritesLeavesTheDiskAsItWas() {
    if (!QFile::exists(m_assets + "/modules/virtio_blk.ko"))
        QSKIP("no virtio_blk.ko among the assets' modules; run scripts/boot-assets.sh again");
    const std::string image = m_backend.StoreFile("disk.sd.img");
    for (const bool discard : {true, false}) {
        const std::string word = discard ? "gone" : "kept";
        EmulatorOptions record = Guest("disk", "tarnwick.write=" + word);
        record.disk.sdSize = 1;
        bx::WriteField(record.disk.sdMemType, "MB");
        if (discard)
            AddPeripheral(record, "discard-writes", "");
        // As the manager edits: a delete, then the save.
        m_backend.Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")("disk", "arm");
        const std::string refused = m_backend.SaveAndStart(record);
        QVERIFY2(refused.empty(), refused.c_str());
        const QByteArray seen = WaitForConsole(Serial("disk"), "TARNWICK-DISK-", kBootTimeoutMs);
        QVERIFY2(WaitUntilStopped("disk"), "the guest did not power off");
        QCOMPARE(seen, QByteArray("was[]now[" + QByteArray::fromStdString(word) + "]"));
        QFile file(QString::fromStdString(image));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray start = file.read(4);
        QCOMPARE(start, discard ? QByteArray(4, '\0') : QByteArray::fromStdString(word));
    }
}

QTEST_GUILESS_MAIN(TestGuestServices)
#include "tst_guestservices.moc"
