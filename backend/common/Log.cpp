#include "Log.h"

#include "Files.h"

#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bx {

namespace {
constexpr const char* kLogName = "backend.log";
constexpr const char* kOlderLogName = "backend.log.1";

// The log in the directory `dir`, open for appending, when it is what it
// should be: a regular file (no link followed; not a FIFO or device, which
// O_NONBLOCK and O_NOCTTY keep from blocking or becoming a terminal) of the
// effective user with one name (no hard link to another file). A log at the
// limit is renamed to the older log first (under a lock, and only while it
// still has its name: another process may have done so already). Else none.
Fd OpenLog(int dir) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        Fd fd(::openat(
            dir, kLogName,
            O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
        struct stat file {};
        if (!fd.valid() || ::fstat(fd.get(), &file) != 0 || !S_ISREG(file.st_mode) ||
            file.st_uid != ::geteuid() || file.st_nlink != 1)
            return Fd();
        if (file.st_size < kBackendLogLimit)
            return fd;
        struct stat named {};
        if (::flock(fd.get(), LOCK_EX) != 0)
            return Fd();
        if (::fstatat(dir, kLogName, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == file.st_dev && named.st_ino == file.st_ino &&
            ::renameat(dir, kLogName, dir, kOlderLogName) != 0)
            return Fd();
    }
    return Fd();
}
} // namespace

std::string BackendLogFile() {
    return StateDirectory() + "/" + kLogName;
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
    const Fd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return;
    const Fd fd = OpenLog(dir.get());
    if (fd.valid()) [[maybe_unused]]
        const ssize_t n = ::write(fd.get(), line.data(), line.size());
}

} // namespace bx
