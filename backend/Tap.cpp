#include "Tap.h"

#include "Files.h"
#include "Process.h"
#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/if_tun.h>
#include <memory>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace bx {

namespace {
bool IsTap(const std::string& sysfsNet, const std::string& name) {
    const std::optional<std::string> flags =
        ReadWholeFile(sysfsNet + "/" + name + "/tun_flags", 64);
    if (!flags)
        return false;
    char* end = nullptr;
    const unsigned long value = std::strtoul(flags->c_str(), &end, 0);
    return end != flags->c_str() && (value & IFF_TAP) != 0;
}

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

void CopyName(char (&target)[IFNAMSIZ], const std::string& name) {
    std::memset(target, 0, IFNAMSIZ);
    std::memcpy(target, name.data(), std::min<std::size_t>(name.size(), IFNAMSIZ - 1));
}

// The adapter's owner as the kernel keeps it; -1 for none.
long OwnerOf(const std::string& sysfsNet, const std::string& name) {
    const std::optional<std::string> owner = ReadWholeFile(sysfsNet + "/" + name + "/owner", 64);
    if (!owner)
        return -1;
    char* end = nullptr;
    const long value = std::strtol(owner->c_str(), &end, 10);
    return end != owner->c_str() ? value : -1;
}

bool SetUp(const std::string& name) {
    Fd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq flags{};
    CopyName(flags.ifr_name, name);
    if (sock.get() < 0 || ::ioctl(sock.get(), SIOCGIFFLAGS, &flags) != 0)
        return false;
    flags.ifr_flags = static_cast<short>(flags.ifr_flags | IFF_UP);
    return ::ioctl(sock.get(), SIOCSIFFLAGS, &flags) == 0;
}

// Runs the helper under pkexec; its standard output is its reason.
TapResult RunHelper(const std::string& helper, std::vector<std::string> arguments) {
    TapResult result;
    const std::string pkexec = FindExecutable("pkexec", CurrentSearchPath());
    if (pkexec.empty()) {
        result.error = "this process may not manage network adapters (no CAP_NET_ADMIN) and "
                       "pkexec is not installed (Debian package pkexec) to ask for the right";
        return result;
    }
    if (!IsRegularFile(helper)) {
        result.error = "the helper " + helper + " is not installed";
        return result;
    }
    arguments.insert(arguments.begin(), {pkexec, helper});
    // The user may take a while at the authentication prompt.
    const CaptureResult run = RunAndCapture(arguments, {}, 300000);
    const std::string said = Trim(run.output);
    if (run.started && !run.timedOut && WIFEXITED(run.exitStatus) &&
        WEXITSTATUS(run.exitStatus) == 0) {
        result.ok = true;
        result.name = said;
        return result;
    }
    if (!run.started)
        result.error = "pkexec could not be run";
    else if (WIFEXITED(run.exitStatus) &&
             (WEXITSTATUS(run.exitStatus) == 126 || WEXITSTATUS(run.exitStatus) == 127))
        result.error = "the authentication was declined or failed (pkexec)";
    else
        result.error = said.empty() ? "the helper failed" : said;
    return result;
}
} // namespace

std::vector<std::string> NetworkChoices(const std::string& sysfsNet) {
    std::vector<std::string> choices = {std::string(kUserNetwork), std::string(kNoNetwork)};
    for (std::string& tap : ListTapAdapters(sysfsNet))
        choices.push_back(std::move(tap));
    return choices;
}

bool HaveNetAdmin() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return (data[CAP_NET_ADMIN / 32].effective & (1u << (CAP_NET_ADMIN % 32))) != 0;
}

TapResult InstallTap(const std::string& helper) {
    return HaveNetAdmin() ? CreatePersistentTap(::getuid()) : RunHelper(helper, {"install"});
}

TapResult RenameTapAsUser(const std::string& helper, const std::string& oldName,
                          const std::string& newName) {
    // Nothing the helper would refuse is worth a password prompt.
    if (!IsValidInterfaceName(newName) || !IsValidInterfaceName(oldName))
        return RenameTap(oldName, newName, ::getuid());
    return HaveNetAdmin() ? RenameTap(oldName, newName, ::getuid())
                          : RunHelper(helper, {"rename", oldName, newName});
}

std::vector<std::string> ListTapAdapters(const std::string& sysfsNet) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(sysfsNet.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && IsTap(sysfsNet, name))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TapDriverVersions() {
    if (!PathExists("/dev/net/tun"))
        return {};
    std::string version = "TUN/TAP";
    if (std::optional<std::string> module = ReadWholeFile("/sys/module/tun/version", 64))
        if (std::string v = Trim(*module); !v.empty())
            version += " " + v;
    utsname uts{};
    if (::uname(&uts) == 0)
        version += std::string(" (Linux ") + uts.release + ")";
    return {version};
}

bool IsValidInterfaceName(std::string_view name) {
    if (name.empty() || name.size() >= IFNAMSIZ || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == ':' || c == ',' || c == '=' ||
               std::isspace(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) < 0x20;
    });
}

TapResult CreatePersistentTap(uid_t owner) {
    TapResult result;
    Fd tun(::open("/dev/net/tun", O_RDWR | O_CLOEXEC));
    if (tun.get() < 0) {
        result.error = ErrnoText("cannot open /dev/net/tun");
        return result;
    }
    ifreq request{};
    request.ifr_flags = IFF_TAP | IFF_NO_PI;
    CopyName(request.ifr_name, "tap%d"); // the kernel picks the next free number
    if (::ioctl(tun.get(), TUNSETIFF, &request) != 0) {
        result.error = ErrnoText("cannot create a TAP adapter");
        return result;
    }
    const std::string name(request.ifr_name, strnlen(request.ifr_name, IFNAMSIZ));
    // Until TUNSETPERSIST the adapter vanishes with our descriptor, so a
    // failure below leaves nothing behind.
    if (::ioctl(tun.get(), TUNSETOWNER, static_cast<unsigned long>(owner)) != 0) {
        result.error = ErrnoText(("cannot give " + name + " to the user").c_str());
        return result;
    }
    if (::ioctl(tun.get(), TUNSETPERSIST, 1) != 0) {
        result.error = ErrnoText(("cannot keep " + name).c_str());
        return result;
    }
    // Up, so that traffic flows once QEMU attaches and the host side has an
    // address; an adapter that is down carries nothing.
    if (!SetUp(name)) {
        result.error = ErrnoText(("cannot bring " + name + " up").c_str());
        ::ioctl(tun.get(), TUNSETPERSIST, 0);
        return result;
    }
    result.ok = true;
    result.name = name;
    return result;
}

TapResult RenameTap(const std::string& oldName, const std::string& newName, uid_t caller,
                    const std::string& sysfsNet) {
    TapResult result;
    if (!IsValidInterfaceName(newName)) {
        result.error = "\"" + newName +
                       "\" is not a valid adapter name (1 to 15 bytes, no blanks, '/', ':', ',' "
                       "or '=')";
        return result;
    }
    if (!IsValidInterfaceName(oldName) || !IsTap(sysfsNet, oldName)) {
        result.error = "\"" + oldName + "\" is not a TAP adapter";
        return result;
    }
    if (caller != 0 && OwnerOf(sysfsNet, oldName) != static_cast<long>(caller)) {
        result.error = "the TAP adapter \"" + oldName + "\" belongs to another user";
        return result;
    }
    if (oldName == newName) {
        result.ok = true;
        result.name = newName;
        return result;
    }
    Fd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (sock.get() < 0) {
        result.error = ErrnoText("cannot open a control socket");
        return result;
    }
    ifreq flags{};
    CopyName(flags.ifr_name, oldName);
    if (::ioctl(sock.get(), SIOCGIFFLAGS, &flags) != 0) {
        result.error = ErrnoText(("cannot read the state of " + oldName).c_str());
        return result;
    }
    const short original = flags.ifr_flags;
    if (original & IFF_UP) {
        ifreq down = flags;
        down.ifr_flags = static_cast<short>(original & ~IFF_UP);
        if (::ioctl(sock.get(), SIOCSIFFLAGS, &down) != 0) {
            result.error = ErrnoText(("cannot take " + oldName + " down").c_str());
            return result;
        }
    }
    ifreq rename{};
    CopyName(rename.ifr_name, oldName);
    CopyName(rename.ifr_newname, newName);
    const bool renamed = ::ioctl(sock.get(), SIOCSIFNAME, &rename) == 0;
    if (!renamed)
        result.error = ErrnoText(("cannot rename " + oldName + " to " + newName).c_str());
    if (original & IFF_UP) {
        ifreq up{};
        CopyName(up.ifr_name, renamed ? newName : oldName);
        up.ifr_flags = original;
        ::ioctl(sock.get(), SIOCSIFFLAGS, &up);
    }
    result.ok = renamed;
    if (renamed)
        result.name = newName;
    return result;
}

} // namespace bx
