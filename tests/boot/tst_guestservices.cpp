// What an embedded developer does with a guest every day, end to end through
// our back end's exports and a real virt (arm) guest: debug it through
// QEMU's gdb stub, reach its server through a forward of the user-mode
// network, try a write that the stop throws away, and clone a machine.
#include "ExportedBackend.h"
#include "Initramfs.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

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
    void cloneBootsBesideItsOriginal();

private:
    EmulatorOptions Guest(const std::string& name, const std::string& args = {}) const;
    int State(const std::string& name) const {
        return m_backend.Fn<PFN_GetEmulatorState>("GetEmulatorState")(name.c_str());
    }
    bool WaitUntilStopped(const std::string& name) const;
    // CloneEmulator's result, and the text it left for `to`.
    std::pair<int, std::string> Clone(const std::string& from, const std::string& to) const;
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

std::pair<int, std::string> TestGuestServices::Clone(const std::string& from,
                                                     const std::string& to) const {
    const int done = m_backend.Fn<PFN_CloneEmulator>("CloneEmulator")(from.c_str(), to.c_str());
    return {done, m_backend.ErrInfo(to)};
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

// The original writes a word on its hard disk (an image at a path of its
// own) and gets a 1 GiB SD card in the store. Its clone starts without
// being opened (the formats of its copies are recorded), beside the
// original running, and finds the word; the card's copy keeps its holes.
// A running machine and a taken name are refused, and leave nothing.
void TestGuestServices::cloneBootsBesideItsOriginal() {
    if (!QFile::exists(m_assets + "/modules/virtio_blk.ko"))
        QSKIP("no virtio_blk.ko among the assets' modules; run scripts/boot-assets.sh again");
    QVERIFY2(m_backend.Fn<PFN_CloneEmulator>("CloneEmulator"), "no CloneEmulator export");
    const std::string disk = (m_dir.path() + "/original.raw").toStdString();
    auto original = [&](const std::string& args) {
        EmulatorOptions record = Guest("original", args);
        bx::WriteField(record.peri.serialParam, ""); // <stem>.serial.txt: one per machine
        record.disk.sdSize = 1;
        bx::WriteField(record.disk.sdMemType, "GB");
        record.disk.hdSize = 16;
        bx::WriteField(record.disk.hdMemType, "MB");
        bx::WriteField(record.disk.hdFile, disk);
        m_backend.Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")("original", "arm");
        return m_backend.SaveAndStart(record);
    };
    std::string refused = original("tarnwick.write=cloned");
    QVERIFY2(refused.empty(), refused.c_str());
    const QString originalSerial =
        QString::fromStdString(m_backend.StoreFile("original.serial.txt"));
    QCOMPARE(WaitForConsole(originalSerial, "TARNWICK-DISK-", kBootTimeoutMs),
             QByteArray("was[]now[cloned]"));
    QVERIFY(WaitUntilStopped("original"));

    const auto [done, text] = Clone("original", "copy");
    QVERIFY2(done == 1, text.c_str());
    const std::string card = m_backend.StoreFile("copy.sd.img");
    const std::string copiedDisk = (m_dir.path() + "/copy.hd.raw").toStdString();
    QVERIFY2(text.find(card) != std::string::npos && text.find(copiedDisk) != std::string::npos,
             text.c_str());
    struct stat st {};
    QCOMPARE(::stat(card.c_str(), &st), 0);
    QCOMPARE(st.st_size, off_t(1) << 30);
    QVERIFY2(st.st_blocks * 512 < (1 << 20), qPrintable(QString::number(st.st_blocks)));
    EmulatorOptions copy = ZeroRecord();
    QCOMPARE(m_backend.Fn<PFN_GetEmulatorOptions>("GetEmulatorOptions")("copy", &copy), 1);
    QCOMPARE(bx::ReadField(copy.disk.hdFile), copiedDisk);
    QCOMPARE(bx::ReadField(copy.os.osImage), m_kernel.toStdString());

    const auto [again, taken] = Clone("original", "copy");
    QVERIFY2(again == 0 && taken.find("exists already") != std::string::npos, taken.c_str());

    refused = original("");
    QVERIFY2(refused.empty(), refused.c_str());
    QCOMPARE(WaitForConsole(originalSerial, "TARNWICK-READY-", kBootTimeoutMs), QByteArray("42"));
    const auto [running, why] = Clone("original", "third");
    refused = m_backend.Start("copy");
    const QByteArray seen =
        refused.empty()
            ? WaitForConsole(QString::fromStdString(m_backend.StoreFile("copy.serial.txt")),
                             "TARNWICK-DISK-", kBootTimeoutMs)
            : QByteArray();
    const int originalState = State("original");
    m_backend.Kill("original");
    QVERIFY(WaitUntilStopped("copy"));
    QVERIFY2(running == 0 && why.find("running") != std::string::npos, why.c_str());
    QVERIFY(!QFile::exists(QString::fromStdString(m_backend.StoreFile("third.vm"))));
    QVERIFY(!QFile::exists(m_dir.path() + "/third.hd.raw"));
    QVERIFY2(refused.empty(), refused.c_str());
    QCOMPARE(seen, QByteArray("was[cloned]now[cloned]"));
    QCOMPARE(originalState, BREVANTIX_STATE_RUNNING);
}

QTEST_GUILESS_MAIN(TestGuestServices)
#include "tst_guestservices.moc"
