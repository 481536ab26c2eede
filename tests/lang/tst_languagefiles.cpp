// The language file on disk: unusable files, bad contents, and replacement
// that leaves either the old or the new file whole.
#include "LangTestUtil.h"
#include "base/AtomicFile.h"
#include "lang/Ini.h"
#include "lang/LanguageManager.h"
#include "lang/Profile.h"

#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Start-up, the main window's heading lookups, shutdown.
std::map<std::string, std::string> RunOnce(const std::string& path,
                                           std::vector<std::string>* shown = nullptr) {
    CreateLanguageManager("English", path);
    const auto texts = static_cast<CLanguageIniManger*>(g_pLangManager)->Texts();
    std::string result;
    for (auto [key, text] : {std::pair{"VM_NAME", "Name"}, {"VM_CPU", "CPU"}}) {
        GetLangText(key, text, result);
        if (shown)
            shown->push_back(result);
    }
    delete g_pLangManager;
    g_pLangManager = nullptr;
    return texts;
}

// Both ends of a pipe, closed on every way out of a test: a child blocked on
// the read end then always sees its end.
struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (::pipe(fd) != 0)
            fd[0] = fd[1] = -1;
    }
    ~Pipe() { Close(); }
    void Close() {
        for (int& end : fd) {
            if (end >= 0)
                ::close(end);
            end = -1;
        }
    }
};

struct stat Stat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

} // namespace

class TestLanguageFiles : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void unusablePathsGiveDefaults_data();
    void unusablePathsGiveDefaults();
    void oversizedFileLeftAlone();
    void readOnlyFileNotReplaced();
    void unwritableDirectory();
    void binaryGarbageKeptAndSectionAppended();
    void tenMegabyteLine();
    void emptyPath();
    void unchangedWriteBackLeavesFileInPlace();
    void permissionBitsKept();
    void newFileFollowsUmask();
    void symbolicLinkFollowed();
    void interruptedReplacementKeepsOldFile_data();
    void interruptedReplacementKeepsOldFile();
    void interruptedCreationLeavesNothing();
    void simultaneousWriteBacksKeepEveryKey();
    void heldLockDelaysByPatienceOnly();

private:
    std::string Path() const { return PathIn(*m_dir, "English.lng"); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLanguageFiles::unusablePathsGiveDefaults_data() {
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"directory", "fifo", "missing directory", "parent is a file"})
        QTest::newRow(kind) << QString::fromUtf8(kind);
}

void TestLanguageFiles::unusablePathsGiveDefaults() {
    QFETCH(QString, kind);
    std::string path = Path();
    if (kind == "directory")
        QVERIFY(QDir().mkdir(QString::fromStdString(path)));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
    else if (kind == "missing directory")
        path = PathIn(*m_dir, "gone/English.lng");
    else
        WriteBytes(PathIn(*m_dir, "plain"), "x"), path = PathIn(*m_dir, "plain/English.lng");

    std::vector<std::string> shown;
    QVERIFY(RunOnce(path, &shown).empty());
    QCOMPARE(shown, (std::vector<std::string>{"Name", "CPU"}));

    if (kind == "directory")
        QVERIFY(S_ISDIR(Stat(path).st_mode));
    if (kind == "fifo")
        QVERIFY(S_ISFIFO(Stat(path).st_mode));
    if (kind == "missing directory")
        QVERIFY(!Exists(PathIn(*m_dir, "gone")));
    if (kind == "parent is a file")
        COMPARE_BYTES(ReadBytes(PathIn(*m_dir, "plain")), "x");
    const QStringList left = Leftovers(*m_dir, "English.lng");
    QVERIFY2(left.isEmpty() || left == QStringList{"plain"}, qPrintable(left.join(',')));
}

void TestLanguageFiles::oversizedFileLeftAlone() {
    // Sparse: a 40 MB file of NULs, far beyond any language file.
    const std::string head = "[English]\nVM_NAME=big\n";
    WriteBytes(Path(), head);
    QCOMPARE(::truncate(Path().c_str(), 40 << 20), 0);
    std::vector<std::string> shown;
    QVERIFY(RunOnce(Path(), &shown).empty());
    QCOMPARE(shown.front(), std::string("Name"));
    QCOMPARE(Stat(Path()).st_size, off_t{40 << 20});
    COMPARE_BYTES(ReadBytes(Path()).substr(0, head.size()), head);
}

void TestLanguageFiles::readOnlyFileNotReplaced() {
    const std::string file = "[English]\nVM_NAME=Nom\n";
    WriteBytes(Path(), file);
    QCOMPARE(::chmod(Path().c_str(), 0444), 0);
    std::vector<std::string> shown;
    RunOnce(Path(), &shown);
    QCOMPARE(shown.front(), std::string("Nom")); // read, but never written
    COMPARE_BYTES(ReadBytes(Path()), file);
    QCOMPARE(Stat(Path()).st_mode & 07777, mode_t(0444));
    QVERIFY(Leftovers(*m_dir, "English.lng").isEmpty());
}

void TestLanguageFiles::unwritableDirectory() {
    if (::geteuid() == 0)
        QSKIP("directory permissions do not bind root");
    const std::string file = "[English]\nVM_NAME=Nom\n";
    WriteBytes(Path(), file);
    QCOMPARE(::chmod(m_dir->path().toLocal8Bit().constData(), 0555), 0);
    RunOnce(Path());
    ::chmod(m_dir->path().toLocal8Bit().constData(), 0755);
    COMPARE_BYTES(ReadBytes(Path()), file);
    QVERIFY(Leftovers(*m_dir, "English.lng").isEmpty());
}

void TestLanguageFiles::binaryGarbageKeptAndSectionAppended() {
    std::mt19937 rng(99);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng());
    WriteBytes(Path(), garbage);
    std::vector<std::string> shown;
    RunOnce(Path(), &shown);
    QCOMPARE(shown, (std::vector<std::string>{"Name", "CPU"}));
    const std::string after = ReadBytes(Path());
    QVERIFY(after.size() > garbage.size());
    QVERIFY(after.compare(0, garbage.size(), garbage) == 0);
    CIni ini(Path());
    COMPARE_BYTES(ini.ReadValue("English", "VM_CPU"), "CPU");
}

void TestLanguageFiles::tenMegabyteLine() {
    const std::string big(10 << 20, 'z');
    const std::string file =
        "[English]\n" + big + "\nVM_NAME=" + big + "\nVM_CPU=Prozessor"; // no final newline
    WriteBytes(Path(), file);
    std::vector<std::string> shown;
    const auto texts = RunOnce(Path(), &shown);
    QVERIFY(shown.front() == big);
    QCOMPARE(shown.back(), std::string("Prozessor"));
    QCOMPARE(texts.size(), std::size_t(2));
    QVERIFY(ReadBytes(Path()) == file);
}

void TestLanguageFiles::emptyPath() {
    CIni ini("");
    std::vector<std::string> names{"x"};
    ini.ListKeys("English", names);
    QVERIFY(names.empty());
    QVERIFY(!ini.WriteValues("English", Entries{{"A", "1"}}));
    QVERIFY(RunOnce("").empty());
}

void TestLanguageFiles::unchangedWriteBackLeavesFileInPlace() {
    WriteBytes(Path(), "[English]\nVM_CPU=CPU\nVM_NAME=Name\n");
    const ino_t before = Stat(Path()).st_ino;
    RunOnce(Path());
    QCOMPARE(Stat(Path()).st_ino, before);
}

void TestLanguageFiles::permissionBitsKept() {
    WriteBytes(Path(), "[English]\n");
    QCOMPARE(::chmod(Path().c_str(), 0640), 0);
    RunOnce(Path());
    COMPARE_BYTES(ReadBytes(Path()), "[English]\nVM_CPU=CPU\nVM_NAME=Name\n");
    QCOMPARE(Stat(Path()).st_mode & 07777, mode_t(0640));
}

void TestLanguageFiles::newFileFollowsUmask() {
    const mode_t old = ::umask(027);
    RunOnce(Path());
    ::umask(old);
    QCOMPARE(Stat(Path()).st_mode & 07777, mode_t(0640));
}

void TestLanguageFiles::symbolicLinkFollowed() {
    QVERIFY(QDir(m_dir->path()).mkdir("real"));
    const std::string target = PathIn(*m_dir, "real/English.lng");
    WriteBytes(target, "[English]\n");
    QCOMPARE(::symlink("real/English.lng", Path().c_str()), 0);
    RunOnce(Path());
    QVERIFY(S_ISLNK(Stat(Path()).st_mode));
    COMPARE_BYTES(ReadBytes(target), "[English]\nVM_CPU=CPU\nVM_NAME=Name\n");
    QCOMPARE(QDir(m_dir->path() + "/real").entryList(QDir::Files | QDir::Hidden),
             QStringList{"English.lng"});
}

void TestLanguageFiles::interruptedReplacementKeepsOldFile_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<qlonglong>("atByte");
    const qlonglong size = 20'000 * 12; // about the new file's size
    for (qlonglong at : {qlonglong(0), qlonglong(1), size / 2, size - 1, size * 2})
        QTest::addRow("write, byte %lld", at) << int(base::ReplaceFault::Step::Write) << at;
    QTest::newRow("sync") << int(base::ReplaceFault::Step::Sync) << qlonglong(0);
    QTest::newRow("rename") << int(base::ReplaceFault::Step::Rename) << qlonglong(0);
}

void TestLanguageFiles::interruptedReplacementKeepsOldFile() {
    QFETCH(int, step);
    QFETCH(qlonglong, atByte);
    const std::string old = "; old\r\n[English]\r\nVM_CPU=old\r\n";
    WriteBytes(Path(), old);
    Entries entries;
    for (int i = 0; i < 20'000; ++i)
        entries.emplace_back("K" + std::to_string(i), "value");
    entries.emplace_back("VM_CPU", "new");

    CIni ini(Path());
    COMPARE_BYTES(ini.ReadValue("English", "VM_CPU"), "old");
    const base::ReplaceFault fault{static_cast<base::ReplaceFault::Step>(step),
                                   static_cast<std::size_t>(atByte)};
    QVERIFY(!ini.WriteValues("English", entries, &fault));
    COMPARE_BYTES(ReadBytes(Path()), old);
    QVERIFY(Leftovers(*m_dir, "English.lng").isEmpty());
    COMPARE_BYTES(ini.ReadValue("English", "VM_CPU"), "old");

    // The same writes without the fault go through.
    QVERIFY(ini.WriteValues("English", entries));
    COMPARE_BYTES(CIni(Path()).ReadValue("English", "VM_CPU"), "new");
    COMPARE_BYTES(ini.ReadValue("English", "K19999"), "value");
}

void TestLanguageFiles::interruptedCreationLeavesNothing() {
    CIni ini(Path());
    const base::ReplaceFault fault{base::ReplaceFault::Step::Write, 3};
    QVERIFY(!ini.WriteValues("English", Entries{{"A", "1"}}, &fault));
    QVERIFY(!Exists(Path()));
    QVERIFY(Leftovers(*m_dir, "English.lng").isEmpty());
}

void TestLanguageFiles::simultaneousWriteBacksKeepEveryKey() {
    constexpr int kKeys = 2000;
    for (int round = 0; round < 50; ++round) {
        WriteBytes(Path(), "[English]\nSHARED=file\n");
        Pipe ready, release;
        QVERIFY(ready.fd[0] >= 0 && release.fd[0] >= 0);
        pid_t children[2];
        for (int side = 0; side < 2; ++side) {
            children[side] = ::fork();
            QVERIFY(children[side] >= 0);
            if (children[side] != 0)
                continue;
            // An instance that ran and now ends: loaded, texts added, then
            // its shutdown write-back once both are released.
            ::close(release.fd[1]);
            auto* manager = new CLanguageIniManger(Path(), "English");
            for (int i = 0; i < kKeys; ++i)
                manager->SetText(std::string(1, char('A' + side)) + std::to_string(i), "v");
            manager->SetText("SHARED", side ? "second" : "first");
            char byte = 0;
            [[maybe_unused]] ssize_t n = ::write(ready.fd[1], &byte, 1);
            n = ::read(release.fd[0], &byte, 1);
            delete manager;
            ::_exit(0);
        }
        char bytes[2];
        for (ssize_t got = 0; got < 2;) {
            const ssize_t n = ::read(ready.fd[0], bytes + got, sizeof bytes - std::size_t(got));
            QVERIFY(n > 0);
            got += n;
        }
        release.Close(); // end of file for both at once
        for (const pid_t child : children) {
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        Entries entries;
        CIni(Path()).ReadSection("English", entries);
        QVERIFY2(entries.size() == 2 * kKeys + 1,
                 qPrintable(QString("round %1: %2 entries").arg(round).arg(entries.size())));
        const std::string shared = CIni(Path()).ReadValue("English", "SHARED");
        QVERIFY(shared == "first" || shared == "second");
        QVERIFY(Leftovers(*m_dir, "English.lng").isEmpty());
    }
}

void TestLanguageFiles::heldLockDelaysByPatienceOnly() {
    WriteBytes(Path(), "[English]\n");
    auto holder = std::make_unique<FileUpdateLock>(Path());
    QVERIFY(holder->Held());
    const FileUpdateLock waiter(Path(), std::chrono::milliseconds(30));
    QVERIFY(!waiter.Held());
    holder.reset();
    QVERIFY(FileUpdateLock(Path(), std::chrono::milliseconds(0)).Held());
    QVERIFY(Leftovers(*m_dir, "English.lng").isEmpty());
}

QTEST_GUILESS_MAIN(TestLanguageFiles)
#include "tst_languagefiles.moc"
