// Every board the back end knows to boot Linux, booted with Debian's stock
// kernel of its architecture, the device tree the back end finds for it in
// the kernel package's trees, and a busybox initrd whose /init prints a
// marker. Each machine is stored and started through the back end's exports,
// as the manager does; its serial console goes into a file. Prints a table:
// board, architecture, device tree, seconds to the marker. Then a guest on
// the user-mode network fetches a file from the host.
#include "Boards.h"
#include "Choices.h"
#include "ExportedBackend.h"
#include "Initramfs.h"
#include "KernelImage.h"
#include "PayloadServer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>

namespace {

constexpr int kBootTimeoutMs = 180000;
constexpr int kAtOnce = 2; // the machine has two cores

struct Boot {
    const bx::BoardInfo* board = nullptr;
    std::string name;
    QString serial;
    QElapsedTimer clock;
    double seconds = -1;
    std::string deviceTree = "-";
    std::string problem;
};

QString ArchOf(const bx::BoardInfo& board) {
    return QString::fromUtf8(board.arch.data(), board.arch.size());
}

} // namespace

class TestBootMatrix : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyKnownBoardBoots();
    void stockKernelOfAnotherProcessorIsRefused();
    void userNetworkReachesTheHost();

private:
    // Empty when the architecture's kernel is there, else why not.
    QString AssetsProblem(const QString& arch) const;
    QString Kernel(const QString& arch) const;
    QString Initrd(const QString& arch);
    void Start(Boot& boot);

    QTemporaryDir m_dir;
    QString m_assets;
    ExportedBackend m_backend;
};

void TestBootMatrix::initTestCase() {
    m_assets = qEnvironmentVariable("TARNWICK_BOOT_ASSETS", QStringLiteral(TARNWICK_BOOT_ASSETS));
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_backend.Load(m_dir.path()), ::dlerror());
}

QString TestBootMatrix::AssetsProblem(const QString& arch) const {
    const QDir dir(m_assets + "/" + arch);
    QFile why(dir.filePath("MISSING"));
    if (why.open(QIODevice::ReadOnly))
        return QString::fromUtf8(why.readAll().trimmed());
    if (Kernel(arch).isEmpty() || !dir.exists("busybox"))
        return "scripts/boot-assets.sh " + m_assets + " has not run";
    return {};
}

QString TestBootMatrix::Kernel(const QString& arch) const {
    const QDir dir(m_assets + "/" + arch);
    const QStringList kernels = dir.entryList({"vmlinuz-*", "vmlinux-*"});
    return kernels.isEmpty() ? QString() : dir.filePath(kernels.front());
}

QString TestBootMatrix::Initrd(const QString& arch) {
    const QString initrd = m_dir.path() + "/" + arch + ".cpio";
    QFile file(initrd);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.write(MarkerInitramfs(m_assets + "/" + arch + "/busybox"));
    return initrd;
}

void TestBootMatrix::Start(Boot& boot) {
    const QString arch = ArchOf(*boot.board);
    const std::vector<uint32_t>& sizes = boot.board->memorySizes;
    boot.serial = m_dir.path() + "/" + QString::fromStdString(boot.name) + ".serial.txt";
    const EmulatorOptions record = GuestRecord(
        m_backend, boot.name, bx::TargetText(boot.board->name, boot.board->arch),
        static_cast<int32_t>(sizes.empty() ? 512 : sizes.front()), Kernel(arch).toStdString(),
        Initrd(arch).toStdString(),
        "console=" + bx::ConsoleDeviceFor(boot.board->arch, boot.board->name) + " panic=-1",
        boot.serial.toStdString());
    boot.clock.start();
    boot.problem = m_backend.SaveAndStart(record);
    if (!boot.problem.empty())
        return;
    // The command line is the log's first line.
    const std::string log = bx::ReadWholeFile(m_backend.StoreFile(boot.name + ".log")).value_or("");
    // A board that has no card for the network says so in its Details.
    const bool noCard = log.find("requested NIC") != std::string::npos;
    if (noCard !=
        (m_backend.Info(boot.name).find("Network: none reaches the guest") != std::string::npos))
        boot.problem = noCard ? "QEMU made no network card, and Details do not say so"
                              : "Details say no network reaches the guest, and QEMU made a card";
    const std::string command = log.substr(0, log.find('\n'));
    if (const std::size_t at = command.find(" -dtb "); at != std::string::npos) {
        const std::string path = command.substr(at + 6, command.find(' ', at + 6) - at - 6);
        const std::size_t dtbs = path.find("/dtbs/");
        boot.deviceTree = dtbs == std::string::npos ? path : path.substr(dtbs + 6);
    }
}

void TestBootMatrix::everyKnownBoardBoots() {
    std::deque<Boot> waiting;
    QStringList skipped;
    for (const bx::BoardInfo& board : bx::KnownBoards()) {
        const QString arch = ArchOf(board);
        if (const QString problem = AssetsProblem(arch); !problem.isEmpty()) {
            if (!skipped.contains(arch))
                qWarning("no %s kernel: %s", qPrintable(arch), qPrintable(problem));
            skipped << arch;
            continue;
        }
        Boot boot;
        boot.board = &board;
        boot.name = std::string(board.name) + "-" + std::string(board.arch);
        waiting.push_back(std::move(boot));
    }
    if (waiting.empty())
        QSKIP("no kernel could be had for any architecture; see the warnings");

    std::vector<Boot> done;
    std::vector<Boot> running;
    while (!waiting.empty() || !running.empty()) {
        while (running.size() < kAtOnce && !waiting.empty()) {
            Boot boot = std::move(waiting.front());
            waiting.pop_front();
            Start(boot);
            (boot.problem.empty() ? running : done).push_back(std::move(boot));
        }
        QTest::qWait(100);
        for (auto it = running.begin(); it != running.end();) {
            QFile serial(it->serial);
            const bool booted =
                serial.open(QIODevice::ReadOnly) && serial.readAll().contains(kBootMarker);
            if (booted)
                it->seconds = it->clock.elapsed() / 1000.0;
            else if (it->clock.elapsed() > kBootTimeoutMs)
                it->problem = "no marker on the console within the time";
            else {
                ++it;
                continue;
            }
            m_backend.Kill(it->name);
            done.push_back(std::move(*it));
            it = running.erase(it);
        }
    }

    std::string table = "\nboard          arch     device tree                     seconds\n";
    QStringList failures;
    QSet<QString> archs;
    for (const Boot& boot : done) {
        char line[160];
        std::snprintf(
            line, sizeof line, "%-14s %-8s %-31s %s\n", std::string(boot.board->name).c_str(),
            std::string(boot.board->arch).c_str(), boot.deviceTree.c_str(),
            boot.seconds < 0 ? "FAILED" : QByteArray::number(boot.seconds, 'f', 1).data());
        table += line;
        if (!boot.problem.empty())
            failures << QString::fromStdString(boot.name + ": " + boot.problem);
        else
            archs.insert(ArchOf(*boot.board));
    }
    std::printf("%s", table.c_str());
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join("\n")));
    if (!skipped.isEmpty())
        QSKIP(qPrintable("booted what could be had; no kernel for " + skipped.join(", ")));
    QVERIFY(done.size() >= 10 && archs.size() >= 3);
}

// Each architecture's stock kernel on the first board of every other one:
// started through the exports, a kernel that board can never run is refused
// before QEMU runs; one that a CPU of it runs (armhf on aarch64, i386 on
// x86_64, mipsel on mips64el) is not.
void TestBootMatrix::stockKernelOfAnotherProcessorIsRefused() {
    const QSet<QString> runs = {"arm>aarch64", "i386>x86_64", "mipsel>mips64el"};
    QStringList archs, wrong;
    for (const bx::BoardInfo& board : bx::KnownBoards())
        if (!archs.contains(ArchOf(board)) && AssetsProblem(ArchOf(board)).isEmpty())
            archs << ArchOf(board);
    if (archs.size() < 2)
        QSKIP("fewer than two architectures' kernels could be had; see boot-assets.sh");
    for (const QString& kernelArch : archs) {
        for (const QString& boardArch : archs) {
            if (kernelArch == boardArch)
                continue;
            const bx::BoardInfo* board = nullptr;
            for (const bx::BoardInfo& b : bx::KnownBoards())
                if (!board && ArchOf(b) == boardArch)
                    board = &b;
            const std::string target = bx::TargetText(board->name, board->arch);
            const std::string pair = (kernelArch + ">" + boardArch).toStdString();
            if (runs.contains(QString::fromStdString(pair))) {
                const std::string problem = bx::KernelImageProblem(Kernel(kernelArch).toStdString(),
                                                                   board->arch, board->name);
                if (!problem.empty())
                    wrong << QString::fromStdString(pair + ": " + problem);
                continue;
            }
            const std::string name =
                "wrong-kernel-" + kernelArch.toStdString() + "-on-" + boardArch.toStdString();
            const std::string refused = m_backend.SaveAndStart(GuestRecord(
                m_backend, name, target, 512, Kernel(kernelArch).toStdString(),
                Initrd(kernelArch).toStdString(), "panic=-1", m_dir.path().toStdString() + "/x"));
            if (refused.find("can never run it") == std::string::npos) {
                m_backend.Kill(name);
                wrong << QString::fromStdString(pair + ": " +
                                                (refused.empty() ? "started" : refused));
            }
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join("\n")));
}

// A new machine's default network: QEMU's user-mode network. The guest gets
// its address by DHCP and fetches a file from a server on the host's
// loopback through 10.0.2.2; what it got must be what was served.
void TestBootMatrix::userNetworkReachesTheHost() {
    if (const QString problem = AssetsProblem("arm"); !problem.isEmpty())
        QSKIP(qPrintable("no arm kernel: " + problem));
    PayloadServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QString initrd = m_dir.path() + "/network.cpio";
    {
        QFile file(initrd);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(NetworkInitramfs(m_assets + "/arm/busybox", m_assets + "/arm/modules"));
    }
    EmulatorOptions defaults = ZeroRecord();
    m_backend.Fn<PFN_SetEmulatorOptDefault>("SetEmulatorOptDefault")("arm", &defaults);
    const QString serial = m_dir.path() + "/network.serial.txt";
    EmulatorOptions record = GuestRecord(
        m_backend, "user-network", "virt (arm)", 256, Kernel("arm").toStdString(),
        initrd.toStdString(),
        "console=ttyAMA0 panic=-1 tarnwick.net=dhcp tarnwick.host=10.0.2.2 tarnwick.port=" +
            std::to_string(server.serverPort()),
        serial.toStdString());
    std::memcpy(record.general.tapAdapter, defaults.general.tapAdapter,
                sizeof record.general.tapAdapter);
    QCOMPARE(bx::ReadField(record.general.tapAdapter), std::string("(user-mode network)"));
    const std::string refused = m_backend.SaveAndStart(record);
    QVERIFY2(refused.empty(), refused.c_str());
    const QByteArray fetched = WaitForConsole(serial, "TARNWICK-NET-", kBootTimeoutMs);
    m_backend.Kill("user-network");
    QFile console(serial);
    QVERIFY(console.open(QIODevice::ReadOnly));
    QVERIFY2(fetched == server.Md5(), console.readAll().right(3000).constData());
}

QTEST_GUILESS_MAIN(TestBootMatrix)
#include "tst_bootmatrix.moc"
