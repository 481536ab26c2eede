// The back-end binding: every export looked up at its call, the skipped
// outcome for a missing library or export, the program directory.
#include "TestBackendControl.h"
#include "TestBytes.h"
#include "TestRecords.h"
#include "app/backend/EmulatorLib.h"
#include "app/backend/ListProtocol.h"
#include "app/backend/ProgramDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <dlfcn.h>
#include <functional>

namespace {

constexpr const char* kAllExports[] = {"EnumAllEmulator",
                                       "GetEmulatorOptions",
                                       "SetEmulatorOptDefault",
                                       "SaveEmulatorOptions",
                                       "DelEmulatorOptions",
                                       "StartEmulator",
                                       "GetStartEmulatorErrInfo",
                                       "GetArch",
                                       "GetEmulatorTarget",
                                       "GetEmulatorCPU",
                                       "GetMemType",
                                       "RefreshTapNetWork",
                                       "InstallTapNetWork",
                                       "ReNameTapNetWork",
                                       "GetTapDrvVer",
                                       "GetSerialType",
                                       "GetPeriType",
                                       "GetEmulatorState",
                                       "StopEmulator",
                                       "GetEmulatorInfo",
                                       "CloneEmulator"};
constexpr const char* kOptionalExports[] = {"GetEmulatorState", "StopEmulator", "GetEmulatorInfo",
                                            "CloneEmulator"};

std::string Joined(const std::optional<std::vector<std::string>>& items) {
    if (!items) {
        return "<none>";
    }
    std::string out;
    for (const std::string& item : *items) {
        out += (out.empty() ? "" : ",") + item;
    }
    return out;
}

std::string LoggedCount(const char* function) {
    return std::to_string(TestBackend::CallsOf(function).size());
}

// Scripts the working back end so that every export gives an outcome that
// differs from its skipped one.
void ScriptEveryExport() {
    TestBackend::Reset();
    for (const char* list : {"EnumAllEmulator", "GetEmulatorTarget", "GetEmulatorCPU", "GetMemType",
                             "RefreshTapNetWork", "GetTapDrvVer", "GetSerialType", "GetPeriType"}) {
        TestBackend::SetList(list, {std::string(list) + "-1", std::string(list) + "-2"});
    }
    TestBackend::SetRecord("vm", NamedRecord("vm"));
    TestBackend::SetDefaultRecord(NamedRecord("default"));
    TestBackend::SetStart("vm", 1, "boom");
    TestBackend::SetArch("versatile", "arm");
    TestBackend::SetState("paused", BREVANTIX_STATE_PAUSED);
    TestBackend::SetInfo("vm", "pid 7");
    TestBackend::SetClone("copy", 1, "cloned");
}

// One call of one export and a description of what it gave.
struct Probe {
    const char* function;
    std::function<std::string()> run;
    std::string worked;
    std::string skipped;
};

std::vector<Probe> Probes() {
    auto list = [](const char* name, ListCall call) {
        return Probe{name, [call] { return Joined(FetchList(call)); },
                     std::string(name) + "-1," + name + "-2", "<none>"};
    };
    return {
        list("EnumAllEmulator",
             [](char* b, uint32_t c, uint32_t s) { return Emu::EnumAllEmulator("x", b, c, s); }),
        {"GetEmulatorOptions",
         [] {
             EmulatorOptions record{};
             const int32_t result = Emu::GetEmulatorOptions("vm", &record);
             return std::to_string(result) + ":" + record.general.name;
         },
         "1:vm", "0:"},
        {"SetEmulatorOptDefault",
         [] {
             EmulatorOptions record{};
             Emu::SetEmulatorOptDefault(nullptr, &record);
             return std::string(record.general.name);
         },
         "default", ""},
        {"SaveEmulatorOptions",
         [] {
             const EmulatorOptions record = NamedRecord("vm");
             Emu::SaveEmulatorOptions(&record);
             return LoggedCount("SaveEmulatorOptions");
         },
         "1", "0"},
        {"DelEmulatorOptions",
         [] {
             Emu::DelEmulatorOptions("vm", "arm");
             return LoggedCount("DelEmulatorOptions");
         },
         "1", "0"},
        {"StartEmulator", [] { return std::to_string(Emu::StartEmulator("vm")); }, "1", "0"},
        {"GetStartEmulatorErrInfo", [] { return FetchStartErrorText("vm"); }, "boom", ""},
        {"GetArch",
         [] {
             char arch[BREVANTIX_ARCH_SIZE] = {};
             Emu::GetArch("versatile", arch, sizeof arch);
             return std::string(arch);
         },
         "arm", ""},
        list("GetEmulatorTarget",
             [](char* b, uint32_t c, uint32_t s) { return Emu::GetEmulatorTarget("x", b, c, s); }),
        list("GetEmulatorCPU",
             [](char* b, uint32_t c, uint32_t s) { return Emu::GetEmulatorCPU("t", b, c, s); }),
        list("GetMemType", Emu::GetMemType),
        list("RefreshTapNetWork", Emu::RefreshTapNetWork),
        {"InstallTapNetWork",
         [] {
             Emu::InstallTapNetWork("9.21");
             return LoggedCount("InstallTapNetWork");
         },
         "1", "0"},
        {"ReNameTapNetWork",
         [] {
             Emu::ReNameTapNetWork("tap0", "tap1");
             return LoggedCount("ReNameTapNetWork");
         },
         "1", "0"},
        list("GetTapDrvVer", Emu::GetTapDrvVer),
        list("GetSerialType", Emu::GetSerialType),
        list("GetPeriType", Emu::GetPeriType),
        {"GetEmulatorState", [] { return std::to_string(Emu::GetEmulatorState("paused")); }, "2",
         "0"},
        {"StopEmulator",
         [] {
             const int32_t result = Emu::StopEmulator("paused", 1);
             return std::to_string(result) + ":" + LoggedCount("StopEmulator");
         },
         "1:1", "0:0"},
        {"GetEmulatorInfo", [] { return FetchEmulatorInfoText("vm"); }, "pid 7", ""},
        {"CloneEmulator",
         [] {
             const int32_t result = Emu::CloneEmulator("vm", "copy");
             const auto calls = TestBackend::CallsOf("CloneEmulator");
             return std::to_string(result) + ":" +
                    (calls.empty() ? "" : calls[0].args[0] + "," + calls[0].args[1]);
         },
         "1:vm,copy", "0:"},
    };
}

} // namespace

class TestBinding : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { FreeEmulatorLibrary(); }

    void exportsGiveTheirOutcomeOrTheSkippedOne_data() {
        QTest::addColumn<QString>("library"); // empty: none loaded
        QTest::addColumn<QStringList>("missing");
        const QString variants = QString::fromStdString(TestBackend::VariantsDir());
        QStringList all;
        for (const char* function : kAllExports) {
            all << function;
        }
        QTest::newRow("no library") << QString() << all;
        QTest::newRow("library without exports") << variants + "/no-exports/Brevantix.dll" << all;
        QTest::newRow("working back end")
            << QString::fromStdString(GetProgramDir() + "/Brevantix.dll") << QStringList();
        QStringList optional;
        for (const char* function : kOptionalExports) {
            optional << function;
        }
        QTest::newRow("the seventeen only") << variants + "/no-optional/Brevantix.dll" << optional;
        for (const char* function : kAllExports) {
            QTest::newRow(qPrintable(QStringLiteral("without %1").arg(function)))
                << variants + "/no-" + function + "/Brevantix.dll" << QStringList{function};
        }
    }

    void exportsGiveTheirOutcomeOrTheSkippedOne() {
        QFETCH(QString, library);
        QFETCH(QStringList, missing);
        if (!library.isEmpty()) {
            QVERIFY2(TestBackend::LoadFrom(library.toStdString()), qPrintable(library));
            ScriptEveryExport();
        }
        for (const Probe& probe : Probes()) {
            QCOMPARE(Emu::HasExport(probe.function), !missing.contains(probe.function));
            TestBackend::ClearLog();
            const std::string& expected =
                missing.contains(probe.function) ? probe.skipped : probe.worked;
            QCOMPARE(Bytes(probe.run()), Bytes(expected));
        }
    }

    void loadUsesTheProgramDirectory() {
        LoadEmulatorLibrary();
        QVERIFY(g_hEmulatorLib != nullptr);
        // Our program directory holds the test back end.
        QVERIFY(dlsym(g_hEmulatorLib, "TestBackend_Reset") != nullptr);
        FreeEmulatorLibrary();
        QVERIFY(g_hEmulatorLib == nullptr);
        FreeEmulatorLibrary(); // a second release is harmless
    }

    void unloadableLibraryLeavesTheHandleNull_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing file") << QStringLiteral("/nonexistent/Brevantix.dll");
        // Not a shared object at all.
        QTest::newRow("not an ELF file") << QFINDTESTDATA("tst_binding.cpp");
    }

    void unloadableLibraryLeavesTheHandleNull() {
        QFETCH(QString, path);
        QVERIFY(TestBackend::Load());
        LoadEmulatorLibraryFrom(path.toStdString());
        QVERIFY(g_hEmulatorLib == nullptr);
        QCOMPARE(Emu::StartEmulator("vm"), 0);
    }

    void argumentsReachTheBackEndAsPassed() {
        QVERIFY(TestBackend::Load());
        TestBackend::Reset();
        EmulatorOptions record = NamedRecord("rec");
        record.os.cmdLine[1024] = 'Z';
        Emu::SaveEmulatorOptions(&record);
        Emu::DelEmulatorOptions(nullptr, "");
        Emu::GetArch("versatile", record.general.arch, BREVANTIX_ARCH_SIZE);
        const std::vector<BackendCall> calls = TestBackend::Calls();
        QCOMPARE(calls.size(), size_t(3));
        QCOMPARE(calls[0].args[0].size(), sizeof record);
        QVERIFY(memcmp(&record, calls[0].args[0].data(), sizeof record) == 0);
        QCOMPARE(TestBackend::RecordArg(calls[0]).os.cmdLine[1024], 'Z');
        QCOMPARE(Bytes(calls[1].args), (QList<QByteArray>{"<null>", ""}));
        QCOMPARE(Bytes(calls[2].args), (QList<QByteArray>{"versatile", "<buffer>", "32"}));
    }

    void programDirectoryIsTheExecutablesDirectory() {
        const QString expected = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath();
        QCOMPARE(QString::fromStdString(GetProgramDir()), expected);
    }

    void programDirectoryOfAnyLength() {
        QTemporaryDir base;
        QString deep = base.path();
        while (deep.size() < 400) {
            deep += "/a-rather-long-directory-name";
        }
        QVERIFY(QDir().mkpath(deep));
        const QString probe = deep + "/probe";
        QVERIFY(QFile::copy(PROGRAMDIR_PROBE, probe));
        QProcess process;
        process.start(probe);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(QString::fromLocal8Bit(process.readAllStandardOutput()), deep);
    }
};

QTEST_GUILESS_MAIN(TestBinding)
#include "tst_binding.moc"
