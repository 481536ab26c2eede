#include "Qmp.h"

#include "Files.h"
#include "Process.h"
#include "Sha256.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace bx {

namespace {

bool Ended(int endFd) {
    if (endFd < 0)
        return false;
    pollfd pfd{endFd, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0;
}

// A directory of ours alone: made 0700 when missing, refused when it is a
// link, another user's, or open to others.
bool PrivateDirectory(const std::string& path) {
    ::mkdir(path.c_str(), 0700);
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

} // namespace

std::string TextOf(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object())
        return {};
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string NewQmpSocketPath(std::string& error) {
    std::vector<std::string> places;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        places.push_back(std::string(runtime) + "/tarnwick");
    places.push_back("/tmp/tarnwick-" + std::to_string(::getuid()));
    // Unique and short: a Unix socket path has room for 107 bytes.
    const std::string seed =
        std::to_string(::getpid()) + "/" +
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::string name = "/" + Sha256Hex(seed).substr(0, 16) + ".qmp";
    for (const std::string& place : places)
        if (place.size() + name.size() < sizeof(sockaddr_un{}.sun_path) && PrivateDirectory(place))
            return place + name;
    error = "No private directory for the emulator's control socket: " + places.back() +
            " is not a directory of this user's alone.";
    return {};
}

void RemoveQmpSocket(const std::string& path) {
    struct stat st {};
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".qmp") == 0 &&
        ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
        ::unlink(path.c_str());
}

std::unique_ptr<QmpConnection> QmpConnection::Open(const std::string& path, Deadline until,
                                                   int endFd) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return nullptr;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    for (auto pause = std::chrono::milliseconds(1);;) {
        Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd.valid())
            return nullptr;
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            std::unique_ptr<QmpConnection> connection(new QmpConnection(std::move(fd)));
            const std::optional<nlohmann::json> greeting = connection->Read(until, endFd);
            if (!greeting || !greeting->contains("QMP") ||
                !connection->Execute("qmp_capabilities", until))
                return nullptr;
            return connection;
        }
        const int error = errno;
        fd.close();
        // Not there yet, or not listening yet: QEMU is still setting up.
        if ((error != ENOENT && error != ECONNREFUSED) || Ended(endFd) ||
            std::chrono::steady_clock::now() >= until)
            return nullptr;
        if (endFd >= 0) {
            pollfd pfd{endFd, POLLIN, 0};
            ::poll(&pfd, 1, static_cast<int>(pause.count()));
        } else {
            std::this_thread::sleep_for(pause);
        }
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
}

std::optional<nlohmann::json> QmpConnection::Read(Deadline until, int endFd) {
    while (true) {
        for (std::size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
            nlohmann::json message =
                nlohmann::json::parse(m_pending.substr(0, end), nullptr, false);
            m_pending.erase(0, end + 1);
            if (message.is_object() && !message.contains("event"))
                return message;
        }
        if (m_pending.size() > (1u << 20))
            return std::nullopt; // no line of QEMU's is that long
        pollfd pfds[2] = {{m_fd.get(), POLLIN, 0}, {endFd, POLLIN, 0}};
        const int ready = ::poll(pfds, endFd >= 0 ? 2 : 1, RemainingMs(until));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (endFd >= 0 && pfds[1].revents != 0 && pfds[0].revents == 0))
            return std::nullopt;
        char chunk[8192];
        const ssize_t n = ::read(m_fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        m_pending.append(chunk, static_cast<std::size_t>(n));
    }
}

std::optional<nlohmann::json> QmpConnection::Execute(std::string_view command, Deadline until,
                                                     std::string* error) {
    const std::string line = nlohmann::json{{"execute", command}}.dump() + "\n";
    if (::send(m_fd.get(), line.data(), line.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(line.size()))
        return std::nullopt;
    std::optional<nlohmann::json> reply = Read(until, -1);
    if (!reply)
        return std::nullopt;
    if (const auto it = reply->find("return"); it != reply->end())
        return *it;
    if (error)
        *error = TextOf(reply->value("error", nlohmann::json::object()), "desc");
    return std::nullopt;
}

} // namespace bx
