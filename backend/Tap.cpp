#include "Tap.h"

#include "Files.h"
#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <memory>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
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
} // namespace

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

TapResult CreatePersistentTap() {
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
    if (::ioctl(tun.get(), TUNSETOWNER, static_cast<unsigned long>(::getuid())) != 0) {
        result.error = ErrnoText(("cannot give " + name + " to the user").c_str());
        return result;
    }
    if (::ioctl(tun.get(), TUNSETPERSIST, 1) != 0) {
        result.error = ErrnoText(("cannot keep " + name).c_str());
        return result;
    }
    result.ok = true;
    result.name = name;
    return result;
}

TapResult RenameTap(const std::string& oldName, const std::string& newName,
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
