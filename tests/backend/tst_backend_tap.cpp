// TAP adapters, created and renamed for real inside a private network
// namespace so that the host's interfaces are never touched.
#include "Process.h"
#include "Tap.h"
#include "TestBytes.h"

#include <QtTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/capability.h>
#include <net/if.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bx;

namespace {

using Names = std::vector<std::string>;

bool WriteText(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// Private network and mount namespaces with a sysfs of our own (sysfs shows
// the network namespace of whoever mounted it). As root directly, else in a
// user namespace of our own. Empty on success, else why not.
std::string EnterPrivateNetwork() {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWNS) != 0)
            return std::string("cannot make a network namespace: ") + std::strerror(errno);
        WriteText("/proc/self/setgroups", "deny");
        if (!WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
            !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
            return std::string("cannot map the user into its namespace: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0)
        return std::string("cannot mount a private sysfs: ") + std::strerror(errno);
    if (::access("/dev/net/tun", R_OK | W_OK) != 0)
        return "no usable /dev/net/tun";
    return {};
}

short FlagsOf(const std::string& name) {
    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    const short flags = ::ioctl(sock, SIOCGIFFLAGS, &request) == 0 ? request.ifr_flags : -1;
    ::close(sock);
    return flags;
}

bool SetUp(const std::string& name) {
    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    bool ok = ::ioctl(sock, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    ok = ok && ::ioctl(sock, SIOCSIFFLAGS, &request) == 0;
    ::close(sock);
    return ok;
}

std::string Join(const Names& names) {
    std::string s;
    for (const std::string& n : names)
        s += (s.empty() ? "" : ",") + n;
    return "[" + s + "]";
}

bool DropAllCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    return ::syscall(SYS_capset, &header, data) == 0;
}

#define EXPECT(cond)                                                                               \
    do {                                                                                           \
        if (!(cond))                                                                               \
            return std::string("line ") + std::to_string(__LINE__) + ": " #cond;                   \
    } while (0)

// The helper that pkexec runs validates its own arguments; called directly,
// as root, for a user it is told of as pkexec tells it.
std::string HelperRun(const std::vector<std::string>& arguments, const std::string& caller,
                      int& exitCode) {
    std::vector<std::string> argv = {"/usr/bin/env", "PKEXEC_UID=" + caller, TAP_HELPER_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const CaptureResult run = RunAndCapture(argv, {}, 10000);
    exitCode = WIFEXITED(run.exitStatus) ? WEXITSTATUS(run.exitStatus) : -1;
    return run.output;
}

std::string HelperRefuses() {
    const std::string user = std::to_string(::getuid() + 4242);
    int code = -1;
    const std::string made = HelperRun({"install"}, user, code);
    EXPECT(code == 0 && made.rfind("tap", 0) == 0);
    const std::string adapter = made.substr(0, made.find('\n'));
    FILE* f = std::fopen(("/sys/class/net/" + adapter + "/owner").c_str(), "r");
    char owner[32] = {};
    EXPECT(f && std::fgets(owner, sizeof owner, f));
    std::fclose(f);
    EXPECT(std::string(owner).rfind(user, 0) == 0); // the asking user's, not root's
    EXPECT((FlagsOf(adapter) & IFF_UP) != 0);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"rename", adapter, "a b"},
                                               {"rename", adapter, "../etc"},
                                               {"rename", adapter, std::string(16, 'x')},
                                               {"rename", adapter, "wg%d"},
                                               {"rename", adapter, "caf\xc3\xa9"},
                                               {"rename", adapter, "del\x7f"},
                                               {"rename", "-x", "y"},
                                               {"rename", adapter},
                                               {"format", "/"},
                                               {}}) {
        HelperRun(bad, user, code);
        EXPECT(code == 2);
    }
    HelperRun({"rename", "lo", "lo2"}, user, code); // no TAP
    EXPECT(code == 3 && FlagsOf("lo") != -1);
    HelperRun({"rename", "lan0", "theirs"}, user, code); // another user's
    EXPECT(code == 3 && FlagsOf("lan0") != -1);
    HelperRun({"install"}, "not-a-number", code);
    EXPECT(code == 2);
    HelperRun({"rename", adapter, "renamed"}, user, code);
    EXPECT(code == 0 && FlagsOf("renamed") != -1);
    EXPECT(RenameTap("renamed", adapter, 0).ok);
    return {};
}

std::string InstallAndRename() {
    EXPECT(ListTapAdapters().empty());
    EXPECT(!TapDriverVersions().empty());
    EXPECT(TapDriverVersions().front().rfind("TUN/TAP", 0) == 0);

    const TapResult first = CreatePersistentTap(::getuid());
    EXPECT(first.ok);
    EXPECT(first.name == "tap0");
    EXPECT((FlagsOf("tap0") & IFF_UP) != 0); // made up, ready to carry traffic
    const TapResult second = CreatePersistentTap(::getuid());
    EXPECT(second.ok && second.name == "tap1");
    // Persistent: still there although our descriptors are closed.
    if (ListTapAdapters() != Names{"tap0", "tap1"})
        return "after install: " + Join(ListTapAdapters());
    const std::string owner = std::to_string(::getuid());
    FILE* f = std::fopen("/sys/class/net/tap0/owner", "r");
    char buffer[32] = {};
    EXPECT(f && std::fgets(buffer, sizeof buffer, f));
    std::fclose(f);
    EXPECT(std::string(buffer).rfind(owner, 0) == 0);

    EXPECT(SetUp("tap0"));
    const TapResult renamed = RenameTap("tap0", "lan0", ::getuid());
    EXPECT(renamed.ok);
    EXPECT(ListTapAdapters() == (Names{"lan0", "tap1"}));
    EXPECT((FlagsOf("lan0") & IFF_UP) != 0); // its state came back
    EXPECT(RenameTap("tap1", "tap1", ::getuid()).ok);
    // Another user's adapter is left alone, unless root asks.
    const uid_t other = ::getuid() + 4242;
    EXPECT(!RenameTap("tap1", "mine", other).ok);
    EXPECT(RenameTap("tap1", "tap1", 0).ok);

    for (const std::string& bad :
         {std::string("a b"), std::string("a/b"), std::string(16, 'x'), std::string(),
          std::string(".."), std::string("x:y"), std::string(" lead"), std::string("tab\t"),
          std::string("wg%d"), std::string("caf\xc3\xa9"), std::string("del\x7f")}) {
        const TapResult refused = RenameTap("tap1", bad, ::getuid());
        EXPECT(!refused.ok && !refused.error.empty());
    }
    EXPECT(RenameTap("tap1", std::string(15, 'x'), ::getuid()).ok);
    EXPECT(RenameTap(std::string(15, 'x'), "tap1", ::getuid()).ok);
    // Not a TAP adapter: left alone.
    EXPECT(!RenameTap("lo", "lo2", 0).ok);
    EXPECT(FlagsOf("lo") != -1);
    EXPECT(!RenameTap("nothing", "x", 0).ok);
    // Taken name: the rename fails and the adapter keeps name and state.
    EXPECT(!RenameTap("lan0", "tap1", ::getuid()).ok);
    EXPECT((FlagsOf("lan0") & IFF_UP) != 0);
    EXPECT(ListTapAdapters() == (Names{"lan0", "tap1"}));

    if (const std::string helper = HelperRefuses(); !helper.empty())
        return "helper: " + helper;

    // Without the capability nothing changes and nothing crashes.
    EXPECT(DropAllCapabilities());
    EXPECT(!HaveNetAdmin());
    const TapResult denied = CreatePersistentTap(::getuid());
    EXPECT(!denied.ok && !denied.error.empty());
    EXPECT(!RenameTap("lan0", "wan0", ::getuid()).ok);
    EXPECT((FlagsOf("lan0") & IFF_UP) != 0);
    EXPECT(ListTapAdapters() == (Names{"lan0", "tap0", "tap1"}));
    return {};
}

// The checks read sysfs by name, the rename acts on an interface index.
// A sysfs of our own stands for what the checks saw when the name has been
// moved since: there "lo" is a TAP adapter of the caller's at the index of a
// real one. Neither interface is touched (and the text says why).
std::string RenameActsOnTheCheckedIndex() {
    const uid_t user = ::getuid() + 4242;
    const TapResult tap = CreatePersistentTap(user);
    EXPECT(tap.ok);
    const unsigned tapIndex = ::if_nametoindex(tap.name.c_str());
    EXPECT(tapIndex != 0 && tapIndex != ::if_nametoindex("lo"));
    char sysfs[] = "/tmp/tarnwick-sysfs-XXXXXX";
    EXPECT(::mkdtemp(sysfs));
    const std::string lo = std::string(sysfs) + "/lo";
    EXPECT(::mkdir(lo.c_str(), 0700) == 0);
    const bool written = WriteBytes(lo + "/tun_flags", "0x1002\n") &&
                         WriteBytes(lo + "/owner", std::to_string(user) + "\n") &&
                         WriteBytes(lo + "/ifindex", std::to_string(tapIndex) + "\n");
    const TapResult moved = RenameTap("lo", "lo2", user, sysfs);
    // At lo's own index the checks pass and lo is renamed; but under its new
    // name it is no TAP adapter of the user's: its name is given back.
    const bool rewritten =
        WriteBytes(lo + "/ifindex", std::to_string(::if_nametoindex("lo")) + "\n");
    const TapResult undone = RenameTap("lo", "lo2", user, sysfs);
    std::filesystem::remove_all(sysfs);
    EXPECT(written && rewritten);
    EXPECT(!moved.ok && moved.error.find("was moved to another interface") != std::string::npos);
    EXPECT(!undone.ok && undone.error.find("was given back") != std::string::npos);
    EXPECT(FlagsOf("lo") != -1 && FlagsOf("lo2") == -1);
    EXPECT(::if_nametoindex(tap.name.c_str()) == tapIndex);
    return {};
}
#undef EXPECT

// Runs `test` in a child in a private network namespace; its outcome, or
// "SKIP <why>" when there is no such namespace here.
std::string InPrivateNetwork(std::string (*test)()) {
    int report[2];
    if (::pipe(report) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child < 0)
        return "no fork";
    if (child == 0) {
        ::close(report[0]);
        std::string outcome = EnterPrivateNetwork();
        outcome = outcome.empty() ? test() : "SKIP " + outcome;
        (void)!::write(report[1], outcome.data(), outcome.size());
        ::_exit(0);
    }
    ::close(report[1]);
    std::string outcome;
    char chunk[512];
    for (ssize_t n; (n = ::read(report[0], chunk, sizeof chunk)) > 0;)
        outcome.append(chunk, std::size_t(n));
    ::close(report[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return "the child did not end normally";
    return outcome;
}

} // namespace

class TestBackendTap : public QObject {
    Q_OBJECT

private slots:
    void interfaceNames_data();
    void interfaceNames();
    void installAndRenameInPrivateNamespace();
    void renameActsOnTheCheckedIndex();
    void listingIgnoresNonTapInterfaces();
};

void TestBackendTap::interfaceNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("tap0") << QByteArray("tap0") << true;
    QTest::newRow("15 bytes") << QByteArray(15, 'a') << true;
    QTest::newRow("16 bytes") << QByteArray(16, 'a') << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("blank") << QByteArray("my tap") << false;
    QTest::newRow("slash") << QByteArray("a/b") << false;
    QTest::newRow("colon") << QByteArray("eth0:1") << false;
    QTest::newRow("comma") << QByteArray("a,b") << false;
    QTest::newRow("equals") << QByteArray("a=b") << false;
    QTest::newRow("dot") << QByteArray(".") << false;
    QTest::newRow("dotdot") << QByteArray("..") << false;
    QTest::newRow("newline") << QByteArray("a\nb") << false;
    QTest::newRow("percent") << QByteArray("wg%d") << false; // the kernel would number it
    QTest::newRow("byte above 0x7f") << QByteArray("caf\xc3\xa9") << false;
    QTest::newRow("control byte") << QByteArray("del\x7f") << false;
    QTest::newRow("dash and dot") << QByteArray("br-lan.10") << true;
}

void TestBackendTap::interfaceNames() {
    QFETCH(QByteArray, name);
    QFETCH(bool, valid);
    QCOMPARE(IsValidInterfaceName(name.toStdString()), valid);
}

void TestBackendTap::installAndRenameInPrivateNamespace() {
    const std::string outcome = InPrivateNetwork(InstallAndRename);
    if (outcome.rfind("SKIP ", 0) == 0)
        QSKIP(("TAP test needs a private network namespace: " + outcome.substr(5)).c_str());
    QVERIFY2(outcome.empty(), outcome.c_str());
}

void TestBackendTap::renameActsOnTheCheckedIndex() {
    const std::string outcome = InPrivateNetwork(RenameActsOnTheCheckedIndex);
    if (outcome.rfind("SKIP ", 0) == 0)
        QSKIP(("TAP test needs a private network namespace: " + outcome.substr(5)).c_str());
    QVERIFY2(outcome.empty(), outcome.c_str());
}

void TestBackendTap::listingIgnoresNonTapInterfaces() {
    QTemporaryDir sysfs;
    auto add = [&](const QString& name, const QByteArray& flags) {
        QVERIFY(QDir().mkpath(sysfs.path() + "/" + name));
        if (flags.isNull())
            return;
        QVERIFY(WriteBytes(ToStd(sysfs.path() + "/" + name + "/tun_flags"), Bytes(flags)));
    };
    add("eth0", QByteArray());
    add("tun0", "0x1001\n"); // IFF_TUN
    add("tapb", "0x1002\n"); // IFF_TAP | IFF_NO_PI
    add("tapa", "0x0002\n");
    add("junk", "garbage\n");
    QCOMPARE(ListTapAdapters(sysfs.path().toStdString()), (Names{"tapa", "tapb"}));
    QVERIFY(ListTapAdapters("/nonexistent").empty());
    QVERIFY(!RenameTap("tun0", "x", 0, sysfs.path().toStdString()).ok);
}

QTEST_GUILESS_MAIN(TestBackendTap)
#include "tst_backend_tap.moc"
