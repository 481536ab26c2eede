#include "Files.h"

#include "Text.h"
#include "base/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bx {

namespace {
std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

std::string XdgDirectory(const char* variable, const char* fallbackBelowHome) {
    // The XDG rules ignore relative values.
    if (const char* value = std::getenv(variable); value && *value == '/')
        return value;
    return HomeDirectory() + "/" + fallbackBelowHome;
}
} // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid())
        return std::nullopt;
    std::string data;
    char chunk[8192];
    while (true) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || data.size() + static_cast<std::size_t>(n) > maxBytes)
            return std::nullopt;
        if (n == 0)
            break;
        data.append(chunk, static_cast<std::size_t>(n));
    }
    return data;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
    return base::ReplaceFileAtomically(path, data,
                                       {.newFileMode = 0600, .followLink = false, .error = error});
}

bool MakeDirectories(const std::string& path) {
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const std::string parent = ParentDirectory(path);
    if (parent != path && !parent.empty() && !MakeDirectories(parent))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

long long ModifiedNs(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

std::string ParentDirectory(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string ResolvePath(const std::string& base, const std::string& path) {
    if (path.empty() || path.front() == '/')
        return path;
    if (base.empty() || base == "/")
        return "/" + path;
    return base + "/" + path;
}

std::string StoreDirectory() {
    if (const char* store = std::getenv("TARNWICK_STORE"); store && *store)
        return store;
    return XdgDirectory("XDG_DATA_HOME", ".local/share") + "/tarnwick/machines";
}

std::string CacheDirectory() {
    return XdgDirectory("XDG_CACHE_HOME", ".cache") + "/tarnwick";
}

std::string StateDirectory() {
    return XdgDirectory("XDG_STATE_HOME", ".local/state") + "/tarnwick";
}

std::string LibraryDirectory() {
    // Resolved once: the manager asks for every row of its list, and the
    // library's place does not change while it is loaded.
    static const std::string directory = [] {
        Dl_info info{};
        if (::dladdr(reinterpret_cast<void*>(&LibraryDirectory), &info) == 0 || !info.dli_fname)
            return std::string();
        char* real = ::realpath(info.dli_fname, nullptr);
        std::string file = real ? real : info.dli_fname;
        std::free(real);
        return ParentDirectory(file);
    }();
    return directory;
}

std::string FindExecutable(std::string_view name, std::string_view searchPath) {
    if (name.empty() || name.find('/') != std::string_view::npos)
        return {};
    for (const std::string& directory : Split(searchPath, ':')) {
        if (directory.empty() || directory.front() != '/')
            continue;
        const std::string candidate = directory + "/" + std::string(name);
        if (IsRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string CurrentSearchPath() {
    const char* path = std::getenv("PATH");
    return path ? path : "/usr/local/bin:/usr/bin:/bin";
}

} // namespace bx
