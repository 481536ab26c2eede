// Starting machines with the real qemu-system-arm. Every emulator a test
// starts is killed when the test ends.
#include "BackendTestUtil.h"
#include "Boards.h"
#include "Control.h"
#include "Files.h"
#include "Keeper.h"
#include "KernelImage.h"
#include "Launcher.h"
#include "RunRecord.h"
#include "RunningEmulators.h"
#include "Store.h"
#include "Text.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sched.h>
#include <set>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace bx;
using namespace bxtest;

namespace {
// A raw ARM image for the "virt" board: writes a marker to the PL011 at
// 0x09000000, then loops for ever.
QByteArray MarkerKernel(const QByteArray& marker) {
    QByteArray image;
    auto word = [&image](uint32_t w) {
        for (int i = 0; i < 4; ++i)
            image.append(char((w >> (8 * i)) & 0xFF));
    };
    word(0xe3001000); // movw r1, #0
    word(0xe3401900); // movt r1, #0x0900
    for (char c : marker) {
        word(0xe3a00000u | uint8_t(c)); // mov r0, #c
        word(0xe5810000);               // str r0, [r1]
    }
    word(0xeafffffe); // b .
    return image;
}

const QByteArray kMarker = "TARNWICK-BOOT-MARKER\n";

// The first KiB of a kernel image of `kind` as its build lays it out:
// "zImage", "Image" (arm64), "bzImage32", "bzImage64", "gzip", or
// "elf:<e_machine>:<class 32|64>:<byte order l|b>".
QByteArray KernelHeader(const QString& kind) {
    QByteArray h(1024, '\0');
    auto put = [&h](int at, quint32 value, int bytes, bool big = false) {
        for (int i = 0; i < bytes; ++i)
            h[at + (big ? bytes - 1 - i : i)] = char((value >> (8 * i)) & 0xFF);
    };
    if (kind == "zImage") {
        put(0x24, 0x016f2818, 4);
    } else if (kind == "Image") {
        h.replace(0x38, 4, "ARM\x64");
    } else if (kind.startsWith("bzImage")) {
        put(0x1fe, 0xaa55, 2);
        h.replace(0x202, 4, "HdrS");
        put(0x206, 0x020f, 2);
        put(0x236, kind == "bzImage64" ? 0x7f : 0x7e, 2); // xloadflags
    } else if (kind == "gzip") {
        h.replace(0, 4, "\x1f\x8b\x08\x00");
    } else if (const QStringList elf = kind.split(':'); elf.size() == 4) {
        const bool big = elf[3] == "b";
        h.replace(0, 4,
                  "\x7f"
                  "ELF");
        h[4] = elf[2] == "64" ? 2 : 1;
        h[5] = big ? 2 : 1;
        h[6] = 1;
        put(16, 2, 2, big); // ET_EXEC
        put(18, elf[1].toUInt(), 2, big);
    }
    return h;
}

// What a guest can write into the first clusters of its raw disk: a qcow2
// header (version 2, 64 KiB clusters, 1 MiB) whose backing file is a host
// file. Opened as qcow2, QEMU would open that file for the guest to read.
QByteArray QcowHeaderNaming(const QByteArray& backingFile) {
    QByteArray image(4 * 0x10000, '\0');
    auto put = [&image](int at, quint64 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            image[at + i] = char((value >> (8 * (bytes - 1 - i))) & 0xFF);
    };
    image.replace(0, 4, "QFI\xfb");
    put(4, 2, 4);                   // version
    put(8, 72, 8);                  // backing file name: right after the header
    put(16, backingFile.size(), 4); //
    put(20, 16, 4);                 // cluster bits
    put(24, 1 << 20, 8);            // virtual size
    put(36, 1, 4);                  // L1 entries
    put(40, 0x30000, 8);            // L1 table (empty)
    put(48, 0x10000, 8);            // refcount table
    put(56, 1, 4);                  // its clusters
    image.replace(72, backingFile.size(), backingFile);
    put(0x10000, 0x20000, 8); // refcount block
    for (int cluster = 0; cluster < 4; ++cluster)
        put(0x20000 + 2 * cluster, 1, 2);
    return image;
}

// The files an emulator has open.
QStringList OpenFiles(int pid) {
    const QString fdDir = QString("/proc/%1/fd").arg(pid);
    QStringList files;
    for (const QString& fd :
         QDir(fdDir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        files << QFileInfo(fdDir + "/" + fd).symLinkTarget();
    return files;
}

// Runs `body` as pid 1 of a pid namespace of its own, with its own /proc and
// /tmp, as the unprivileged `uid` (after `asRoot` has prepared /tmp): a wrong
// signal from there reaches nothing outside. Gives body's exit status, or
// why the namespace could not be had.
int InPrivatePids(uid_t uid, const std::function<void()>& asRoot, const std::function<int()>& body,
                  std::string& why) {
    const pid_t outer = ::fork();
    if (outer == 0) {
        if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0)
            ::_exit(100);
        const pid_t first = ::fork(); // pid 1 of the namespace
        if (first == 0) {
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0 ||
                ::mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") != 0)
                ::_exit(101);
            asRoot();
            if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 ||
                ::setresuid(uid, uid, uid) != 0)
                ::_exit(102);
            ::_exit(body());
        }
        int status = 0;
        ::waitpid(first, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 103);
    }
    int status = 0;
    ::waitpid(outer, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 104;
    if (code >= 100)
        why = "no private pid namespace (step " + std::to_string(code - 100) + ")";
    return code;
}

// A failed check inside the namespace: said on stderr, and the end of it.
#define NS_CHECK(condition)                                                                        \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "line %d: %s\n", __LINE__, #condition);                           \
            return 1;                                                                              \
        }                                                                                          \
    } while (0)

} // namespace

class TestBackendLaunch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void failuresBeforeQemuRuns_data();
    void failuresBeforeQemuRuns();
    void qemuOwnMessageOnEarlyExit();
    void bootsToSerialFileAndRefusesSecondStart();
    void serialOnPtyIsReported();
    void serialInLog();
    void serialInWindow();
    void twoProcessesStartAtOnce();
    void guestCannotChooseItsImageFormat_data();
    void guestCannotChooseItsImageFormat();
    void deviceTreeSearchOrder();
    void kernelOfAnotherProcessor_data();
    void kernelOfAnotherProcessor();
    void stateStopAndForceOff();
    void emulatorThatNeverAnswers();
    void controlActsOnlyOnItsOwnEmulator();
    void consoleTranscriptIsCapped();

private:
    std::string Write(const std::string& name, const QByteArray& data);
    EmulatorOptions MarkerMachine(const std::string& name);
    void Track(const std::string& machine);
    std::optional<int> Pid(const std::string& machine) const {
        return EmulatorPid(m_store->PathFor(machine, ".run"));
    }
    bool WaitForText(const std::string& path, const QByteArray& text, int ms);

    QTemporaryDir m_dir;
    std::string m_base;
    std::unique_ptr<MachineStore> m_store;
    std::set<std::string> m_runFiles;
    bool m_haveQemu = false;
};

void TestBackendLaunch::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_base = m_dir.path().toStdString();
    m_store = std::make_unique<MachineStore>(m_base + "/machines");
    QVERIFY(MakeDirectories(m_store->Directory()));
    Write("marker.bin", MarkerKernel(kMarker));
    Write("initrd.img", QByteArray(64, 'i'));
    m_haveQemu = !FindExecutable("qemu-system-arm", CurrentSearchPath()).empty();
}

void TestBackendLaunch::init() {
    static const QStringList kWithoutQemu = {"failuresBeforeQemuRuns", "deviceTreeSearchOrder",
                                             "emulatorThatNeverAnswers",
                                             "kernelOfAnotherProcessor"};
    if (!m_haveQemu && !kWithoutQemu.contains(QTest::currentTestFunction()))
        QSKIP("qemu-system-arm is not installed (Debian package qemu-system-arm)");
}

void TestBackendLaunch::cleanup() {
    for (const std::string& runFile : m_runFiles)
        EndEmulator(runFile);
    m_runFiles.clear();
}

std::string TestBackendLaunch::Write(const std::string& name, const QByteArray& data) {
    const std::string path = m_base + "/" + name;
    return WriteBytes(path, Bytes(data)) ? path : std::string();
}

EmulatorOptions TestBackendLaunch::MarkerMachine(const std::string& name) {
    EmulatorOptions r = NamedRecord(name);
    WriteField(r.general.target, "virt (arm)");
    WriteField(r.general.cpu, "cortex-a15");
    r.general.memSize = 256;
    WriteField(r.general.memType, "MB");
    WriteField(r.os.osImage, "marker.bin"); // relative to the program directory
    WriteField(r.os.initrdImage, "initrd.img");
    WriteField(r.os.cmdLine, "console=ttyAMA0 panic=-1");
    r.peri.serialEnable = 1;
    WriteField(r.peri.serialType, "pty");
    return r;
}

void TestBackendLaunch::Track(const std::string& machine) {
    m_runFiles.insert(m_store->PathFor(machine, ".run"));
}

bool TestBackendLaunch::WaitForText(const std::string& path, const QByteArray& text, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        if (QByteArray::fromStdString(ReadWholeFile(path).value_or("")).contains(text))
            return true;
        QTest::qWait(50);
    }
    return false;
}

void TestBackendLaunch::failuresBeforeQemuRuns_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    Row("not stored", "unstored", "is not stored");
    Row("no qemu on PATH", "nopath",
        "qemu-system-arm was not found; install the Debian package qemu-system-arm");
    Row("aarch64 maps to its package", "aarch64",
        "qemu-system-aarch64 was not found; install the Debian package "
        "qemu-system-arm");
    Row("missing kernel", "kernel", "The kernel image");
    Row("kernel is a directory", "kerneldir", "is not a file");
    Row("missing initrd", "initrd", "The initrd image");
    Row("missing disk image", "disk", "The disk image");
    Row("disk image without a recorded format", "undecided",
        "no-format.img has no recorded format; open the machine's settings and press OK");
    Row("no architecture", "target", "names no architecture");
    Row("bad serial", "serial", "serial port kind");
    Row("console window without a desktop", "window", "neither DISPLAY nor WAYLAND_DISPLAY");
    Row("board without its device tree", "nodtb",
        "The board vexpress-a9 needs a device tree (vexpress-v2p-ca9.dtb), and none was "
        "found in ");
    Row("device tree missing", "dtb:no-such.dtb", "no-such.dtb does not exist");
    Row("device tree is a directory", "dtb:.", "is not a file");
    Row("device tree is no device tree", "dtb:initrd.img",
        "initrd.img is not a flattened device tree");
    Row("device tree without a path", "dtb:", "needs the path of a device tree");
    Row("another board's console", "cmd:console=ttyS0,115200 panic=-1",
        "The board virt has its serial console on ttyAMA0, but the command line names "
        "console=ttyS0, a device it does not have");
    Row("no console with the port on", "cmd:panic=-1", "names no console=");
    Row("arm64 kernel on a 32-bit board", "arm64",
        "is a 64-bit ARM (arm64 Image) kernel by its header; the board virt (arm) can never "
        "run it. Choose a kernel built for arm, or a target of aarch64.");
}

void TestBackendLaunch::failuresBeforeQemuRuns() {
    QFETCH(QString, change);
    QFETCH(QString, message);
    const std::string name = "fail-" + change.toStdString();
    EmulatorOptions r = MarkerMachine(name);
    std::string searchPath = CurrentSearchPath();
    if (change == "nopath" || change == "aarch64") {
        searchPath = m_base + "/empty-bin";
        if (change == "aarch64")
            WriteField(r.general.target, "virt (aarch64)");
    } else if (change == "kernel") {
        WriteField(r.os.osImage, "no-such-zImage");
    } else if (change == "arm64") {
        WriteField(r.os.osImage, Write("Image-arm64", KernelHeader("Image")));
    } else if (change == "kerneldir") {
        WriteField(r.os.osImage, ".");
    } else if (change == "initrd") {
        WriteField(r.os.initrdImage, "/nonexistent/initrd");
    } else if (change == "disk") {
        WriteField(r.disk.hdFile, "no-such-disk.img");
    } else if (change == "undecided") {
        WriteField(r.disk.hdFile, Write("no-format.img", "raw"));
    } else if (change == "target") {
        WriteField(r.general.target, "virt");
    } else if (change == "serial") {
        WriteField(r.peri.serialType, "pipe");
    } else if (change == "window") {
        WriteField(r.peri.serialType, "window");
    } else if (change == "nodtb") {
        WriteField(r.general.target, "vexpress-a9 (arm)");
    } else if (change.startsWith("cmd:")) {
        WriteField(r.os.cmdLine, change.mid(4).toStdString());
    } else if (change.startsWith("dtb:")) {
        r.peri.periCount = 1;
        WriteField(r.peri.peris[0].device, "device-tree");
        WriteField(r.peri.peris[0].param, change.mid(4).toStdString());
    }
    const DesktopEnvironment noDesktop{QByteArray()};
    if (change != "unstored")
        QVERIFY(m_store->Save(r));
    if (change != "nopath" && change != "aarch64" && !m_haveQemu)
        QSKIP("qemu-system-arm is not installed (Debian package qemu-system-arm)");
    Track(name); // a start that should have been refused is ended
    const StartOutcome outcome = Launcher(*m_store, m_base, searchPath).Start(name);
    QVERIFY(!outcome.started);
    QVERIFY2(QString::fromStdString(outcome.message).contains(message), outcome.message.c_str());
}

void TestBackendLaunch::qemuOwnMessageOnEarlyExit() {
    // A kernel bigger than the machine's memory: QEMU refuses it at once.
    const std::string kernel = m_base + "/huge-kernel";
    {
        QFile file(QString::fromStdString(kernel));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(64 << 20)); // sparse
    }
    EmulatorOptions r = MarkerMachine("too big");
    WriteField(r.os.osImage, kernel);
    r.general.memSize = 16;
    QVERIFY(m_store->Save(r));
    Track("too big");
    QElapsedTimer timer;
    timer.start();
    const StartOutcome outcome = Launcher(*m_store, m_base, CurrentSearchPath()).Start("too big");
    QVERIFY(!outcome.started);
    QVERIFY2(QString::fromStdString(outcome.message).contains("qemu-system-arm stopped at once"),
             outcome.message.c_str());
    QVERIFY2(QString::fromStdString(outcome.message).contains("too large to fit in RAM"),
             outcome.message.c_str());
    QVERIFY(QString::fromStdString(outcome.message).contains("huge-kernel"));
    QVERIFY(timer.elapsed() < 1400); // an early exit is not waited out
    QVERIFY(!Pid("too big"));
}

void TestBackendLaunch::bootsToSerialFileAndRefusesSecondStart() {
    const std::string serial = m_base + "/serial out.txt";
    EmulatorOptions r = MarkerMachine("runner, one");
    WriteField(r.peri.serialType, "file");
    WriteField(r.peri.serialParam, serial);
    r.disk.sdSize = 100; // a new card: 128 MiB, the next power of two
    WriteField(r.disk.sdMemType, "MB");
    QVERIFY(m_store->Save(r));
    Track("runner, one");
    const Launcher launcher(*m_store, m_base, CurrentSearchPath());

    const StartOutcome first = launcher.Start("runner, one");
    QVERIFY2(first.started, first.message.c_str());
    QVERIFY(QString::fromStdString(first.message).contains("is running"));
    QVERIFY(QString::fromStdString(first.message).contains(QString::fromStdString(serial)));
    QVERIFY(WaitForText(serial, kMarker, 10000));
    const std::optional<int> pid = Pid("runner, one");
    QVERIFY(pid);
    // Detached: not our child, and in another session than ours.
    QVERIFY(::getsid(*pid) != ::getsid(0));
    const std::string status =
        ReadWholeFile("/proc/" + std::to_string(*pid) + "/status").value_or("");
    QVERIFY(status.find("\nPPid:\t" + std::to_string(::getpid()) + "\n") == std::string::npos);

    struct stat st {};
    const std::string image = m_store->PathFor("runner, one", ".sd.img");
    QCOMPARE(::stat(image.c_str(), &st), 0);
    QCOMPARE(qint64(st.st_size), qint64(128) << 20);
    QVERIFY(qint64(st.st_blocks) * 512 < (qint64(1) << 20)); // sparse

    const StartOutcome second = launcher.Start("runner, one");
    QVERIFY(!second.started);
    QVERIFY2(QString::fromStdString(second.message)
                 .contains("is already running (process " + QString::number(*pid) + ")"),
             second.message.c_str());
    // The first emulator is untouched by the refused start.
    QVERIFY(Pid("runner, one"));
    const std::string log = ReadWholeFile(m_store->PathFor("runner, one", ".log")).value_or("");
    QVERIFY(log.rfind("tarnwick: ", 0) == 0);

    // Once it has stopped, the machine starts again, on the image it has.
    cleanup();
    Track("runner, one");
    QVERIFY(launcher.Start("runner, one").started);
}

// On a pty nobody reads, and in the transcript kept beside the machine.
void TestBackendLaunch::serialOnPtyIsReported() {
    QVERIFY(m_store->Save(MarkerMachine("pty machine")));
    Track("pty machine");
    const StartOutcome outcome =
        Launcher(*m_store, m_base, CurrentSearchPath(), 10000, CONSOLE_LOGGER).Start("pty machine");
    QVERIFY2(outcome.started, outcome.message.c_str());
    const QString message = QString::fromStdString(outcome.message);
    QVERIFY2(message.contains("Serial console: /dev/pts/"), outcome.message.c_str());
    const std::string transcript = m_store->PathFor("pty machine", ".console.txt");
    QVERIFY2(message.contains(QString::fromStdString("Console transcript: " + transcript)),
             outcome.message.c_str());
    QVERIFY(WaitForText(transcript, kMarker, 10000));
    const std::string log = ReadWholeFile(m_store->PathFor("pty machine", ".log")).value_or("");
    QVERIFY(!SerialPtyFromLog(log).empty());
    QVERIFY(message.contains(QString::fromStdString(SerialPtyFromLog(log))));
}

void TestBackendLaunch::serialInLog() {
    EmulatorOptions r = MarkerMachine("logged");
    WriteField(r.peri.serialType, "log");
    QVERIFY(m_store->Save(r));
    Track("logged");
    // A descriptor of the host without close-on-exec, like a lock file.
    const std::string hostFile = Write("host-lock", "x");
    const int hostFd = ::open(hostFile.c_str(), O_RDONLY);
    QVERIFY(hostFd >= 0);
    const StartOutcome outcome = Launcher(*m_store, m_base, CurrentSearchPath()).Start("logged");
    ::close(hostFd);
    QVERIFY2(outcome.started, outcome.message.c_str());
    QVERIFY(WaitForText(m_store->PathFor("logged", ".log"), kMarker, 10000));

    // The emulator outlives the host: it holds none of the host's descriptors.
    const std::optional<int> pid = Pid("logged");
    QVERIFY(pid);
    const QStringList files = OpenFiles(*pid);
    QVERIFY(files.size() >= 3);
    QVERIFY(!files.contains(QString::fromStdString(hostFile)));
}

// The console in QEMU's own window, on a private X server.
void TestBackendLaunch::serialInWindow() {
    if (FindExecutable("Xvfb", CurrentSearchPath()).empty())
        QSKIP("Xvfb is not installed (Debian package xvfb)");
    QProcess xvfb;
    // -displayfd: the server picks a free display and names it on stdout.
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
    QVERIFY(xvfb.waitForStarted());
    QByteArray number;
    while (!number.endsWith('\n') && xvfb.waitForReadyRead(10000))
        number += xvfb.readAllStandardOutput();
    QVERIFY2(!number.trimmed().isEmpty(), "Xvfb named no display");
    const DesktopEnvironment desktop(":" + number.trimmed());

    EmulatorOptions r = MarkerMachine("windowed");
    WriteField(r.peri.serialType, "window");
    QVERIFY(m_store->Save(r));
    Track("windowed");
    const StartOutcome outcome = Launcher(*m_store, m_base, CurrentSearchPath()).Start("windowed");
    QVERIFY2(outcome.started, outcome.message.c_str());
    QVERIFY2(QString::fromStdString(outcome.message).contains("in the emulator's window"),
             outcome.message.c_str());
    QVERIFY(Pid("windowed"));
    cleanup();
    xvfb.kill();
    xvfb.waitForFinished();
}

// Two managers (or two clicks) starting one machine at the same moment: one
// emulator runs, the other start is refused.
void TestBackendLaunch::twoProcessesStartAtOnce() {
    QVERIFY(m_store->Save(MarkerMachine("raced")));
    Track("raced");
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const bool started =
                Launcher(*m_store, m_base, CurrentSearchPath()).Start("raced").started;
            ::_exit(started ? 0 : 1);
        }
    }
    int started = 0;
    for (pid_t child : children) {
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        started += WEXITSTATUS(status) == 0;
    }
    QCOMPARE(started, 1);
    QVERIFY(Pid("raced"));
}

// A guest writes a qcow2 header naming a host file into the raw card it was
// given; whichever way a machine reaches that card later, it gets it as raw,
// so QEMU never opens the named file.
void TestBackendLaunch::guestCannotChooseItsImageFormat_data() {
    QTest::addColumn<QString>("way");
    Row("its own record", "own");
    Row("its record as an older version wrote it", "older");
    Row("a new machine, after the delete of the guest's", "deleted");
    Row("another machine, through a symbolic link", "link");
    Row("its own record, after 40 other images", "many");
}

void TestBackendLaunch::guestCannotChooseItsImageFormat() {
    QFETCH(QString, way);
    const std::string row = way.toStdString();
    const std::string secret = Write("host-secret", "not for the guest");
    const MachineKeeper keeper(*m_store, m_base);
    const Launcher launcher(*m_store, m_base, CurrentSearchPath());

    // The card is created raw at the first start: a named one, or for the
    // older record the default card, which only the back end creates.
    const std::string machine = "guest-" + row;
    EmulatorOptions r = MarkerMachine(machine);
    r.disk.sdSize = 1;
    WriteField(r.disk.sdMemType, "MB");
    const std::string card =
        row == "older" ? m_store->PathFor(machine, ".sd.img") : m_base + "/card-" + row + ".img";
    if (row != "older")
        WriteField(r.disk.sdFile, card);
    QVERIFY(keeper.Save(r, std::nullopt));
    Track(machine);
    QVERIFY(launcher.Start(machine).started);
    cleanup();
    {
        QFile image(QString::fromStdString(card));
        QVERIFY(image.open(QIODevice::ReadWrite));
        image.write(QcowHeaderNaming(QByteArray::fromStdString(secret)));
    }

    std::string starter = machine;
    if (row == "older") {
        QVERIFY(m_store->Save(r)); // no formats recorded
    } else if (row == "many") {
        for (int i = 0; i < 40; ++i) {
            WriteField(r.disk.sdFile, Write("other-" + std::to_string(i) + ".img", "raw"));
            QVERIFY(keeper.Save(r, std::nullopt));
        }
        WriteField(r.disk.sdFile, card);
        QVERIFY(keeper.Save(r, std::nullopt));
    } else if (row != "own") {
        std::string named = card;
        if (row == "deleted")
            m_store->Remove(machine);
        if (row == "link") {
            named = m_base + "/link-to-card";
            QCOMPARE(::symlink(card.c_str(), named.c_str()), 0);
        }
        starter = "later-" + row;
        EmulatorOptions later = MarkerMachine(starter);
        WriteField(later.disk.sdFile, named);
        QVERIFY(keeper.Save(later, std::nullopt));
    }
    Track(starter);
    const StartOutcome again = launcher.Start(starter);
    QVERIFY2(again.started, again.message.c_str());
    const std::optional<int> pid = Pid(starter);
    QVERIFY(pid);
    QTest::qWait(300); // past the opening of every image
    const QStringList files = OpenFiles(*pid);
    QVERIFY2(files.contains(QString::fromStdString(card)), qPrintable(files.join(' ')));
    QVERIFY2(!files.contains(QString::fromStdString(secret)), qPrintable(files.join(' ')));
    const std::string log = ReadWholeFile(m_store->PathFor(starter, ".log")).value_or("");
    QVERIFY2(log.find("format=raw") != std::string::npos, log.c_str());
    QVERIFY2(log.find("format=qcow2") == std::string::npos, log.c_str());
}

// Beside the kernel first, then its dtbs folder and the vendor folders below.
void TestBackendLaunch::deviceTreeSearchOrder() {
    const std::string kernel = m_base + "/kernels/vmlinuz-6.1.0-99-armmp";
    QCOMPARE(KernelRelease(kernel), std::string("6.1.0-99-armmp"));
    QCOMPARE(KernelRelease(m_base + "/zImage"), std::string());
    const std::vector<std::string> places = DeviceTreePlaces(kernel);
    QCOMPARE(places.front(), m_base + "/kernels");
    QVERIFY(std::find(places.begin(), places.end(), "/usr/lib/linux-image-6.1.0-99-armmp") !=
            places.end());
    QVERIFY(MakeDirectories(m_base + "/kernels/dtbs/arm"));
    const BoardInfo* board = FindBoard("arm", "vexpress-a9");
    QVERIFY(board);
    QCOMPARE(FindDeviceTree(*board, places), std::string());
    const std::string vendor = m_base + "/kernels/dtbs/arm/vexpress-v2p-ca9.dtb";
    const std::string beside = m_base + "/kernels/vexpress-v2p-ca9.dtb";
    for (const std::string& path : {vendor, beside})
        QVERIFY(WriteBytes(path, "\xd0\x0d\xfe\xed"));
    QCOMPARE(FindDeviceTree(*board, places), beside);
    QCOMPARE(DeviceTreeProblem(beside), std::string());
    QFile::remove(QString::fromStdString(beside));
    QCOMPARE(FindDeviceTree(*board, places), vendor);
}

// A running machine through its control socket: state, a power-off request
// (the marker kernel ignores it), force off; an edit and a rename while it
// runs keep it under control.
// Refused are only kernels that no CPU of the emulator can run; what some
// CPU of it runs, and what the header does not tell, is let through.
void TestBackendLaunch::kernelOfAnotherProcessor_data() {
    Columns<QString, QString, QString>("kind", "arch", "refusal");
    Row("armhf zImage on aarch64", "zImage", "aarch64", "");
    Row("armhf zImage on x86_64", "zImage", "x86_64", "32-bit ARM (zImage)");
    Row("arm64 Image on aarch64", "Image", "aarch64", "");
    Row("amd64 bzImage on i386", "bzImage64", "i386", "64-bit x86 (bzImage)");
    Row("i386 bzImage on x86_64", "bzImage32", "x86_64", "");
    Row("mips64el ELF on mipsel", "elf:8:64:l", "mipsel", "64-bit little-endian MIPS (ELF)");
    Row("big-endian MIPS ELF on mipsel", "elf:8:32:b", "mipsel", "32-bit big-endian MIPS (ELF)");
    Row("mipsel ELF on mips64el", "elf:8:32:l", "mips64el", "");
    Row("ppc64el ELF on ppc64", "elf:21:64:l", "ppc64", "");
    Row("ppc64el ELF on ppc", "elf:21:64:l", "ppc", "64-bit little-endian PowerPC (ELF)");
    Row("aarch64 ELF on arm", "elf:183:64:l", "arm", "64-bit ARM (ELF)");
    Row("compressed image", "gzip", "arm", "");
    Row("unknown ELF machine", "elf:2:32:b", "arm", "");
}

void TestBackendLaunch::kernelOfAnotherProcessor() {
    const auto [kind, arch, refusal] = Fetch<QString, QString, QString>("kind", "arch", "refusal");
    const std::string kernel = Write("kernel-" + kind.toStdString(), KernelHeader(kind));
    const QString problem =
        QString::fromStdString(KernelImageProblem(kernel, arch.toStdString(), "board"));
    if (refusal.isEmpty())
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    else
        QVERIFY2(problem.contains("is a " + refusal + " kernel") &&
                     problem.contains("board (" + arch + ")"),
                 qPrintable(problem));
}

void TestBackendLaunch::stateStopAndForceOff() {
    QVERIFY(m_store->Save(MarkerMachine("controlled")));
    Track("controlled");
    const EmulatorControl control(*m_store, m_base);
    QCOMPARE(control.State("controlled"), BREVANTIX_STATE_STOPPED);
    QVERIFY(!control.Stop("controlled", true));
    QVERIFY(QString::fromStdString(control.Info("controlled")).contains("is not running"));

    QVERIFY(Launcher(*m_store, m_base, CurrentSearchPath()).Start("controlled").started);
    QCOMPARE(control.State("controlled"), BREVANTIX_STATE_RUNNING);
    const QString info = QString::fromStdString(control.Info("controlled"));
    QVERIFY2(info.contains("is running (process ") && info.contains("Serial console: /dev/pts/"),
             qPrintable(info));
    QVERIFY(!info.contains("next start"));
    QVERIFY(control.Stop("controlled", false)); // delivered
    QCOMPARE(control.State("controlled"), BREVANTIX_STATE_RUNNING);

    // An edit that renames it while it runs.
    QTest::qWait(20); // a later modification time than QEMU's pid file
    m_store->Remove("controlled");
    EmulatorOptions renamed = MarkerMachine("renamed while running");
    QVERIFY(MachineKeeper(*m_store, m_base).Save(renamed, std::string("controlled")));
    Track("renamed while running");
    QCOMPARE(control.State("renamed while running"), BREVANTIX_STATE_RUNNING);
    QVERIFY(QString::fromStdString(control.Info("renamed while running"))
                .contains("Changes saved since it started take effect at its next start."));

    // A new machine under the name it gave up starts beside it and takes
    // nothing of it: each is reached, stopped and ended on its own.
    QVERIFY(m_store->Save(MarkerMachine("controlled")));
    Track("controlled");
    const std::string renamedLog = m_store->PathFor("renamed while running", ".log");
    const std::string logBefore = ReadWholeFile(renamedLog).value_or("");
    QVERIFY(Launcher(*m_store, m_base, CurrentSearchPath()).Start("controlled").started);
    QVERIFY(Pid("controlled") && Pid("renamed while running") &&
            *Pid("controlled") != *Pid("renamed while running"));
    QCOMPARE(ReadWholeFile(renamedLog).value_or(""), logBefore);
    QVERIFY(control.Stop("controlled", true));
    QCOMPARE(control.State("renamed while running"), BREVANTIX_STATE_RUNNING);

    QVERIFY(control.Stop("renamed while running", true));
    // Gone when the call returns.
    QVERIFY(!Pid("renamed while running"));
    QCOMPARE(control.State("renamed while running"), BREVANTIX_STATE_STOPPED);
    QVERIFY(!control.Stop("renamed while running", false));
}

// An emulator that neither answers on its control socket nor ends: the
// start fails after its bound, and the process is ended.
void TestBackendLaunch::emulatorThatNeverAnswers() {
    const std::string bin = m_base + "/silent-bin";
    QVERIFY(MakeDirectories(bin));
    const std::string fake = bin + "/qemu-system-arm";
    // The stand-in names its own process, so the check below looks at it alone.
    const std::string pidFile = m_base + "/silent.pid";
    QVERIFY(WriteBytes(fake, "#!/bin/sh\necho $$ > '" + pidFile + "'\nexec sleep 30\n"));
    QVERIFY(::chmod(fake.c_str(), 0755) == 0);
    QVERIFY(m_store->Save(MarkerMachine("silent")));
    QElapsedTimer timer;
    timer.start();
    const StartOutcome outcome = Launcher(*m_store, m_base, bin, 500).Start("silent");
    QVERIFY(!outcome.started);
    QVERIFY2(
        QString::fromStdString(outcome.message).contains("did not answer on its control socket"),
        outcome.message.c_str());
    // The sleep that stood in for QEMU is gone (or a zombie awaiting its reaper).
    const std::string pid = Trim(ReadWholeFile(pidFile).value_or(""));
    QVERIFY(!pid.empty());
    QTRY_VERIFY_WITH_TIMEOUT(ReadWholeFile("/proc/" + pid + "/stat").value_or(") Z").find(") Z") !=
                                 std::string::npos,
                             2000);
    QVERIFY(timer.elapsed() < 5000);
}

// A guest that prints for ever fills its transcript up to the limit, which
// then starts over: never more.
void TestBackendLaunch::consoleTranscriptIsCapped() {
    int pipe[2];
    QCOMPARE(::pipe2(pipe, O_CLOEXEC), 0);
    const std::string transcript = m_base + "/capped.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[0], 4);
    std::string program = CONSOLE_LOGGER, limit = "4096";
    char* args[] = {program.data(), const_cast<char*>(transcript.c_str()), limit.data(), nullptr};
    pid_t reader = -1;
    QCOMPARE(::posix_spawn(&reader, args[0], &actions, nullptr, args, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[0]);
    const std::string line(1000, 'x');
    for (int i = 0; i < 20; ++i)
        QVERIFY(::write(pipe[1], line.data(), line.size()) == ssize_t(line.size()));
    QVERIFY(::write(pipe[1], "END", 3) == 3);
    ::close(pipe[1]);
    int status = 0;
    QCOMPARE(::waitpid(reader, &status, 0), reader);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string kept = ReadWholeFile(transcript).value_or("");
    QVERIFY2(kept.size() <= 4096, std::to_string(kept.size()).c_str());
    QVERIFY(kept.find("starts over") != std::string::npos);
    QVERIFY(kept.ends_with("END"));
}

// As an unprivileged user whose usual runtime directory another user holds:
// the start still gets a private one of its own; run records that name any
// process but the emulator started (pid -1, 0, 1, a process with the very
// start time recorded) make Stop and Force off act on nothing; the back end's
// own files are refused as disks.
void TestBackendLaunch::controlActsOnlyOnItsOwnEmulator() {
    if (::geteuid() != 0)
        QSKIP("needs root to make a pid namespace and act as another user");
    constexpr uid_t kUser = 65534;
    const std::string work = "/tmp/work";
    const std::string taken = "/tmp/tarnwick-" + std::to_string(kUser);
    const QByteArray kernel = MarkerKernel(kMarker);
    auto prepare = [&] {
        ::mkdir(taken.c_str(), 0755); // root's, though named for the user
        ::mkdir(work.c_str(), 0700);
        if (::chown(work.c_str(), kUser, kUser) != 0)
            ::_exit(105);
    };
    auto body = [&]() -> int {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::setenv("XDG_STATE_HOME", (work + "/state").c_str(), 1);
        NS_CHECK(WriteBytes(work + "/marker.bin", Bytes(kernel)));
        NS_CHECK(WriteBytes(work + "/initrd.img", std::string(64, 'i')));
        const MachineStore store(work + "/machines");
        NS_CHECK(MakeDirectories(store.Directory()));
        const Launcher launcher(store, work, CurrentSearchPath());
        const EmulatorControl control(store, work);

        NS_CHECK(store.Save(MarkerMachine("first")));
        const StartOutcome first = launcher.Start("first");
        if (!first.started)
            std::fprintf(stderr, "%s\n", first.message.c_str());
        NS_CHECK(first.started);
        const std::optional<RunPaths> own = RecordedPaths(store.PathFor("first", ".run"));
        NS_CHECK(own && own->socket.rfind(taken + ".", 0) == 0);
        NS_CHECK(control.State("first") == BREVANTIX_STATE_RUNNING);

        const pid_t victim = ::fork();
        if (victim == 0) {
            ::execl("/bin/sleep", "sleep", "30", nullptr);
            ::_exit(1);
        }
        std::string error;
        const std::optional<RunPaths> forged = NewRunPaths(error);
        NS_CHECK(forged && WriteRunRecord(*forged, victim)); // its true start time
        const std::string victimRecord = ReadWholeFile(forged->record).value_or("");
        NS_CHECK(store.Save(MarkerMachine("forged")));
        for (const std::string& record :
             {victimRecord, std::string("-1 1\n"), std::string("0 1\n"), std::string("1 1\n")}) {
            NS_CHECK(WriteBytes(forged->record, record));
            NS_CHECK(WriteBytes(store.PathFor("forged", ".run"), forged->record + "\n"));
            NS_CHECK(control.State("forged") == BREVANTIX_STATE_STOPPED);
            NS_CHECK(!control.Stop("forged", true));
            NS_CHECK(::waitpid(victim, nullptr, WNOHANG) == 0); // still running
        }
        NS_CHECK(control.State("first") == BREVANTIX_STATE_RUNNING);

        // A slip on the Disk page: another machine's run file, or log, as a card.
        const std::string runFile = store.PathFor("first", ".run");
        const std::string before = ReadWholeFile(runFile).value_or("");
        for (const char* suffix : {".run", ".log"}) {
            EmulatorOptions slip = MarkerMachine("slip");
            WriteField(slip.disk.sdFile, store.PathFor("first", suffix));
            NS_CHECK(store.Save(slip));
            const StartOutcome refused = launcher.Start("slip");
            NS_CHECK(!refused.started &&
                     refused.message.find("keeps its machines' own files") != std::string::npos);
        }
        NS_CHECK(ReadWholeFile(runFile).value_or("") == before);

        NS_CHECK(control.Stop("first", true));
        NS_CHECK(control.State("first") == BREVANTIX_STATE_STOPPED);
        NS_CHECK(!PathExists(ParentDirectory(own->socket))); // its own directory went with it
        ::kill(victim, SIGKILL);
        return 0;
    };
    std::string why;
    const int status = InPrivatePids(kUser, prepare, body, why);
    if (!why.empty())
        QSKIP(why.c_str());
    QCOMPARE(status, 0);
}

QTEST_GUILESS_MAIN(TestBackendLaunch)
#include "tst_backend_launch.moc"
