#include "Images.h"

#include "Files.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace bx {

namespace {

// Whether `image` records the file `identity` that `path` reaches. A line
// of an older version names a path only: it holds for what is there now.
// The same inode at the recorded path counts too: some file systems (btrfs
// subvolumes) number their device anew at each mount.
bool Records(const KnownImage& image, const std::string& path, const FileIdentity& identity) {
    if (!image.identity) {
        const std::optional<FileIdentity> there = IdentityOf(image.path);
        return there && SameFile(*there, identity);
    }
    FileIdentity moved = *image.identity;
    moved.device = identity.device;
    return SameFile(*image.identity, identity) || (image.path == path && SameFile(moved, identity));
}

const KnownImage* Find(const KnownImages& images, const std::string& path,
                       const FileIdentity& identity) {
    for (const KnownImage& image : images)
        if (Records(image, path, identity))
            return &image;
    return nullptr;
}

} // namespace

std::string ProbeImageFormat(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    unsigned char magic[4] = {};
    if (fd.get() >= 0 && ::read(fd.get(), magic, sizeof magic) == sizeof magic &&
        std::memcmp(magic, "QFI\xfb", 4) == 0)
        return "qcow2";
    return "raw";
}

bool CreateSparseImage(const std::string& path, uint64_t bytes, std::string& error) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        error = "Cannot create the image " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::ftruncate(fd.get(), static_cast<off_t>(bytes)) != 0) {
        error = "Cannot give the image " + path + " its size: " + std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct statx st {};
    if (path.empty() || ::statx(AT_FDCWD, path.c_str(), 0, STATX_INO | STATX_BTIME, &st) != 0)
        return std::nullopt;
    FileIdentity identity{makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_ino, 0};
    if (st.stx_mask & STATX_BTIME)
        identity.birthNs =
            static_cast<uint64_t>(st.stx_btime.tv_sec) * 1000000000u + st.stx_btime.tv_nsec;
    return identity;
}

bool IsImageFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

std::optional<std::string> DecideFormat(const MachineStore& store, KnownImages& own,
                                        const std::string& path, Undecided undecided,
                                        bool& changed) {
    const std::optional<FileIdentity> identity = IdentityOf(path);
    if (!identity)
        return std::nullopt;
    std::optional<std::string> format;
    if (const KnownImage* mine = Find(own, path, *identity)) {
        if (mine->identity == identity)
            return mine->format;
        format = mine->format; // recorded anew with its identity
    } else if (const KnownImages every = store.EveryRecordedImage();
               const KnownImage* other = Find(every, path, *identity)) {
        format = other->format;
    } else if (undecided == Undecided::Raw) {
        format = "raw";
    } else if (undecided == Undecided::Probe) {
        format = ProbeImageFormat(path);
    } else {
        return std::nullopt;
    }
    RememberFormat(own, path, *format);
    changed = true;
    return format;
}

void RememberFormat(KnownImages& images, const std::string& path, const std::string& format) {
    const std::optional<FileIdentity> identity = IdentityOf(path);
    images.erase(std::remove_if(images.begin(), images.end(),
                                [&](const KnownImage& image) {
                                    return identity ? Records(image, path, *identity)
                                                    : !image.identity && image.path == path;
                                }),
                 images.end());
    images.push_back({format, path, identity});
}

} // namespace bx
