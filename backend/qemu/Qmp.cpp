#include "Qmp.h"

#include "Files.h"
#include "Process.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace bx {

std::string TextOf(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object())
        return {};
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

namespace {
bool AddressOf(const std::string& path, sockaddr_un& address) {
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}
} // namespace

Fd ListenQmpSocket(const std::string& path, std::string& error) {
    sockaddr_un address{};
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!AddressOf(path, address) || !fd.valid() ||
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), 8) != 0) {
        error = "Cannot make the emulator's control socket " + path + ": " + std::strerror(errno);
        return Fd();
    }
    return fd;
}

std::unique_ptr<QmpConnection> QmpConnection::Open(const std::string& path, Deadline until,
                                                   int endFd) {
    sockaddr_un address{};
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!AddressOf(path, address) || !fd.valid() ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return nullptr;
    std::unique_ptr<QmpConnection> connection(new QmpConnection(std::move(fd)));
    const std::optional<nlohmann::json> greeting = connection->Read(until, endFd);
    if (!greeting || !greeting->contains("QMP") || !connection->Execute("qmp_capabilities", until))
        return nullptr;
    return connection;
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
