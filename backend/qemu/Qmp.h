// QEMU's machine protocol (QMP) over the Unix socket that every emulator the
// back end starts listens on: how a start learns that the emulator is ready,
// and how a running machine is asked for its state and stopped.
#pragma once

#include "base/Fd.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bx {

using Deadline = std::chrono::steady_clock::time_point;

// A string member of a JSON object; empty when absent or of another kind.
std::string TextOf(const nlohmann::json& object, std::string_view key);

// A control socket bound at `path` and listening, to hand to the emulator
// as it starts: connections wait in its queue until QEMU takes them, so a
// start need not wait for QEMU to make the socket. Invalid, with `error`
// set, when it cannot be made.
base::Fd ListenQmpSocket(const std::string& path, std::string& error);

class QmpConnection {
public:
    // Connects to `path`, reads QEMU's greeting and leaves it ready for
    // commands: waits for them until `until`, or until `endFd` (when given)
    // reports that the emulator ended.
    static std::unique_ptr<QmpConnection> Open(const std::string& path, Deadline until,
                                               int endFd = -1);
    QmpConnection(const QmpConnection&) = delete;
    QmpConnection& operator=(const QmpConnection&) = delete;

    // The command's "return" value; nullopt when QEMU answered with an error
    // (its text in `error`), closed the connection or did not answer in time.
    std::optional<nlohmann::json> Execute(std::string_view command, Deadline until,
                                          std::string* error = nullptr);

private:
    explicit QmpConnection(base::Fd fd) : m_fd(std::move(fd)) {}
    // The next message that is not an event.
    std::optional<nlohmann::json> Read(Deadline until, int endFd);

    base::Fd m_fd;
    std::string m_pending;
};

} // namespace bx
