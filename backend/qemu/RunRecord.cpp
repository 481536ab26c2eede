#include "RunRecord.h"

#include "Files.h"
#include "Process.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bx {

namespace {

constexpr std::string_view kRecordSuffix = ".run";
constexpr std::size_t kKeyLength = 16;

std::string FallbackPrefix() {
    return "/tmp/tarnwick-" + std::to_string(::getuid());
}

// A directory of ours alone: a link, another user's, or one open to others
// is not.
bool IsPrivateDirectory(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

bool FitsSocketAddress(const std::string& directory) {
    return directory.size() + 1 + kKeyLength + 4 < sizeof(sockaddr_un{}.sun_path);
}

std::string NewKey() {
    unsigned char bytes[kKeyLength / 2] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // Unique is what matters here; the directory keeps others out.
        const auto seed = static_cast<unsigned long long>(::getpid()) ^
                          static_cast<unsigned long long>(
                              std::chrono::steady_clock::now().time_since_epoch().count());
        std::memcpy(bytes, &seed, sizeof bytes);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string key;
    for (unsigned char b : bytes) {
        key += kHex[b >> 4];
        key += kHex[b & 15];
    }
    return key;
}

RunPaths PathsIn(const std::string& directory, const std::string& key) {
    const std::string stem = directory + "/" + key;
    return {stem + std::string(kRecordSuffix), stem + ".qmp", stem + ".pid"};
}

// The state letter and start time (clock ticks after boot) of a process,
// from /proc/<pid>/stat; the name in parentheses may hold anything.
struct ProcessStat {
    char state = '?';
    unsigned long long startTime = 0;
};

std::optional<ProcessStat> ReadProcessStat(int pid) {
    const std::optional<std::string> text =
        ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", 4096);
    if (!text)
        return std::nullopt;
    const std::size_t close = text->rfind(')');
    if (close == std::string::npos || close + 2 >= text->size())
        return std::nullopt;
    std::vector<std::string_view> fields;
    std::string_view rest = std::string_view(*text).substr(close + 2);
    while (!rest.empty()) {
        const std::size_t blank = rest.find(' ');
        fields.push_back(rest.substr(0, blank));
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    }
    // fields[0] is the state (field 3 of the line), fields[19] the start time (field 22).
    ProcessStat stat;
    if (fields.size() < 20 || fields[0].size() != 1)
        return std::nullopt;
    stat.state = fields[0][0];
    const std::string_view start = fields[19];
    if (std::from_chars(start.data(), start.data() + start.size(), stat.startTime).ec !=
        std::errc())
        return std::nullopt;
    return stat;
}

bool HasArgument(int pid, const std::string& wanted) {
    const std::optional<std::string> cmdline =
        ReadWholeFile("/proc/" + std::to_string(pid) + "/cmdline", 1u << 20);
    if (!cmdline)
        return false;
    for (std::size_t at = 0; at < cmdline->size();) {
        const std::size_t end = std::min(cmdline->find('\0', at), cmdline->size());
        if (std::string_view(*cmdline).substr(at, end - at) == wanted)
            return true;
        at = end + 1;
    }
    return false;
}

bool OwnedByUs(int pid) {
    struct stat st {};
    return ::stat(("/proc/" + std::to_string(pid)).c_str(), &st) == 0 && st.st_uid == ::getuid();
}

struct Record {
    int pid = 0;
    unsigned long long startTime = 0;
    long long writtenNs = 0;
};

std::optional<Record> ReadRecord(const std::string& path) {
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::getuid() || st.st_size > 256)
        return std::nullopt;
    char buffer[257] = {};
    const ssize_t n = ::read(fd.get(), buffer, 256);
    if (n <= 0)
        return std::nullopt;
    Record record;
    record.writtenNs =
        static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    const char* end = buffer + n;
    auto [afterPid, pidError] = std::from_chars(buffer, end, record.pid);
    if (pidError != std::errc() || afterPid == end || *afterPid != ' ')
        return std::nullopt;
    if (std::from_chars(afterPid + 1, end, record.startTime).ec != std::errc())
        return std::nullopt;
    return record;
}

int OpenPidfd(int pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

} // namespace

std::vector<std::string> RuntimeDirectories() {
    std::vector<std::string> places;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        places.push_back(std::string(runtime) + "/tarnwick");
    places.push_back(FallbackPrefix());
    std::vector<std::string> usable;
    for (const std::string& place : places) {
        if (!FitsSocketAddress(place))
            continue;
        ::mkdir(place.c_str(), 0700);
        if (IsPrivateDirectory(place))
            usable.push_back(place);
    }
    return usable;
}

std::optional<RunPaths> NewRunPaths(std::string& error) {
    if (const std::vector<std::string> places = RuntimeDirectories(); !places.empty())
        return PathsIn(places.front(), NewKey());
    // Someone else holds the usual place: one of our own beside it, named in
    // the machine's run file like any other.
    std::string pattern = FallbackPrefix() + ".XXXXXX";
    if (::mkdtemp(pattern.data()) && IsPrivateDirectory(pattern))
        return PathsIn(pattern, NewKey());
    error = "No private directory for the emulator's control socket: " + FallbackPrefix() +
            " is not a directory of this user's alone, and none could be made beside it (" +
            std::strerror(errno) + ").";
    return std::nullopt;
}

bool WriteRunRecord(const RunPaths& paths, int pid) {
    const std::optional<ProcessStat> stat = pid > 1 ? ReadProcessStat(pid) : std::nullopt;
    if (!stat)
        return false;
    // A new key each start: the file is new, and nobody else can write in
    // its directory. Not synced: after a crash of the host no emulator runs.
    const Fd fd(
        ::open(paths.record.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    const std::string text = std::to_string(pid) + " " + std::to_string(stat->startTime) + "\n";
    return fd.valid() &&
           ::write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

std::optional<RunPaths> RecordedPaths(const std::string& pointerFile) {
    const std::string record = Trim(ReadWholeFile(pointerFile, 4096).value_or(""));
    const std::size_t slash = record.rfind('/');
    if (record.empty() || record.front() != '/' || slash == std::string::npos ||
        record.size() != slash + 1 + kKeyLength + kRecordSuffix.size() ||
        !record.ends_with(kRecordSuffix))
        return std::nullopt;
    const std::string directory = record.substr(0, slash);
    const std::string key = record.substr(slash + 1, kKeyLength);
    if (key.find_first_not_of("0123456789abcdef") != std::string::npos ||
        !IsPrivateDirectory(directory))
        return std::nullopt;
    return PathsIn(directory, key);
}

std::optional<VerifiedEmulator> FindEmulator(const std::string& pointerFile) {
    std::optional<RunPaths> paths = RecordedPaths(pointerFile);
    const std::optional<Record> record = paths ? ReadRecord(paths->record) : std::nullopt;
    if (!record || record->pid <= 1 || record->pid == ::getpid())
        return std::nullopt;
    VerifiedEmulator emulator;
    emulator.pid = record->pid;
    emulator.startTime = record->startTime;
    // Opened first: if the checks below find the recorded process, this
    // descriptor is that process and no later one with its number.
    emulator.pidfd = Fd(OpenPidfd(record->pid));
    // QEMU removes its pid file as it ends: from then on it is stopping,
    // and a watcher told of the removal reads it as stopped.
    struct stat pidFile {};
    const std::optional<ProcessStat> stat = ReadProcessStat(record->pid);
    if (!stat || stat->startTime != record->startTime || stat->state == 'Z' ||
        ::lstat(paths->pidFile.c_str(), &pidFile) != 0 || !S_ISREG(pidFile.st_mode) ||
        !OwnedByUs(record->pid) || !HasArgument(record->pid, paths->pidFile))
        return std::nullopt;
    emulator.paths = std::move(*paths);
    emulator.recordedNs = record->writtenNs;
    return emulator;
}

Fd WatchRunEvents() {
    Fd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    bool watching = false;
    // A start makes its record there, QEMU removes its pid file as it ends,
    // a force off removes what is left.
    for (const std::string& directory : RuntimeDirectories())
        watching |= fd.valid() && ::inotify_add_watch(fd.get(), directory.c_str(),
                                                      IN_CREATE | IN_DELETE | IN_MOVED_TO |
                                                          IN_MOVED_FROM | IN_ONLYDIR) >= 0;
    return watching ? std::move(fd) : Fd();
}

void KillEmulator(const VerifiedEmulator& emulator) {
#ifdef SYS_pidfd_send_signal
    if (emulator.pidfd.valid()) {
        ::syscall(SYS_pidfd_send_signal, emulator.pidfd.get(), SIGKILL, nullptr, 0);
        return;
    }
#endif
    // No pidfd (an old kernel): the number is checked once more right before.
    const std::optional<ProcessStat> stat = ReadProcessStat(emulator.pid);
    if (emulator.pid > 1 && stat && stat->startTime == emulator.startTime)
        ::kill(emulator.pid, SIGKILL);
}

bool WaitUntilEnded(const VerifiedEmulator& emulator, std::chrono::steady_clock::time_point until) {
    if (emulator.pidfd.valid()) {
        // Readable once the process has ended.
        pollfd pfd{emulator.pidfd.get(), POLLIN, 0};
        int ready;
        while ((ready = ::poll(&pfd, 1, RemainingMs(until))) < 0 && errno == EINTR) {
        }
        return ready > 0;
    }
    while (true) {
        const std::optional<ProcessStat> stat = ReadProcessStat(emulator.pid);
        if (!stat || stat->startTime != emulator.startTime || stat->state == 'Z')
            return true;
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ForgetRun(const std::string& pointerFile) {
    const std::optional<RunPaths> paths = RecordedPaths(pointerFile);
    if (!paths)
        return;
    for (const std::string* file : {&paths->record, &paths->socket, &paths->pidFile}) {
        struct stat st {};
        if (::lstat(file->c_str(), &st) == 0 && st.st_uid == ::getuid() &&
            (S_ISREG(st.st_mode) || S_ISSOCK(st.st_mode)))
            ::unlink(file->c_str());
    }
    // A directory made beside a taken one is ours to remove once empty.
    const std::string directory = ParentDirectory(paths->record);
    if (directory.starts_with(FallbackPrefix() + "."))
        ::rmdir(directory.c_str());
}

} // namespace bx
