#include "Images.h"

#include "Files.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace bx {

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

std::optional<std::string> RecordedFormat(const KnownImages& images, const std::string& path) {
    for (const KnownImage& image : images)
        if (image.path == path)
            return image.format;
    return std::nullopt;
}

std::string DecideFormat(const MachineStore& store, std::string_view machine,
                         const std::string& path) {
    for (const std::string& other : store.Names()) {
        if (other == machine)
            continue;
        if (const std::optional<StoredMachine> stored = store.LoadStored(other))
            if (std::optional<std::string> format = RecordedFormat(stored->images, path))
                return *format;
    }
    return ProbeImageFormat(path);
}

void RememberFormat(KnownImages& images, const std::string& path, const std::string& format) {
    constexpr std::size_t kKept = 32;
    images.erase(std::remove_if(images.begin(), images.end(),
                                [&path](const KnownImage& image) { return image.path == path; }),
                 images.end());
    images.push_back({format, path});
    if (images.size() > kKept)
        images.erase(images.begin(), images.end() - kKept);
}

} // namespace bx
