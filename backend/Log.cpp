#include "Log.h"

#include "Files.h"

#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace bx {

std::string BackendLogFile() {
    return StateDirectory() + "/backend.log";
}

void LogLine(std::string_view text) {
    const std::string directory = StateDirectory();
    if (!MakeDirectories(directory))
        return;
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", ::localtime_r(&now, &local));
    std::string line = std::string(stamp) + " ";
    for (char c : text)
        line += (c == '\n' || c == '\r') ? ' ' : c; // one entry, one line
    line += '\n';
    Fd fd(::open(BackendLogFile().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (fd.get() >= 0) [[maybe_unused]]
        const ssize_t n = ::write(fd.get(), line.data(), line.size());
}

} // namespace bx
