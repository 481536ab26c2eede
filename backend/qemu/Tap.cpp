#include "Tap.h"

#include "Files.h"
#include "Process.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/if_tun.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <memory>
#include <net/if.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace bx {

namespace {
std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

std::string ErrorText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

void CopyName(char (&target)[IFNAMSIZ], const std::string& name) {
    std::memset(target, 0, IFNAMSIZ);
    std::memcpy(target, name.data(), std::min<std::size_t>(name.size(), IFNAMSIZ - 1));
}

// What sysfs says of an interface.
struct Seen {
    unsigned index = 0; // none
    bool tap = false;
    long owner = -1; // the adapter's owner as the kernel keeps it; -1 for none
};

// A number in the small file `file` of the directory `dir`, if there is one.
std::optional<long long> NumberAt(int dir, const char* file, int base) {
    const Fd fd(::openat(dir, file, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    char text[64] = {};
    if (!fd.valid() || ::read(fd.get(), text, sizeof text - 1) <= 0)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, base);
    if (end == text || errno != 0)
        return std::nullopt;
    return value;
}

// Reads the interface `name` under `sysfsNet` through one descriptor of its
// directory, which stays with its interface through a rename: the answers,
// its index among them, are all of one interface.
Seen Inspect(const std::string& sysfsNet, const std::string& name) {
    Seen seen;
    const Fd dir(::open((sysfsNet + "/" + name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return seen;
    const std::optional<long long> index = NumberAt(dir.get(), "ifindex", 10);
    const std::optional<long long> flags = NumberAt(dir.get(), "tun_flags", 0);
    const std::optional<long long> owner = NumberAt(dir.get(), "owner", 10);
    if (index && *index > 0 && *index <= INT_MAX)
        seen.index = static_cast<unsigned>(*index);
    seen.tap = flags && (*flags & IFF_TAP) != 0;
    if (owner && *owner >= -1 && *owner <= INT_MAX)
        seen.owner = static_cast<long>(*owner);
    return seen;
}

// Requests to the kernel's routing socket (rtnetlink) about one interface,
// addressed by its index, each answered by an acknowledgement.
class RouteSocket {
public:
    RouteSocket() : m_fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {
        const timeval patience{5, 0};
        if (m_fd.valid())
            ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    }
    bool valid() const { return m_fd.valid(); }

    // The name and flags of the interface at `index`; 0 or an errno value.
    int GetLink(unsigned index, std::string& name, unsigned& flags) {
        Message request(RTM_GETLINK, index);
        bool answered = false;
        const int error = Request(request, [&](const nlmsghdr& reply) {
            const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(&reply));
            if (reply.nlmsg_type != RTM_NEWLINK || reply.nlmsg_len < NLMSG_LENGTH(sizeof *info) ||
                info->ifi_index != static_cast<int>(index))
                return;
            answered = true;
            flags = info->ifi_flags;
            int length = static_cast<int>(IFLA_PAYLOAD(&reply));
            for (const rtattr* a = IFLA_RTA(info); RTA_OK(a, length); a = RTA_NEXT(a, length))
                if (a->rta_type == IFLA_IFNAME) {
                    const char* text = static_cast<const char*>(RTA_DATA(a));
                    name.assign(text, strnlen(text, RTA_PAYLOAD(a)));
                }
        });
        return error != 0 ? error : answered ? 0 : EPROTO;
    }

    // Sets the flags of `change` to those of `flags`, or, given a name,
    // renames the interface at `index`; 0 or an errno value.
    int SetLink(unsigned index, unsigned flags, unsigned change, const std::string* newName) {
        Message request(RTM_SETLINK, index);
        request.info.ifi_flags = flags;
        request.info.ifi_change = change;
        if (newName) {
            auto* name = reinterpret_cast<rtattr*>(request.attributes);
            name->rta_type = IFLA_IFNAME;
            name->rta_len = static_cast<unsigned short>(
                RTA_LENGTH(std::min<std::size_t>(newName->size(), IFNAMSIZ - 1) + 1));
            std::memcpy(RTA_DATA(name), newName->c_str(), RTA_PAYLOAD(name) - 1);
            request.header.nlmsg_len =
                NLMSG_ALIGN(request.header.nlmsg_len) + RTA_ALIGN(name->rta_len);
        }
        return Request(request, [](const nlmsghdr&) {});
    }

private:
    struct Message {
        Message(unsigned short type, unsigned index) {
            header.nlmsg_len = NLMSG_LENGTH(sizeof info);
            header.nlmsg_type = type;
            header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
            info.ifi_family = AF_UNSPEC;
            info.ifi_index = static_cast<int>(index);
        }
        nlmsghdr header{};
        ifinfomsg info{};
        alignas(NLMSG_ALIGNTO) char attributes[RTA_SPACE(IFNAMSIZ)] = {};
    };
    static_assert(offsetof(Message, attributes) == NLMSG_LENGTH(sizeof(ifinfomsg)));

    // Sends `request` and reads the kernel's answers to it up to its
    // acknowledgement: 0, or the errno value the kernel gave.
    template <typename OnReply> int Request(Message& request, OnReply onReply) {
        request.header.nlmsg_seq = ++m_sequence;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(m_fd.get(), &request, request.header.nlmsg_len, 0,
                     reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0)
            return errno;
        alignas(nlmsghdr) char buffer[32768];
        while (true) {
            sockaddr_nl from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(m_fd.get(), buffer, sizeof buffer, MSG_TRUNC,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno == EAGAIN ? ETIMEDOUT : errno;
            if (static_cast<std::size_t>(n) > sizeof buffer)
                return EMSGSIZE;
            if (from.nl_pid != 0) // not the kernel's
                continue;
            int left = static_cast<int>(n);
            for (auto* h = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(h, left);
                 h = NLMSG_NEXT(h, left)) {
                if (h->nlmsg_seq != request.header.nlmsg_seq)
                    continue;
                if (h->nlmsg_type != NLMSG_ERROR) {
                    onReply(*h);
                    continue;
                }
                if (h->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr)))
                    return EPROTO;
                return -static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
            }
        }
    }

    Fd m_fd;
    unsigned m_sequence = 0;
};

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
        if (name != "." && name != ".." && Inspect(sysfsNet, name).tap)
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
    return std::all_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x21 && byte <= 0x7e && c != '%' && c != '/' && c != ':' && c != ',' &&
               c != '=';
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
        result.error = "\"" + newName + "\" is not a valid adapter name (" +
                       std::string(kInterfaceNameRule) + ")";
        return result;
    }
    // The checks are of the interface at the index the name has now...
    const unsigned index = IsValidInterfaceName(oldName) ? ::if_nametoindex(oldName.c_str()) : 0;
    const Seen seen = index != 0 ? Inspect(sysfsNet, oldName) : Seen{};
    if (!seen.tap) {
        result.error = "\"" + oldName + "\" is not a TAP adapter";
        return result;
    }
    if (caller != 0 && seen.owner != static_cast<long>(caller)) {
        result.error = "the TAP adapter \"" + oldName + "\" belongs to another user";
        return result;
    }
    // ...and the name must still be that interface's.
    const std::string moved =
        "\"" + oldName + "\" was moved to another interface while it was checked; nothing changed";
    if (seen.index != index || ::if_nametoindex(oldName.c_str()) != index) {
        result.error = moved;
        return result;
    }
    if (oldName == newName) {
        result.ok = true;
        result.name = newName;
        return result;
    }
    // From here on the interface is addressed by its index alone.
    RouteSocket route;
    if (!route.valid()) {
        result.error = ErrnoText("cannot open a routing socket");
        return result;
    }
    std::string current;
    unsigned original = 0;
    if (const int error = route.GetLink(index, current, original); error != 0) {
        result.error = ErrorText("cannot read the state of " + oldName, error);
        return result;
    }
    if (current != oldName) {
        result.error = moved;
        return result;
    }
    const bool wasUp = (original & IFF_UP) != 0;
    if (wasUp)
        if (const int error = route.SetLink(index, 0, IFF_UP, nullptr); error != 0) {
            result.error = ErrorText("cannot take " + oldName + " down", error);
            return result;
        }
    bool renamed = false;
    if (const int error = route.SetLink(index, 0, 0, &newName); error != 0) {
        result.error = ErrorText("cannot rename " + oldName + " to " + newName, error);
    } else if (const Seen now = Inspect(sysfsNet, newName);
               now.index != index || !now.tap || now.owner != seen.owner) {
        // Another interface than the one checked: its name back.
        const bool back = route.SetLink(index, 0, 0, &oldName) == 0;
        result.error = "the interface renamed to " + newName + " was not the TAP adapter " +
                       oldName + " that was checked; " +
                       (back ? "its name was given back" : "its name could not be given back");
    } else {
        renamed = true;
    }
    if (wasUp)
        route.SetLink(index, IFF_UP, IFF_UP, nullptr);
    result.ok = renamed;
    if (renamed)
        result.name = newName;
    return result;
}

} // namespace bx
