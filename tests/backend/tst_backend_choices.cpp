// The lists of choices: QEMU's answers, their caches, the built-in catalogue
// and the defaults of a new machine.
#include "BackendTestUtil.h"
#include "Catalogue.h"
#include "Choices.h"
#include "Defaults.h"
#include "Files.h"
#include "QemuProbe.h"
#include "Text.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <utime.h>

using namespace bx;
using namespace bxtest;

namespace {
// QEMU's replies as it gives them, cut down to what matters.
const char* kTranscript =
    R"({"QMP": {"version": {"qemu": {"micro": 0, "minor": 2, "major": 7}}, "capabilities": ["oob"]}}
{"return": {}}
{"return": [{"name": "virt-7.2", "default-cpu-type": "cortex-a15-arm-cpu", "alias": "virt", "cpu-max": 512},
 {"name": "virt-7.1", "default-cpu-type": "cortex-a15-arm-cpu"},
 {"name": "virt-2.10", "default-cpu-type": "cortex-a15-arm-cpu"},
 {"name": "vexpress-a9", "default-cpu-type": "cortex-a9-arm-cpu"},
 {"name": "ast2600-evb"},
 {"name": "mps2-an505", "default-cpu-type": "cortex-m33-arm-cpu"},
 {"name": "g3beige", "default-cpu-type": "750_v3.1-powerpc64-cpu"},
 {"name": "none"},
 {"name": "pc-q35-7.2", "alias": "q35"}, {"name": "pc-q35-6.0"}, {"name": "pc-i440fx-7.2"}], "id": "machines"}
{"return": [{"name": "cortex-a9", "typename": "cortex-a9-arm-cpu"},
 {"name": "cortex-a15", "typename": "cortex-a15-arm-cpu", "deprecated": false},
 {"name": "arm926", "typename": "arm926-arm-cpu"},
 {"name": "cortex-m33", "typename": ""},
 {"name": "750", "typename": "750_v3.1-powerpc64-cpu"}, {"name": "g3", "typename": "750_v3.1-powerpc64-cpu"},
 {"name": "750_v3.1", "typename": ""}], "id": "cpus"}
{"return": {}}
{"timestamp": {"seconds": 1, "microseconds": 2}, "event": "SHUTDOWN", "data": {"guest": false, "reason": "host-qmp-quit"}}
)";

ArchChoices Canned(const std::string& arch) {
    return {arch, {{"virt", "cpu-b"}, {"other", ""}}, {"cpu-a", "cpu-b", "cpu-c"}};
}

void WriteExecutable(const QString& path) {
    QVERIFY(WriteBytes(ToStd(path), "#!/bin/sh\nexit 1\n"));
    QVERIFY(::chmod(path.toLocal8Bit().constData(), 0755) == 0);
}

// No target text may be the case-insensitive beginning of another: the
// manager selects a stored target by such a prefix.
void VerifyNoPrefixes(const std::vector<std::string>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i)
        for (std::size_t j = 0; j < texts.size(); ++j)
            if (i != j)
                QVERIFY2(!QString::fromStdString(texts[j]).startsWith(
                             QString::fromStdString(texts[i]), Qt::CaseInsensitive),
                         (texts[i] + " / " + texts[j]).c_str());
}
} // namespace

class TestBackendChoices : public QObject {
    Q_OBJECT

private slots:
    void qmpTranscript();
    void targetTexts_data();
    void targetTexts();
    void builtinCatalogueWithoutQemu();
    void extraArgumentChoosesArchitectures();
    void cachesAvoidProbing();
    void failedProbeFallsBackToCatalogue();
    void realQemuProbe();
    void defaultsOfANewMachine();
    void fixedListsHaveNoPrefixes();
};

void TestBackendChoices::qmpTranscript() {
    const std::optional<ArchChoices> choices = ParseQmpTranscript("arm", kTranscript);
    QVERIFY(choices);
    QCOMPARE(choices->arch, std::string("arm"));
    std::vector<std::string> boards;
    for (const Board& b : choices->boards)
        boards.push_back(b.name + "=" + b.defaultCpu);
    // Versions behind an alias are hidden; "virt" leads, then the boards
    // known to boot Linux; "none" is no board. A default CPU that QEMU lists
    // without its type (as ppc does), or under aliases, is still QEMU's own.
    const std::vector<std::string> expected = {
        "virt=cortex-a15", "ast2600-evb=", "vexpress-a9=cortex-a9", "g3beige=750_v3.1",
        "pc-i440fx-7.2=",  "q35=",         "mps2-an505=cortex-m33"};
    QCOMPARE(boards, expected);
    QCOMPARE(choices->cpus, (std::vector<std::string>{"750", "750_v3.1", "arm926", "cortex-a15",
                                                      "cortex-a9", "cortex-m33", "g3"}));
    QVERIFY(!ParseQmpTranscript("arm", "{\"return\": {}}\n"));
    QVERIFY(!ParseQmpTranscript("arm", ""));
    QVERIFY(!ParseQmpTranscript("arm", "{\"return\": [garbage"));
}

void TestBackendChoices::targetTexts_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("arch");
    Row("arm", "virt (arm)", "virt", "arm");
    Row("aarch64", "virt (aarch64)", "virt", "aarch64");
    Row("underscore", "sifive_u (riscv64)", "sifive_u", "riscv64");
    Row("bare", "virt", "", "");
    Row("bad arch", "virt (../x)", "", "");
    Row("upper arch", "virt (ARM)", "", "");
    Row("no board", " (arm)", "", "");
}

void TestBackendChoices::targetTexts() {
    QFETCH(QString, target);
    QFETCH(QString, board);
    QFETCH(QString, arch);
    const std::optional<TargetName> parsed = ParseTargetText(target.toStdString());
    QCOMPARE(parsed.has_value(), !arch.isEmpty());
    if (parsed) {
        QCOMPARE(parsed->board, board.toStdString());
        QCOMPARE(parsed->arch, arch.toStdString());
        QCOMPARE(TargetText(parsed->board, parsed->arch), target.toStdString());
    }
}

void TestBackendChoices::builtinCatalogueWithoutQemu() {
    QTemporaryDir cache;
    int probes = 0;
    ChoiceCatalogue catalogue(
        cache.path().toStdString(), [] { return std::string("/nonexistent:/also/not"); },
        [&](const std::string&, const std::string&) {
            ++probes;
            return std::optional<ArchChoices>();
        });
    const std::vector<std::string> targets = catalogue.Targets({});
    QVERIFY(targets.size() >= 10);
    QCOMPARE(targets.front(), std::string("virt (arm)"));
    QVERIFY(std::find(targets.begin(), targets.end(), "virt (aarch64)") != targets.end());
    VerifyNoPrefixes(targets);
    for (const std::string& target : targets) {
        const std::string arch = catalogue.ArchOf(target);
        QVERIFY2(IsArchName(arch), target.c_str());
        const std::vector<std::string> cpus = catalogue.Cpus(target);
        QVERIFY2(!cpus.empty(), target.c_str());
        // The default CPU leads and is not listed twice.
        QCOMPARE(std::count(cpus.begin(), cpus.end(), cpus.front()), std::ptrdiff_t(1));
    }
    QCOMPARE(catalogue.Cpus("virt (arm)").front(), std::string("cortex-a15"));
    QCOMPARE(catalogue.Cpus("vexpress-a9 (arm)").front(), std::string("cortex-a9"));
    QCOMPARE(catalogue.ArchOf("versatilepb"), std::string("arm")); // a bare board name
    QCOMPARE(catalogue.ArchOf("no such board"), std::string());
    QVERIFY(catalogue.Cpus("no such board").empty());
    QCOMPARE(probes, 0);
    QVERIFY(catalogue.InstalledEmulators().empty());
}

void TestBackendChoices::extraArgumentChoosesArchitectures() {
    QTemporaryDir bin, cache;
    WriteExecutable(bin.path() + "/qemu-system-arm");
    WriteExecutable(bin.path() + "/qemu-system-aarch64");
    WriteExecutable(bin.path() + "/qemu-system-ARM.sh"); // no architecture name
    ChoiceCatalogue catalogue(
        cache.path().toStdString(), [&] { return bin.path().toStdString(); },
        [](const std::string&, const std::string& arch) { return std::optional(Canned(arch)); });
    QCOMPARE(catalogue.Targets({}),
             (std::vector<std::string>{"virt (arm)", "other (arm)", "virt (aarch64)",
                                       "other (aarch64)"}));
    QCOMPARE(catalogue.Targets(" AArch64 , arm"),
             (std::vector<std::string>{"virt (aarch64)", "other (aarch64)", "virt (arm)",
                                       "other (arm)"}));
    // Only architectures that are not installed: their catalogue boards.
    const std::vector<std::string> riscv = catalogue.Targets("riscv64");
    QVERIFY(!riscv.empty());
    QCOMPARE(riscv.front(), std::string("virt (riscv64)"));
    for (const std::string& t : riscv)
        QCOMPARE(catalogue.ArchOf(t), std::string("riscv64"));
    QCOMPARE(catalogue.FirstTarget("aarch64")->first, std::string("virt (aarch64)"));
    QCOMPARE(catalogue.FirstTarget("aarch64")->second, std::string("cpu-b"));
    QCOMPARE(catalogue.Cpus("virt (aarch64)"),
             (std::vector<std::string>{"cpu-b", "cpu-a", "cpu-c"}));
    QCOMPARE(catalogue.Cpus("other (arm)"), (std::vector<std::string>{"cpu-a", "cpu-b", "cpu-c"}));
}

void TestBackendChoices::cachesAvoidProbing() {
    QTemporaryDir bin, cache;
    const QString arm = bin.path() + "/qemu-system-arm";
    WriteExecutable(arm);
    int probes = 0;
    auto prober = [&](const std::string& binary, const std::string& arch) {
        ++probes;
        ArchChoices c = Canned(arch);
        c.boards.push_back({"probed-from-" + std::to_string(probes), ""});
        (void)binary;
        return std::optional(c);
    };
    auto path = [&] { return bin.path().toStdString(); };
    {
        ChoiceCatalogue catalogue(cache.path().toStdString(), path, prober);
        const std::vector<std::string> first = catalogue.Targets({});
        QCOMPARE(probes, 1);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(catalogue.Targets({}), first);
            catalogue.Cpus("virt (arm)");
        }
        QCOMPARE(probes, 1);
    }
    // A new process (a new catalogue) reads the disk cache.
    ChoiceCatalogue second(cache.path().toStdString(), path, prober);
    const std::vector<std::string> cached = second.Targets({});
    QCOMPARE(probes, 1);
    QVERIFY(std::find(cached.begin(), cached.end(), "probed-from-1 (arm)") != cached.end());

    // A binary that changed (an upgrade) is probed again.
    struct utimbuf times {
        1000000, 1000000
    };
    QCOMPARE(::utime(arm.toLocal8Bit().constData(), &times), 0);
    const std::vector<std::string> upgraded = second.Targets({});
    QCOMPARE(probes, 2);
    QVERIFY(std::find(upgraded.begin(), upgraded.end(), "probed-from-2 (arm)") != upgraded.end());

    // A newly installed emulator shows up without a restart.
    WriteExecutable(bin.path() + "/qemu-system-riscv64");
    struct utimbuf later {
        2000000000, 2000000000
    }; // the directory changed for sure
    QCOMPARE(::utime(bin.path().toLocal8Bit().constData(), &later), 0);
    const std::vector<std::string> more = second.Targets({});
    QCOMPARE(probes, 3);
    QVERIFY(std::find(more.begin(), more.end(), "virt (riscv64)") != more.end());

    // A damaged cache file is only a cache miss.
    for (const QString& f : QDir(cache.path()).entryList(QDir::Files))
        QVERIFY(WriteBytes(ToStd(cache.path() + "/" + f), "tarnwick-qemu-choices 1\nbinary=x\n"));
    ChoiceCatalogue third(cache.path().toStdString(), path, prober);
    QVERIFY(!third.Targets({}).empty());
    QCOMPARE(probes, 5);
}

void TestBackendChoices::failedProbeFallsBackToCatalogue() {
    QTemporaryDir bin, cache;
    WriteExecutable(bin.path() + "/qemu-system-arm");
    ChoiceCatalogue catalogue(
        cache.path().toStdString(), [&] { return bin.path().toStdString(); },
        [](const std::string&, const std::string&) { return std::optional<ArchChoices>(); });
    const std::vector<std::string> targets = catalogue.Targets({});
    QVERIFY(!targets.empty());
    for (const std::string& t : targets)
        QCOMPARE(catalogue.ArchOf(t), std::string("arm"));
}

void TestBackendChoices::realQemuProbe() {
    const std::string binary = FindExecutable("qemu-system-arm", CurrentSearchPath());
    if (binary.empty())
        QSKIP("qemu-system-arm is not installed (Debian package qemu-system-arm)");
    const std::optional<ArchChoices> choices = ProbeQemu(binary, "arm");
    QVERIFY(choices);
    QCOMPARE(choices->boards.front().name, std::string("virt"));
    QCOMPARE(choices->boards.front().defaultCpu, std::string("cortex-a15"));
    QVERIFY(std::find(choices->cpus.begin(), choices->cpus.end(), "cortex-a15") !=
            choices->cpus.end());
    std::vector<std::string> texts;
    for (const Board& b : choices->boards)
        texts.push_back(TargetText(b.name, "arm"));
    VerifyNoPrefixes(texts);
}

void TestBackendChoices::defaultsOfANewMachine() {
    QTemporaryDir cache;
    ChoiceCatalogue catalogue(
        cache.path().toStdString(), [] { return std::string(); },
        [](const std::string&, const std::string&) { return std::optional<ArchChoices>(); });
    EmulatorOptions r = ZeroRecord();
    std::memset(&r, 0x55, sizeof r); // whatever was there is replaced
    {
        // On a desktop the console opens in a window of its own.
        const DesktopEnvironment desktop(":0");
        FillDefaults(r, catalogue, {});
        QCOMPARE(ReadField(r.peri.serialType), std::string("window"));
    }
    const DesktopEnvironment noDesktop{QByteArray()};
    FillDefaults(r, catalogue, {});
    QCOMPARE(ReadField(r.general.name), std::string());
    QCOMPARE(ReadField(r.general.target), std::string("virt (arm)"));
    QCOMPARE(ReadField(r.general.arch), std::string("arm"));
    QCOMPARE(ReadField(r.general.cpu), std::string("cortex-a15"));
    QCOMPARE(r.general.memSize, 256);
    QCOMPARE(ReadField(r.general.memType), std::string("MB"));
    QCOMPARE(r.general.displayEnable, 0);
    QCOMPARE(r.peri.serialEnable, 1);
    QCOMPARE(ReadField(r.peri.serialType), std::string("pty"));
    QCOMPARE(r.peri.periCount, 0);
    QCOMPARE(ReadField(r.os.cmdLine), std::string("console=ttyAMA0"));
    QCOMPARE(r.disk.sdSize, 0);
    QCOMPARE(ReadField(r.disk.sdFile), std::string());

    FillDefaults(r, catalogue, "riscv64");
    QCOMPARE(ReadField(r.general.target), std::string("virt (riscv64)"));
    QCOMPARE(ReadField(r.os.cmdLine), std::string("console=ttyS0"));
}

void TestBackendChoices::fixedListsHaveNoPrefixes() {
    VerifyNoPrefixes(MemoryUnits());
    VerifyNoPrefixes(SerialKinds());
    VerifyNoPrefixes(PeripheralKinds());
    QCOMPARE(SerialKinds().front(), std::string("pty"));
    QCOMPARE(SerialKinds()[1], std::string("window"));
    QCOMPARE(MemoryUnits(), (std::vector<std::string>{"MB", "GB"}));
    QCOMPARE(BytesPerUnit("GB"), uint64_t(1) << 30);
    QCOMPARE(BytesPerUnit("KB"), uint64_t(0));
    QCOMPARE(DebianPackageFor("aarch64"), std::string("qemu-system-arm"));
    QCOMPARE(DebianPackageFor("riscv64"), std::string("qemu-system-misc"));
}

QTEST_GUILESS_MAIN(TestBackendChoices)
#include "tst_backend_choices.moc"
