// The built Brevantix.dll through its seventeen exports, loaded as the
// manager loads it.
#include "BackendTestUtil.h"
#include "ExportedBackend.h"

#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bxtest;

class TestBackendExports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void exportsAllSeventeen();
    void storeThroughTheListProtocol();
    void nullArgumentsAreHarmless();
    void startErrorTextProtocol();
    void choicesLists();
    void editsKeepTheMachinesFiles();
    void failedSaveKeepsTheMachine();
    void deleteOfNothingHandsNothingOver();
    void keptFilesAreNeverOverwritten();
    void damagedFileIsLogged();
    void loadAfterListingSeesEveryChange();
    void logRefusesLinksAndIsCapped();

private:
    template <typename F> F Fn(const char* name) { return m_backend.Fn<F>(name); }
    std::vector<std::string> Names() {
        return m_backend.List<PFN_EnumAllEmulator>("EnumAllEmulator", nullptr);
    }
    bool Listed(const std::string& name) {
        const std::vector<std::string> names = Names();
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    // The manager's edit: delete, then save the record (perhaps renamed).
    void Edit(const std::string& name, const EmulatorOptions& record) {
        Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")(name.c_str(), "arm");
        Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions")(&record);
    }
    std::string Stored(const std::string& file) const { return m_backend.StoreFile(file); }
    std::string BackendLog() const { return ToStd(m_dir.path()) + "/state/tarnwick/backend.log"; }

    QTemporaryDir m_dir;
    ExportedBackend m_backend;
};

void TestBackendExports::initTestCase() {
    QVERIFY2(m_backend.Load(m_dir.path()), ::dlerror());
}

void TestBackendExports::exportsAllSeventeen() {
    for (const char* name :
         {"EnumAllEmulator", "GetEmulatorOptions", "SetEmulatorOptDefault", "SaveEmulatorOptions",
          "DelEmulatorOptions", "StartEmulator", "GetStartEmulatorErrInfo", "GetArch",
          "GetEmulatorTarget", "GetEmulatorCPU", "GetMemType", "RefreshTapNetWork",
          "InstallTapNetWork", "ReNameTapNetWork", "GetTapDrvVer", "GetSerialType", "GetPeriType"})
        QVERIFY2(Fn<void*>(name), name);
    // The optional ones; a machine that does not run is stopped and says so.
    QCOMPARE(Fn<PFN_GetEmulatorState>("GetEmulatorState")("not stored"), BREVANTIX_STATE_STOPPED);
    QCOMPARE(Fn<PFN_StopEmulator>("StopEmulator")("not stored", 1), 0);
    auto info = Fn<PFN_GetEmulatorInfo>("GetEmulatorInfo");
    QVERIFY(info && info("not stored", nullptr, 0) > 0);
    // Nothing of the inside shows.
    QVERIFY(!Fn<void*>("_ZN4base7CutUtf8ESt17basic_string_viewIcSt11char_traitsIcEEm"));
}

void TestBackendExports::storeThroughTheListProtocol() {
    auto defaults = Fn<PFN_SetEmulatorOptDefault>("SetEmulatorOptDefault");
    auto save = Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions");
    auto get = Fn<PFN_GetEmulatorOptions>("GetEmulatorOptions");
    auto del = Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions");
    auto enumAll = Fn<PFN_EnumAllEmulator>("EnumAllEmulator");
    QVERIFY(Names().empty());

    EmulatorOptions record = ZeroRecord();
    defaults(nullptr, &record);
    QVERIFY(record.general.target[0] != '\0');
    save(&record); // no name: not stored
    QVERIFY(Names().empty());

    for (const char* name : {"zeta", "alpha", "../x"}) {
        bx::WriteField(record.general.name, name);
        save(&record);
    }
    QCOMPARE(Names(), (std::vector<std::string>{"../x", "alpha", "zeta"}));
    EmulatorOptions back = ZeroRecord();
    QCOMPARE(get("alpha", &back), 1);
    bx::WriteField(record.general.name, "alpha");
    QVERIFY(SameRecord(back, record));
    QCOMPARE(get("missing", &back), 0);

    // A capacity below the count: only that many are written.
    std::vector<char> two(2 * BREVANTIX_SLOT_SIZE);
    QCOMPARE(enumAll(nullptr, two.data(), 2, BREVANTIX_SLOT_SIZE), 2u);

    del("alpha", "arm");
    QCOMPARE(Names(), (std::vector<std::string>{"../x", "zeta"}));
}

void TestBackendExports::nullArgumentsAreHarmless() {
    Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions")(nullptr);
    Fn<PFN_SetEmulatorOptDefault>("SetEmulatorOptDefault")(nullptr, nullptr);
    Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")(nullptr, nullptr);
    QCOMPARE(Fn<PFN_GetEmulatorOptions>("GetEmulatorOptions")(nullptr, nullptr), 0);
    QCOMPARE(Fn<PFN_StartEmulator>("StartEmulator")(nullptr), 0);
    Fn<PFN_GetArch>("GetArch")(nullptr, nullptr, 32);
    Fn<PFN_ReNameTapNetWork>("ReNameTapNetWork")(nullptr, nullptr);
    QCOMPARE(Fn<PFN_GetEmulatorCPU>("GetEmulatorCPU")(nullptr, nullptr, 0, 260), 0u);
    QCOMPARE(Fn<PFN_GetStartEmulatorErrInfo>("GetStartEmulatorErrInfo")(nullptr, nullptr, 0), 0u);
    char arch[4] = {'x', 'x', 'x', 'x'};
    Fn<PFN_GetArch>("GetArch")("virt (aarch64)", arch, sizeof arch); // cut, never past
    QCOMPARE(std::string(arch), std::string("aar"));
}

void TestBackendExports::startErrorTextProtocol() {
    auto start = Fn<PFN_StartEmulator>("StartEmulator");
    auto info = Fn<PFN_GetStartEmulatorErrInfo>("GetStartEmulatorErrInfo");
    QCOMPARE(info("never started", nullptr, 0), 0u);
    QCOMPARE(start("not stored at all"), 0);
    const uint32_t n = info("not stored at all", nullptr, 0);
    QVERIFY(n > 0);
    std::vector<char> buffer(n + 1, '\x7f');
    buffer[n] = '\0';
    QCOMPARE(info("not stored at all", buffer.data(), n), n);
    const std::string text(buffer.data());
    QCOMPARE(text.size(), std::size_t(n));
    QVERIFY2(text.find("is not stored") != std::string::npos, text.c_str());
}

// Default images, log and serial file are named after the machine: they
// follow it through a rename, and stay with a deleted machine.
void TestBackendExports::editsKeepTheMachinesFiles() {
    auto save = Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions");
    auto defaults = Fn<PFN_SetEmulatorOptDefault>("SetEmulatorOptDefault");
    EmulatorOptions record = NamedRecord("old name");
    record.disk.sdSize = 1;
    save(&record);
    // As a start leaves them.
    QVERIFY(WriteBytes(Stored("old%20name.sd.img"), "old card"));
    QVERIFY(WriteBytes(Stored("old%20name.log"), "old log"));

    bx::WriteField(record.general.name, "new name");
    Edit("old name", record);
    QVERIFY(Listed("new name") && !Listed("old name"));
    COMPARE_BYTES(ReadBytes(Stored("new%20name.sd.img")), "old card");
    COMPARE_BYTES(ReadBytes(Stored("new%20name.log")), "old log");
    QVERIFY(!Exists(Stored("old%20name.sd.img")));

    // A cancelled edit keeps them too.
    Edit("new name", record);
    COMPARE_BYTES(ReadBytes(Stored("new%20name.sd.img")), "old card");

    // Deleted, then a new machine of the same name: it starts afresh, and
    // the deleted machine's card is kept aside, not handed over.
    Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")("new name", "arm");
    EmulatorOptions fresh = ZeroRecord();
    defaults(nullptr, &fresh);
    bx::WriteField(fresh.general.name, "new name");
    fresh.disk.sdSize = 1;
    save(&fresh);
    QVERIFY(!Exists(Stored("new%20name.sd.img")));
    COMPARE_BYTES(ReadBytes(Stored("deleted/new%20name.sd.img")), "old card");
    // ... and its edit does not bring the old card back either.
    QVERIFY(WriteBytes(Stored("new%20name.sd.img"), "fresh card"));
    Edit("new name", fresh);
    COMPARE_BYTES(ReadBytes(Stored("new%20name.sd.img")), "fresh card");
    COMPARE_BYTES(ReadBytes(Stored("deleted/new%20name.sd.img.1")), "old card");

    // Files an older version left without their machine are not picked up.
    QVERIFY(WriteBytes(Stored("leftover.hd.img"), "someone's disk"));
    defaults(nullptr, &fresh);
    bx::WriteField(fresh.general.name, "leftover");
    save(&fresh);
    QVERIFY(!Exists(Stored("leftover.hd.img")));
    COMPARE_BYTES(ReadBytes(Stored("deleted/leftover.hd.img")), "someone's disk");
}

// A save that fails (here: a file size limit, as on a full disk) leaves the
// machine the edit deleted as it was, renamed or not.
void TestBackendExports::failedSaveKeepsTheMachine() {
    EmulatorOptions record = NamedRecord("kept");
    bx::WriteField(record.os.cmdLine, "console=ttyAMA0");
    Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions")(&record);
    const std::string before = ReadBytes(Stored("kept.vm"));
    QVERIFY(!before.empty());
    for (const char* newName : {"kept", "renamed"}) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit small{1024, 1024}; // below the edited file, above a log line
            ::setrlimit(RLIMIT_FSIZE, &small);
            EmulatorOptions edited = record;
            bx::WriteField(edited.general.name, newName);
            bx::WriteField(edited.os.cmdLine, std::string(2000, 'x'));
            Edit("kept", edited);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(Listed("kept") && !Listed("renamed"));
        COMPARE_BYTES(ReadBytes(Stored("kept.vm")), before);
        QVERIFY(Bytes(ReadBytes(BackendLog())).contains("was not saved: cannot write"));
    }
    Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")("kept", "arm");
}

// A delete that finds no machine is no edit: the save after it takes over
// nothing that an earlier delete of that name left in deleted/.
void TestBackendExports::deleteOfNothingHandsNothingOver() {
    auto save = Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions");
    auto del = Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions");
    EmulatorOptions gone = NamedRecord("gone");
    gone.disk.sdSize = 1;
    save(&gone);
    QVERIFY(WriteBytes(Stored("gone.sd.img"), "gone's card"));
    del("gone", "arm");
    del("gone", "arm");
    EmulatorOptions newcomer = NamedRecord("newcomer");
    newcomer.disk.sdSize = 1;
    save(&newcomer);
    QVERIFY(Listed("newcomer"));
    QVERIFY(!Exists(Stored("newcomer.sd.img")));
    COMPARE_BYTES(ReadBytes(Stored("deleted/gone.sd.img")), "gone's card");
    del("newcomer", "arm");
}

// What deleted/ keeps stays there: the records of two machines of one name,
// and a card when no free <file>.N is left (the delete is refused then).
void TestBackendExports::keptFilesAreNeverOverwritten() {
    auto save = Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions");
    auto defaults = Fn<PFN_SetEmulatorOptDefault>("SetEmulatorOptDefault");
    auto del = Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions");
    for (const char* cmdLine : {"first", "second"}) {
        EmulatorOptions record = ZeroRecord();
        defaults(nullptr, &record);
        bx::WriteField(record.general.name, "twice");
        bx::WriteField(record.os.cmdLine, cmdLine);
        save(&record);
        del("twice", "arm");
    }
    QVERIFY(Bytes(ReadBytes(Stored("deleted/twice.vm"))).contains("cmdLine=second"));
    QVERIFY(Bytes(ReadBytes(Stored("deleted/twice.vm.1"))).contains("cmdLine=first"));

    EmulatorOptions full = NamedRecord("full");
    full.disk.sdSize = 1;
    save(&full);
    QVERIFY(WriteBytes(Stored("full.sd.img"), "current card"));
    QVERIFY(QDir().mkpath(QString::fromStdString(Stored("deleted"))));
    QVERIFY(WriteBytes(Stored("deleted/full.sd.img"), "oldest card"));
    const std::string older = Stored("deleted/full.sd.img.");
    QVERIFY(WriteBytes(older + "1", "older card"));
    for (int n = 2; n < 10000; ++n) // links: quicker to make than files
        QCOMPARE(::link((older + "1").c_str(), (older + std::to_string(n)).c_str()), 0);
    del("full", "arm");
    QVERIFY(Listed("full"));
    COMPARE_BYTES(ReadBytes(Stored("full.sd.img")), "current card");
    COMPARE_BYTES(ReadBytes(Stored("deleted/full.sd.img")), "oldest card");
    QVERIFY(Bytes(ReadBytes(BackendLog())).contains("The machine full was not deleted"));
}

// A machine file that does not parse is not listed, stays as it is, and the
// back end's log says why, once.
void TestBackendExports::damagedFileIsLogged() {
    QVERIFY(WriteBytes(Stored("damaged.vm"), "tarnwick-machine 1\nname=damaged\nmemSize=lots\n"));
    for (int i = 0; i < 2; ++i)
        QVERIFY(!Listed("damaged"));
    QCOMPARE(Bytes(ReadBytes(BackendLog()))
                 .count("damaged.vm is not listed: it does not end with the line"),
             1);
    QVERIFY(Exists(Stored("damaged.vm")));
}

// A listing's reads may serve the loads after it; a save, a delete or a
// write by hand in between is still seen at once.
void TestBackendExports::loadAfterListingSeesEveryChange() {
    auto defaults = Fn<PFN_SetEmulatorOptDefault>("SetEmulatorOptDefault");
    auto save = Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions");
    auto get = Fn<PFN_GetEmulatorOptions>("GetEmulatorOptions");
    auto del = Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions");
    const std::string file = Stored("listed.vm");
    // Stored long ago, as machines are when the manager starts.
    const auto listOld = [&] {
        const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
        QVERIFY(::utimensat(AT_FDCWD, file.c_str(), times, 0) == 0);
        QVERIFY(Listed("listed"));
    };
    EmulatorOptions record = ZeroRecord();
    defaults(nullptr, &record);
    bx::WriteField(record.general.name, "listed");
    record.general.memSize = 256;
    save(&record);
    EmulatorOptions back = ZeroRecord();

    listOld();
    record.general.memSize = 512;
    save(&record);
    QCOMPARE(get("listed", &back), 1);
    QCOMPARE(back.general.memSize, 512);

    // The same size, in place: only the file's time tells.
    listOld();
    std::string text = ReadBytes(file);
    const std::size_t at = text.find("\nmemSize=512\n");
    QVERIFY(at != std::string::npos);
    text.replace(at, 12, "\nmemSize=128");
    QVERIFY(WriteBytes(file, text));
    QCOMPARE(get("listed", &back), 1);
    QCOMPARE(back.general.memSize, 128);

    listOld();
    del("listed", "arm");
    QCOMPARE(get("listed", &back), 0);
}

// The log is not written through a link put at its place (root may run the
// back end with a user's HOME), and at 1 MiB it becomes backend.log.1.
void TestBackendExports::logRefusesLinksAndIsCapped() {
    const std::string log = BackendLog();
    const std::string older = log + ".1";
    const std::string target = ToStd(m_dir.path()) + "/not-the-log";
    auto logALine = [&] { Fn<PFN_ReNameTapNetWork>("ReNameTapNetWork")("none", "bad name"); };
    QVERIFY(QDir().mkpath(QFileInfo(QString::fromStdString(log)).path()));
    QVERIFY(WriteBytes(target, "kept\n"));

    ::unlink(log.c_str());
    QVERIFY(::symlink(target.c_str(), log.c_str()) == 0);
    logALine();
    COMPARE_BYTES(ReadBytes(target), "kept\n");

    QVERIFY(::unlink(log.c_str()) == 0 && ::link(target.c_str(), log.c_str()) == 0);
    logALine();
    COMPARE_BYTES(ReadBytes(target), "kept\n");

    const std::string full(1 << 20, 'x');
    QVERIFY(::unlink(log.c_str()) == 0 && WriteBytes(log, full) && WriteBytes(older, "older\n"));
    logALine();
    QCOMPARE(ReadBytes(older).size(), full.size()); // the full log, the older one replaced
    const std::string fresh = ReadBytes(log);
    QVERIFY2(fresh.size() < 1024 && Bytes(fresh).contains("was not renamed"),
             ("the new log holds " + std::to_string(fresh.size()) + " bytes").c_str());
}

void TestBackendExports::choicesLists() {
    const auto targets = m_backend.List<PFN_GetEmulatorTarget>("GetEmulatorTarget", nullptr);
    QVERIFY(!targets.empty());
    char arch[BREVANTIX_ARCH_SIZE] = {};
    Fn<PFN_GetArch>("GetArch")(targets.front().c_str(), arch, sizeof arch);
    QVERIFY(arch[0] != '\0');
    QVERIFY(!m_backend.FirstCpu(targets.front()).empty());
    QCOMPARE(m_backend.List<PFN_GetMemType>("GetMemType"), (std::vector<std::string>{"MB", "GB"}));
    QCOMPARE(m_backend.List<PFN_GetSerialType>("GetSerialType").front(), std::string("pty"));
    QVERIFY(!m_backend.List<PFN_GetPeriType>("GetPeriType").empty());
    // The host's adapters: whatever there is, a consistent list.
    m_backend.List<PFN_RefreshTapNetWork>("RefreshTapNetWork");
    m_backend.List<PFN_GetTapDrvVer>("GetTapDrvVer");
}

QTEST_GUILESS_MAIN(TestBackendExports)
#include "tst_backend_exports.moc"
