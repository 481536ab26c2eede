// The emulator's command line for a record, without starting anything.
#include "BackendTestUtil.h"
#include "QemuArgv.h"
#include "Text.h"

#include <QtTest>
#include <map>

using namespace bx;
using namespace bxtest;

namespace {
LaunchContext Context() {
    LaunchContext c;
    c.binary = "/usr/bin/qemu-system-arm";
    c.baseDirectory = "/opt/emu";
    c.defaultSdImage = "/store/vm.sd.img";
    c.defaultHdImage = "/store/vm.hd.img";
    c.logFile = "/store/vm.log";
    c.defaultSerialFile = "/store/vm.serial.txt";
    c.defaultSerialSocket = "/store/vm.serial.sock";
    c.pidFile = "/store/vm.pid";
    return c;
}

EmulatorOptions Bootable() {
    EmulatorOptions r = NamedRecord("vm");
    WriteField(r.general.target, "virt (arm)");
    WriteField(r.general.cpu, "cortex-a15");
    r.general.memSize = 256;
    WriteField(r.general.memType, "MB");
    WriteField(r.os.osImage, "/boot/zImage");
    return r;
}

using Argv = std::vector<std::string>;

// The value that follows the first `option`, or "<none>".
std::string ValueOf(const Argv& argv, const std::string& option, int nth = 0) {
    for (std::size_t i = 0; i + 1 < argv.size(); ++i)
        if (argv[i] == option && nth-- == 0)
            return argv[i + 1];
    return "<none>";
}

// Options (arguments in option position) of a command line.
std::vector<std::string> OptionNames(const Argv& argv) {
    std::vector<std::string> options;
    for (std::size_t i = 1; i < argv.size(); i += 2)
        options.push_back(argv[i]);
    return options;
}
} // namespace

class TestBackendArgv : public QObject {
    Q_OBJECT

private slots:
    void fullRecordGolden();
    void minimalRecord();
    void hostileTextsStayInTheirArguments_data();
    void hostileTextsStayInTheirArguments();
    void namesQemuWouldParseAreRefused_data();
    void namesQemuWouldParseAreRefused();
    void networkChoices_data();
    void networkChoices();
    void serialKinds_data();
    void serialKinds();
    void consoleWindow_data();
    void consoleWindow();
    void diskPlans_data();
    void diskPlans();
    void devicePropertyLists_data();
    void devicePropertyLists();
    void memoryUnits_data();
    void memoryUnits();
};

void TestBackendArgv::fullRecordGolden() {
    EmulatorOptions r = Bootable();
    WriteField(r.general.name, "lab, board 1");
    WriteField(r.general.tapAdapter, "tap0");
    WriteField(r.os.initrdImage, "img/initrd.gz");
    WriteField(r.os.cmdLine, "console=ttyAMA0\r\npanic=-1");
    r.disk.sdSize = 100;
    WriteField(r.disk.sdMemType, "MB");
    r.disk.hdSize = 0;
    WriteField(r.disk.hdFile, "disks/hd,1.img");
    r.peri.serialEnable = 1;
    WriteField(r.peri.serialType, "file");
    WriteField(r.peri.serialParam, "out/serial.txt");
    r.peri.periCount = 2;
    WriteField(r.peri.peris[0].device, "virtio-rng-device");
    WriteField(r.peri.peris[1].device, "tmp105");
    WriteField(r.peri.peris[1].param, "bus=i2c-bus.0,address=0x48");
    LaunchContext context = Context();
    context.hdFormat = "qcow2";

    const QemuCommand command = BuildQemuArgv(r, context);
    QCOMPARE(command.error, std::string());
    const Argv expected = {
        "/usr/bin/qemu-system-arm",
        "-name",
        "guest=lab,, board 1",
        "-machine",
        "virt",
        "-cpu",
        "cortex-a15",
        "-m",
        "256M",
        "-kernel",
        "/boot/zImage",
        "-initrd",
        "/opt/emu/img/initrd.gz",
        "-append",
        "console=ttyAMA0  panic=-1",
        "-drive",
        "if=none,id=disk0,file=/opt/emu/disks/hd,,1.img,format=qcow2",
        "-device",
        "virtio-blk-device,drive=disk0",
        "-drive",
        "if=none,id=card0,file=/store/vm.sd.img,format=raw",
        "-device",
        "virtio-blk-device,drive=card0",
        "-netdev",
        "tap,ifname=tap0,script=no,downscript=no,id=net0",
        "-device",
        "virtio-net-device,netdev=net0",
        "-display",
        "none",
        "-monitor",
        "none",
        "-chardev",
        "file,id=serial0,path=/opt/emu/out/serial.txt",
        "-serial",
        "chardev:serial0",
        "-device",
        "virtio-rng-device",
        "-device",
        "tmp105,bus=i2c-bus.0,address=0x48",
        "-pidfile",
        "/store/vm.pid",
    };
    QCOMPARE(command.argv, expected);
}

void TestBackendArgv::minimalRecord() {
    EmulatorOptions r = ZeroRecord();
    WriteField(r.general.target, "versatilepb (arm)");
    WriteField(r.os.osImage, "zImage");
    r.general.displayEnable = 1;
    const QemuCommand command = BuildQemuArgv(r, Context());
    QCOMPARE(command.error, std::string());
    const Argv expected = {"/usr/bin/qemu-system-arm",
                           "-name",
                           "guest=",
                           "-machine",
                           "versatilepb",
                           "-kernel",
                           "/opt/emu/zImage",
                           "-nic",
                           "user",
                           "-serial",
                           "none",
                           "-pidfile",
                           "/store/vm.pid"};
    QCOMPARE(command.argv, expected);
}

void TestBackendArgv::hostileTextsStayInTheirArguments_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("leading dash") << QByteArray("-snapshot");
    QTest::newRow("option and value") << QByteArray("-device virtio-rng-device");
    QTest::newRow("blanks") << QByteArray("  a b  ");
    QTest::newRow("quotes") << QByteArray("'\"`$(touch /tmp/x)`\"'");
    QTest::newRow("semicolon") << QByteArray("x; rm -rf /");
    QTest::newRow("comma option") << QByteArray("x,if=none,file=/etc/shadow");
    QTest::newRow("protocol") << QByteArray("nbd:evil:1234");
    QTest::newRow("json") << QByteArray("json:{\"driver\":\"nbd\"}");
}

// A hostile text in every free-text field: the command keeps the same
// options, each text stays inside its own argument, and paths stay absolute.
void TestBackendArgv::hostileTextsStayInTheirArguments() {
    QFETCH(QByteArray, text);
    const std::string hostile = text.toStdString();
    EmulatorOptions r = Bootable();
    WriteField(r.general.name, hostile);
    WriteField(r.os.osImage, hostile);
    WriteField(r.os.initrdImage, hostile);
    WriteField(r.os.cmdLine, hostile);
    r.disk.sdSize = 0;
    WriteField(r.disk.sdFile, hostile);
    r.disk.hdSize = 8;
    WriteField(r.disk.hdFile, hostile);
    r.peri.serialEnable = 1;
    WriteField(r.peri.serialType, "file");
    WriteField(r.peri.serialParam, hostile);

    const QemuCommand command = BuildQemuArgv(r, Context());
    QCOMPARE(command.error, std::string());
    const std::vector<std::string> options = OptionNames(command.argv);
    const std::vector<std::string> expected = {
        "-name",   "-machine", "-cpu",     "-m",       "-kernel", "-initrd",
        "-append", "-drive",   "-device",  "-drive",   "-device", "-netdev",
        "-device", "-display", "-monitor", "-chardev", "-serial", "-pidfile"};
    QCOMPARE(options, expected);
    QCOMPARE(command.argv.size(), 1 + 2 * expected.size());

    const std::string absolute = "/opt/emu/" + hostile;
    QCOMPARE(ValueOf(command.argv, "-kernel"), absolute);
    QCOMPARE(ValueOf(command.argv, "-initrd"), absolute);
    QCOMPARE(ValueOf(command.argv, "-append"), Trim(hostile));
    QCOMPARE(ValueOf(command.argv, "-name"), "guest=" + QemuOptionValue(hostile));
    QCOMPARE(ValueOf(command.argv, "-drive", 0),
             "if=none,id=disk0,file=" + QemuOptionValue(absolute) + ",format=raw");
    QCOMPARE(ValueOf(command.argv, "-drive", 1),
             "if=none,id=card0,file=" + QemuOptionValue(absolute) + ",format=raw");
    QCOMPARE(ValueOf(command.argv, "-chardev"),
             "file,id=serial0,path=" + QemuOptionValue("/opt/emu/" + Trim(hostile)));
}

void TestBackendArgv::namesQemuWouldParseAreRefused_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("text");
    for (const char* field : {"target", "cpu", "tap", "device"}) {
        QTest::newRow((std::string(field) + " comma").c_str()) << field << QByteArray("a,b=c");
        QTest::newRow((std::string(field) + " blank").c_str()) << field << QByteArray("a b");
    }
    // A leading dash is harmless inside "-nic tap,ifname=..." and valid on Linux.
    for (const char* field : {"target", "cpu", "device"})
        QTest::newRow((std::string(field) + " dash").c_str()) << field << QByteArray("-help");
    QTest::newRow("tap too long") << "tap" << QByteArray(16, 't');
    QTest::newRow("tap slash") << "tap" << QByteArray("a/b");
    QTest::newRow("device json") << "device" << QByteArray("{\"driver\":\"x\"}");
    QTest::newRow("device driver property") << "param" << QByteArray("driver=loader");
    QTest::newRow("device bare word") << "param" << QByteArray("-kernel");
    QTest::newRow("serial kind") << "serialType" << QByteArray("pipe");
    QTest::newRow("tcp without port") << "tcp" << QByteArray("localhost");
    QTest::newRow("tcp port zero") << "tcp" << QByteArray("0");
    QTest::newRow("tcp port too big") << "tcp" << QByteArray("70000");
    QTest::newRow("tcp host comma") << "tcp" << QByteArray("a,b:22");
    QTest::newRow("unix path too long") << "unix" << QByteArray(120, 'u');
    QTest::newRow("empty kernel") << "kernel" << QByteArray();
    QTest::newRow("empty target") << "target" << QByteArray();
    QTest::newRow("negative memory") << "memSize" << QByteArray("-1");
    QTest::newRow("negative card with its save path") << "sdSize" << QByteArray("-5");
    QTest::newRow("memory the board does not take") << "raspi2b" << QByteArray("256");
    QTest::newRow("disk the board cannot attach") << "vexpress-a9" << QByteArray("hd");
    QTest::newRow("negative disk with its save path") << "hdSize" << QByteArray("-5");
    QTest::newRow("unknown unit") << "memType" << QByteArray("KB");
}

void TestBackendArgv::namesQemuWouldParseAreRefused() {
    QFETCH(QString, field);
    QFETCH(QByteArray, text);
    const std::string t = text.toStdString();
    EmulatorOptions r = Bootable();
    r.peri.periCount = 1;
    WriteField(r.peri.peris[0].device, "usb-kbd");
    if (field == "target")
        WriteField(r.general.target, t.empty() ? t : t + " (arm)");
    else if (field == "cpu")
        WriteField(r.general.cpu, t);
    else if (field == "tap")
        WriteField(r.general.tapAdapter, t);
    else if (field == "device")
        WriteField(r.peri.peris[0].device, t);
    else if (field == "param")
        WriteField(r.peri.peris[0].param, t);
    else if (field == "kernel")
        WriteField(r.os.osImage, t);
    else if (field == "memSize")
        r.general.memSize = std::stoi(t);
    else if (field == "raspi2b") {
        WriteField(r.general.target, "raspi2b (arm)");
        r.general.memSize = std::stoi(t);
    } else if (field == "vexpress-a9") {
        WriteField(r.general.target, "vexpress-a9 (arm)");
        WriteField(r.disk.hdFile, "/images/disk.img");
    } else if (field == "sdSize" || field == "hdSize") {
        int32_t& size = field == "sdSize" ? r.disk.sdSize : r.disk.hdSize;
        size = std::stoi(t);
        WriteField(field == "sdSize" ? r.disk.sdFile : r.disk.hdFile, "/images/saved.img");
    } else if (field == "memType")
        WriteField(r.general.memType, t);
    else {
        r.peri.serialEnable = 1;
        WriteField(r.peri.serialType, field == "serialType" ? t : field.toStdString());
        WriteField(r.peri.serialParam, t);
    }
    const QemuCommand command = BuildQemuArgv(r, Context());
    QVERIFY2(!command.error.empty(), t.c_str());
    QVERIFY(command.argv.empty());
    const std::map<QString, std::string> reasons = {
        {"sdSize", "size -5 is negative"},
        {"hdSize", "size -5 is negative"},
        {"raspi2b", "The board raspi2b takes only 1024 MB of memory, not 256 MB."},
        {"vexpress-a9", "The board vexpress-a9 has no interface for a hard disk"}};
    if (const auto reason = reasons.find(field); reason != reasons.end())
        QVERIFY2(command.error.find(reason->second) != std::string::npos, command.error.c_str());
}

// The adapter list's two entries and a record of an older version (empty);
// virt gets its card on virtio-mmio, other boards their own card.
void TestBackendArgv::networkChoices_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("adapter");
    QTest::addColumn<QStringList>("network");
    const QStringList virtUser = {"-netdev", "user,id=net0", "-device",
                                  "virtio-net-device,netdev=net0"};
    Row("user-mode", "virt (arm)", "(user-mode network)", virtUser);
    Row("older record", "virt (arm)", "", virtUser);
    Row("none", "virt (arm)", "(no network)", QStringList{"-nic", "none"});
    Row("board's own card", "vexpress-a9 (arm)", "(user-mode network)",
        QStringList{"-nic", "user"});
    Row("tap", "vexpress-a9 (arm)", "tap3",
        QStringList{"-nic", "tap,ifname=tap3,script=no,downscript=no"});
}

void TestBackendArgv::networkChoices() {
    QFETCH(QString, target);
    QFETCH(QString, adapter);
    QFETCH(QStringList, network);
    EmulatorOptions r = Bootable();
    WriteField(r.general.target, target.toStdString());
    WriteField(r.general.cpu, "");
    WriteField(r.general.tapAdapter, adapter.toStdString());
    const QemuCommand command = BuildQemuArgv(r, Context());
    QCOMPARE(command.error, std::string());
    QStringList argv;
    for (const std::string& arg : command.argv)
        argv << QString::fromStdString(arg);
    const qsizetype at = argv.indexOf(network.front());
    QVERIFY2(at > 0, qPrintable(argv.join(' ')));
    QCOMPARE(argv.mid(at, network.size()), network);
}

void TestBackendArgv::serialKinds_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("param");
    QTest::addColumn<QString>("chardev"); // empty: "-serial none"
    Row("pty", "pty", "ignored", "pty,id=serial0");
    Row("pty any case", "PTY", "", "pty,id=serial0");
    Row("file default", "file", "", "file,id=serial0,path=/store/vm.serial.txt");
    Row("file absolute", "file", "/tmp/s,1.txt", "file,id=serial0,path=/tmp/s,,1.txt");
    Row("log", "log", "", "file,id=serial0,path=/store/vm.log,append=on");
    Row("tcp port", "tcp", "4555", "socket,id=serial0,host=127.0.0.1,port=4555,server=on,wait=off");
    Row("tcp host port", "tcp", "0.0.0.0:23",
        "socket,id=serial0,host=0.0.0.0,port=23,server=on,wait=off");
    Row("tcp ipv6", "tcp", "[::1]:4555", "socket,id=serial0,host=::1,port=4555,server=on,wait=off");
    Row("telnet", "telnet", " 4556 ",
        "socket,id=serial0,host=127.0.0.1,port=4556,server=on,wait=off,"
        "telnet=on");
    Row("unix default", "unix", "",
        "socket,id=serial0,path=/store/vm.serial.sock,server=on,wait=off");
    Row("unix relative", "unix", "run/s.sock",
        "socket,id=serial0,path=/opt/emu/run/s.sock,server=on,wait=off");
    Row("none", "none", "", "");
    Row("disabled", "<off>", "", "");
}

void TestBackendArgv::serialKinds() {
    QFETCH(QString, kind);
    QFETCH(QString, param);
    QFETCH(QString, chardev);
    EmulatorOptions r = Bootable();
    r.peri.serialEnable = kind == "<off>" ? 0 : 1;
    WriteField(r.peri.serialType, kind == "<off>" ? "pty" : kind.toStdString());
    WriteField(r.peri.serialParam, param.toStdString());
    const QemuCommand command = BuildQemuArgv(r, Context());
    QCOMPARE(command.error, std::string());
    if (chardev.isEmpty()) {
        QCOMPARE(ValueOf(command.argv, "-serial"), std::string("none"));
        QCOMPARE(ValueOf(command.argv, "-chardev"), std::string("<none>"));
    } else {
        QCOMPARE(ValueOf(command.argv, "-chardev"), chardev.toStdString());
        QCOMPARE(ValueOf(command.argv, "-serial"), std::string("chardev:serial0"));
    }
}

void TestBackendArgv::consoleWindow_data() {
    QTest::addColumn<int>("displayEnable");
    QTest::addColumn<bool>("desktop");
    QTest::addColumn<QString>("display"); // "<error>": refused
    QTest::addColumn<QString>("monitor");
    Row("console only", 0, true, "gtk", "none");
    Row("beside the guest's screen", 1, true, "gtk,show-tabs=on", "<none>");
    Row("no desktop", 0, false, "<error>", "");
}

void TestBackendArgv::consoleWindow() {
    QFETCH(int, displayEnable);
    QFETCH(bool, desktop);
    QFETCH(QString, display);
    QFETCH(QString, monitor);
    EmulatorOptions r = Bootable();
    r.general.displayEnable = displayEnable;
    r.peri.serialEnable = 1;
    WriteField(r.peri.serialType, "Window");
    LaunchContext context = Context();
    context.desktop = desktop;
    const QemuCommand command = BuildQemuArgv(r, context);
    if (display == "<error>") {
        QVERIFY2(command.error.find("neither DISPLAY nor WAYLAND_DISPLAY") != std::string::npos,
                 command.error.c_str());
        QVERIFY(command.argv.empty());
        return;
    }
    QCOMPARE(command.error, std::string());
    QCOMPARE(ValueOf(command.argv, "-display"), display.toStdString());
    QCOMPARE(ValueOf(command.argv, "-display", 1), std::string("<none>"));
    QCOMPARE(ValueOf(command.argv, "-monitor"), monitor.toStdString());
    // QEMU would open a parallel port console as a second tab.
    QCOMPARE(ValueOf(command.argv, "-parallel"), std::string("none"));
    QCOMPARE(ValueOf(command.argv, "-chardev"), std::string("vc,id=serial0"));
    QCOMPARE(ValueOf(command.argv, "-serial"), std::string("chardev:serial0"));
}

void TestBackendArgv::diskPlans_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("used");
    QTest::addColumn<QString>("path");
    QTest::addColumn<qulonglong>("create");
    Row("no disk", 0, "MB", "", false, "", 0ull);
    Row("existing relative", 0, "MB", "img/sd.img", true, "/opt/emu/img/sd.img", 0ull);
    Row("existing absolute", 0, "GB", "/srv/sd.img", true, "/srv/sd.img", 0ull);
    Row("new default place", 64, "MB", "", true, "/store/vm.sd.img", (64ull << 20));
    Row("new rounded up", 100, "MB", "new.img", true, "/opt/emu/new.img", (128ull << 20));
    Row("new gigabytes", 2, "GB", "/srv/x.img", true, "/srv/x.img", (2ull << 30));
    Row("unit empty means MB", 1, "", "", true, "/store/vm.sd.img", (1ull << 20));
}

void TestBackendArgv::diskPlans() {
    QFETCH(int, size);
    QFETCH(QString, unit);
    QFETCH(QString, file);
    QFETCH(bool, used);
    QFETCH(QString, path);
    QFETCH(qulonglong, create);
    EmulatorOptions r = Bootable();
    r.disk.sdSize = size;
    WriteField(r.disk.sdMemType, unit.toStdString());
    WriteField(r.disk.sdFile, file.toStdString());
    const DiskPlans plans = PlanDisks(r, Context());
    QCOMPARE(plans.error, std::string());
    QCOMPARE(plans.sd.used, used);
    QCOMPARE(plans.sd.path, path.toStdString());
    QCOMPARE(qulonglong(plans.sd.createBytes), create);
    QVERIFY(!plans.hd.used);

    // The hard disk is not rounded.
    r.disk.hdSize = 100;
    WriteField(r.disk.hdMemType, "MB");
    QCOMPARE(PlanDisks(r, Context()).hd.createBytes, uint64_t(100) << 20);
    r.disk.hdSize = -3;
    QVERIFY(!PlanDisks(r, Context()).error.empty());
}

void TestBackendArgv::devicePropertyLists_data() {
    QTest::addColumn<QString>("properties");
    QTest::addColumn<bool>("valid");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("one") << "bus=i2c-bus.0" << true;
    QTest::newRow("two") << "bus=i2c-bus.0,address=0x48" << true;
    QTest::newRow("escaped comma") << "serial=a,,b" << true;
    QTest::newRow("empty value") << "id=" << true;
    QTest::newRow("bare word") << "on" << false;
    QTest::newRow("trailing comma") << "a=1," << false;
    QTest::newRow("empty item") << "a=1,,,b=2" << true; // "1," then b=2
    QTest::newRow("leading comma") << ",a=1" << false;
    QTest::newRow("driver") << "driver=loader" << false;
    QTest::newRow("driver later") << "a=1,driver=loader" << false;
    QTest::newRow("blank key") << "a b=1" << false;
}

void TestBackendArgv::devicePropertyLists() {
    QFETCH(QString, properties);
    QFETCH(bool, valid);
    QCOMPARE(IsDevicePropertyList(properties.toStdString()), valid);
}

void TestBackendArgv::memoryUnits_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("expected");
    Row("MB", 256, "MB", "256M");
    Row("GB", 2, "GB", "2G");
    Row("lower case", 1, "gb", "1G");
    Row("no unit", 128, "", "128M");
    Row("not set", 0, "MB", "<none>");
}

void TestBackendArgv::memoryUnits() {
    QFETCH(int, size);
    QFETCH(QString, unit);
    QFETCH(QString, expected);
    EmulatorOptions r = Bootable();
    r.general.memSize = size;
    WriteField(r.general.memType, unit.toStdString());
    const QemuCommand command = BuildQemuArgv(r, Context());
    QCOMPARE(command.error, std::string());
    QCOMPARE(ValueOf(command.argv, "-m"), expected.toStdString());
}

QTEST_GUILESS_MAIN(TestBackendArgv)
#include "tst_backend_argv.moc"
