// The test back end's script file and file log, which subprocess tests and
// benchmarks rely on.
#include "ScopedEnvironment.h"
#include "TestBackendControl.h"
#include "TestBytes.h"
#include "app/backend/EmulatorLib.h"
#include "app/backend/ListProtocol.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

std::optional<std::vector<std::string>> Machines(const char* extra = nullptr) {
    return FetchList(
        [extra](char* b, uint32_t c, uint32_t s) { return Emu::EnumAllEmulator(extra, b, c, s); });
}

} // namespace

class TestTestBackend : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Loads the back end with a script (and a log file) named in the environment.
    bool LoadWithScript(const QByteArray& script, const QString& log = QString()) {
        const QString path = m_dir.filePath("script.txt");
        if (!WriteBytes(ToStd(path), Bytes(script)))
            return false;
        const ScopedEnvironment env({{"BREVANTIX_TEST_SCRIPT", path.toLocal8Bit()},
                                     {"BREVANTIX_TEST_LOG", log.toLocal8Bit()}});
        return TestBackend::Load();
    }

private slots:
    void cleanup() { FreeEmulatorLibrary(); }

    void thousandsOfMachines() {
        QVERIFY(LoadWithScript("machines 3000\n"));
        const auto names = Machines();
        QCOMPARE(names.value().size(), size_t(3000));
        QCOMPARE(Bytes(names->front()), QByteArray("vm0000"));
        QCOMPARE(Bytes(names->back()), QByteArray("vm2999"));
        EmulatorOptions record{};
        QCOMPARE(Emu::GetEmulatorOptions("vm1234", &record), 1);
        QCOMPARE(QByteArray(record.general.name), QByteArray("vm1234"));
        QCOMPARE(QByteArray(record.general.arch), QByteArray("arm"));
        QCOMPARE(Emu::GetEmulatorOptions("vm3000", &record), 0);
    }

    void machineNamesWidenBeyondFourDigits() {
        QVERIFY(LoadWithScript("machines 12000 box\n"));
        const auto names = Machines();
        QCOMPARE(Bytes(names.value().front()), QByteArray("box00000"));
        QCOMPARE(Bytes(names->back()), QByteArray("box11999"));
    }

    void everyScriptCommand() {
        QVERIFY(LoadWithScript("# a comment\n"
                               "\n"
                               "list GetEmulatorTarget * versatile|vexpress a9\n"
                               "list GetEmulatorCPU versatile arm926|arm1136\r\n"
                               "list GetMemType * KB|MB\n"
                               "quirks GetMemType 5 -1 1\n"
                               "record my vm arch arm\n"
                               "record my target versatile\n"
                               "record my memSize 128\n"
                               "record my peri3.param  two blanks\n"
                               "record broken result 0\n"
                               "default cmdLine console=ttyAMA0 root=/dev/ram\n"
                               "start my 0 - it failed: no kernel\n"
                               "start * 1 3\n"
                               "arch versatile arm\n"
                               "frobnicate everything\n"
                               "record x nosuchfield 1\n"));
        QCOMPARE(Bytes(FetchList([](char* b, uint32_t c, uint32_t s) {
                           return Emu::GetEmulatorTarget(nullptr, b, c, s);
                       }).value()),
                 (QList<QByteArray>{"versatile", "vexpress a9"}));
        QCOMPARE(Bytes(FetchList([](char* b, uint32_t c, uint32_t s) {
                           return Emu::GetEmulatorCPU("versatile", b, c, s);
                       }).value()),
                 (QList<QByteArray>{"arm926", "arm1136"}));
        QVERIFY(!FetchList([](char* b, uint32_t c, uint32_t s) {
                     return Emu::GetEmulatorCPU("other", b, c, s);
                 }).has_value());
        const auto memTypes = FetchList(Emu::GetMemType).value();
        QCOMPARE(memTypes.size(), size_t(2));
        QCOMPARE(Bytes(memTypes[0]), "KB" + QByteArray(258, '#'));

        EmulatorOptions record{};
        // "my vm" is not a name: names are one word, so this is record "my".
        QCOMPARE(Emu::GetEmulatorOptions("my", &record), 1);
        QCOMPARE(QByteArray(record.general.name), QByteArray("my"));
        QCOMPARE(record.general.memSize, 128);
        QCOMPARE(QByteArray(record.general.target), QByteArray("versatile"));
        QCOMPARE(QByteArray(record.peri.peris[3].param), QByteArray(" two blanks"));
        QCOMPARE(Emu::GetEmulatorOptions("broken", &record), 0);

        EmulatorOptions defaults{};
        Emu::SetEmulatorOptDefault(nullptr, &defaults);
        QCOMPARE(QByteArray(defaults.os.cmdLine), QByteArray("console=ttyAMA0 root=/dev/ram"));

        QCOMPARE(Emu::StartEmulator("my"), 0);
        QCOMPARE(Bytes(FetchStartErrorText("my")), QByteArray("it failed: no kernel"));
        QCOMPARE(Emu::StartEmulator("anyone"), 1);
        QCOMPARE(Emu::GetStartEmulatorErrInfo("anyone", nullptr, 0), 3u);

        char arch[32] = {};
        Emu::GetArch("versatile", arch, sizeof arch);
        QCOMPARE(QByteArray(arch), QByteArray("arm"));
    }

    void fileLogShowsLoadCallsAndUnload() {
        const QString log = m_dir.filePath("calls.log");
        QFile::remove(log);
        QVERIFY(LoadWithScript("machines 1\n", log));
        EmulatorOptions record{};
        Emu::GetEmulatorOptions("vm0000", &record);
        Emu::ReNameTapNetWork("tap\t0", nullptr);
        Machines("extra arg");
        FreeEmulatorLibrary();
        QCOMPARE(Bytes(ReadBytes(ToStd(log))),
                 QByteArray("load\n"
                            "GetEmulatorOptions\tvm0000\t<record:>\n"
                            "ReNameTapNetWork\ttap\\t0\t<null>\n"
                            "EnumAllEmulator\textra arg\t<null>\t0\t260\n"
                            "EnumAllEmulator\textra arg\t<buffer>\t1\t260\n"
                            "unload\n"));
    }

    void memoryLogCanBeSwitchedOff() {
        QVERIFY(LoadWithScript("memlog off\n"));
        Emu::StartEmulator("vm");
        QVERIFY(TestBackend::Calls().empty());
        TestBackend::SetLogging(true);
        Emu::StartEmulator("vm");
        QCOMPARE(TestBackend::CallNames(), std::vector<std::string>{"StartEmulator"});
    }

    void unloadForgetsTheScript() {
        QVERIFY(TestBackend::Load());
        TestBackend::SetList("GetMemType", {"KB"});
        FreeEmulatorLibrary();
        QVERIFY(TestBackend::Load());
        QVERIFY(!FetchList(Emu::GetMemType).has_value());
    }

    void missingScriptStillLoads() {
        {
            const ScopedEnvironment env(
                {{"BREVANTIX_TEST_SCRIPT", m_dir.filePath("none.txt").toLocal8Bit()}});
            QVERIFY(TestBackend::Load());
        }
        QCOMPARE(Emu::StartEmulator("vm"), 0);
    }
};

QTEST_GUILESS_MAIN(TestTestBackend)
#include "tst_testbackend.moc"
