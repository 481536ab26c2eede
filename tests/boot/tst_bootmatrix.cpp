// Every board the back end knows to boot Linux, booted with Debian's stock
// kernel of its architecture, the device tree the back end finds for it in
// the kernel package's trees, and a busybox initrd whose /init prints a
// marker. Each machine is stored and started through the back end's exports,
// as the manager does; its serial console goes into a file. Prints a table:
// board, architecture, device tree, seconds to the marker.
#include "Boards.h"
#include "Choices.h"
#include "Files.h"
#include "Initramfs.h"
#include "Launcher.h"
#include "Text.h"

#include "brevantix.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <deque>
#include <dlfcn.h>

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

} // namespace

class TestBootMatrix : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyKnownBoardBoots();

private:
    template <typename F> F Fn(const char* name) {
        return reinterpret_cast<F>(::dlsym(m_lib, name));
    }
    // Empty when the architecture's kernel is there, else why not.
    QString AssetsProblem(const QString& arch) const;
    void Start(Boot& boot);
    void Stop(const Boot& boot);

    QTemporaryDir m_dir;
    QString m_assets;
    void* m_lib = nullptr;
};

void TestBootMatrix::initTestCase() {
    m_assets = qEnvironmentVariable("TARNWICK_BOOT_ASSETS", QStringLiteral(TARNWICK_BOOT_ASSETS));
    QVERIFY(m_dir.isValid());
    qputenv("TARNWICK_STORE", (m_dir.path() + "/store").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (m_dir.path() + "/cache").toLocal8Bit());
    qputenv("XDG_STATE_HOME", (m_dir.path() + "/state").toLocal8Bit());
    m_lib = ::dlopen(BREVANTIX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(m_lib, ::dlerror());
}

void TestBootMatrix::cleanupTestCase() {
    if (m_lib)
        ::dlclose(m_lib);
}

QString TestBootMatrix::AssetsProblem(const QString& arch) const {
    const QDir dir(m_assets + "/" + arch);
    QFile why(dir.filePath("MISSING"));
    if (why.open(QIODevice::ReadOnly))
        return QString::fromUtf8(why.readAll().trimmed());
    if (dir.entryList({"vmlinuz-*"}).isEmpty() || !dir.exists("busybox"))
        return "scripts/boot-assets.sh " + m_assets + " has not run";
    return {};
}

void TestBootMatrix::Start(Boot& boot) {
    const QString arch = QString::fromUtf8(boot.board->arch.data(), boot.board->arch.size());
    const QDir assets(m_assets + "/" + arch);
    const QString initrd = m_dir.path() + "/" + arch + ".cpio";
    if (!QFile::exists(initrd)) {
        QFile file(initrd);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(MarkerInitramfs(assets.filePath("busybox"))) <= 0) {
            boot.problem = "cannot write the initrd";
            return;
        }
    }
    EmulatorOptions record;
    std::memset(&record, 0, sizeof record);
    bx::WriteField(record.general.name, boot.name);
    bx::WriteField(record.general.arch, boot.board->arch);
    const std::string target = bx::TargetText(boot.board->name, boot.board->arch);
    bx::WriteField(record.general.target, target);
    // The CPU the back end offers first, as the General page preselects it.
    auto cpus = Fn<PFN_GetEmulatorCPU>("GetEmulatorCPU");
    std::vector<char> cpuList(std::size_t(cpus(target.c_str(), nullptr, 0, BREVANTIX_SLOT_SIZE)) *
                              BREVANTIX_SLOT_SIZE);
    if (!cpuList.empty() && cpus(target.c_str(), cpuList.data(), 1, BREVANTIX_SLOT_SIZE) == 1)
        bx::WriteField(record.general.cpu, bx::ReadField(cpuList.data(), BREVANTIX_SLOT_SIZE));
    const std::vector<uint32_t>& sizes = boot.board->memorySizes;
    record.general.memSize = static_cast<int32_t>(sizes.empty() ? 512 : sizes.front());
    bx::WriteField(record.general.memType, "MB");
    bx::WriteField(record.os.osImage,
                   assets.filePath(assets.entryList({"vmlinuz-*"}).value(0)).toStdString());
    bx::WriteField(record.os.initrdImage, initrd.toStdString());
    bx::WriteField(record.os.cmdLine,
                   "console=" + bx::ConsoleDeviceFor(boot.board->arch, boot.board->name) +
                       " panic=-1");
    record.peri.serialEnable = 1;
    bx::WriteField(record.peri.serialType, "file");
    boot.serial = m_dir.path() + "/" + QString::fromStdString(boot.name) + ".serial.txt";
    bx::WriteField(record.peri.serialParam, boot.serial.toStdString());
    Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions")(&record);

    boot.clock.start();
    if (Fn<PFN_StartEmulator>("StartEmulator")(boot.name.c_str()) == 0) {
        auto info = Fn<PFN_GetStartEmulatorErrInfo>("GetStartEmulatorErrInfo");
        std::string text(info(boot.name.c_str(), nullptr, 0), '\0');
        info(boot.name.c_str(), text.data(), static_cast<uint32_t>(text.size()));
        boot.problem = "start refused: " + text;
        return;
    }
    // The command line is the log's first line.
    const std::string log =
        bx::ReadWholeFile(m_dir.path().toStdString() + "/store/" + boot.name + ".log").value_or("");
    const std::size_t at = log.substr(0, log.find('\n')).find(" -dtb ");
    if (at != std::string::npos) {
        const std::string path = log.substr(at + 6, log.find(' ', at + 6) - at - 6);
        boot.deviceTree =
            path.substr(path.find("/dtbs/") == std::string::npos ? 0 : path.find("/dtbs/") + 6);
    }
}

void TestBootMatrix::Stop(const Boot& boot) {
    const std::string pidFile = m_dir.path().toStdString() + "/store/" + boot.name + ".pid";
    for (int i = 0; i < 100; ++i) {
        const std::optional<int> pid = bx::RunningEmulator(pidFile);
        if (!pid)
            return;
        ::kill(*pid, SIGKILL);
        QTest::qWait(20);
    }
}

void TestBootMatrix::everyKnownBoardBoots() {
    std::deque<Boot> waiting;
    QStringList skipped;
    for (const bx::BoardInfo& board : bx::KnownBoards()) {
        const QString arch = QString::fromUtf8(board.arch.data(), board.arch.size());
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
            Stop(*it);
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
            archs.insert(QString::fromUtf8(boot.board->arch.data(), boot.board->arch.size()));
    }
    std::printf("%s", table.c_str());
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join("\n")));
    if (!skipped.isEmpty())
        QSKIP(qPrintable("booted what could be had; no kernel for " + skipped.join(", ")));
    QVERIFY(done.size() >= 10 && archs.size() >= 3);
}

QTEST_GUILESS_MAIN(TestBootMatrix)
#include "tst_bootmatrix.moc"
