#include "base/AtomicFile.h"

#include "base/Fd.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == path.npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A hidden name beside the target; O_EXCL settles collisions, so the name
// needs to be unlikely, not unpredictable.
std::string TemporaryName(const std::string& target, unsigned attempt) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto slash = target.rfind('/');
    const std::string dir = slash == target.npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == target.npos ? target : target.substr(slash + 1);
    std::uint64_t seed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    seed ^= (static_cast<std::uint64_t>(::getpid()) << 32) + attempt * 0x9E3779B97F4A7C15ull;
    std::string name = dir + "." + base + ".";
    for (int i = 0; i < 10; ++i, seed = seed * 6364136223846793005ull + 1442695040888963407ull)
        name += kHex[(seed >> 59) & 15];
    return name + ".tmp";
}

} // namespace

// Writes go to the file a symbolic link points at, so the link survives.
std::string ReplacedFile(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string target(real);
    std::free(real);
    return target;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                           const ReplaceOptions& options) {
    auto fail = [&](const char* what, int error) {
        if (options.error)
            *options.error = std::string(what) + " " + path + ": " + std::strerror(error);
        return false;
    };
    // A simulated fault reports as the device error it stands for.
    auto faulted = [&](ReplaceFault::Step step) {
        const bool hit = options.fault && options.fault->step == step;
        if (hit)
            errno = EIO;
        return hit;
    };
    if (path.empty())
        return fail("cannot replace", ENOENT);
    const std::string target = options.followLink ? ReplacedFile(path) : path;
    struct stat old;
    bool exists = ::lstat(target.c_str(), &old) == 0;
    if (exists && S_ISLNK(old.st_mode)) {
        // Only left when followLink is false (or the link dangles): the
        // rename replaces the link, so it has nothing to keep.
        if (options.followLink) {
            exists = ::stat(target.c_str(), &old) == 0;
        } else {
            exists = false;
            errno = ENOENT;
        }
    }
    if (exists) {
        if (!S_ISREG(old.st_mode))
            return fail("cannot replace", EINVAL);
        if ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
            return fail("cannot replace", EACCES);
    } else if (errno != ENOENT) {
        return fail("cannot replace", errno);
    }

    std::string temp;
    Fd fd;
    for (unsigned attempt = 0; attempt < 16 && !fd.valid(); ++attempt) {
        temp = TemporaryName(target, attempt);
        fd = Fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, options.newFileMode));
        if (!fd.valid() && errno != EEXIST)
            break;
    }
    if (!fd.valid())
        return fail("cannot create a temporary file for", errno);

    bool ok = true;
    if (exists) {
        // Ownership first, as a change of owner clears set-id bits. Only root
        // may hand the file back to another owner; else it becomes ours.
        [[maybe_unused]] const int owned = ::fchown(fd.get(), old.st_uid, old.st_gid);
        ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    }
    if (ok) {
        if (faulted(ReplaceFault::Step::Write)) {
            WriteAll(fd.get(), bytes.substr(0, options.fault->atByte));
            errno = EIO;
            ok = false;
        } else {
            ok = WriteAll(fd.get(), bytes);
        }
    }
    ok = ok && !faulted(ReplaceFault::Step::Sync) && ::fsync(fd.get()) == 0;
    int error = errno;
    if (!fd.close() && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail("cannot write", error);
    }
    if (faulted(ReplaceFault::Step::Rename) || ::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        ::unlink(temp.c_str());
        return fail("cannot replace", error);
    }
    if (const Fd dir(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        dir.valid())
        ::fsync(dir.get());
    return true;
}

} // namespace base
