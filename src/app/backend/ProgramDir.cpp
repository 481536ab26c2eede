#include "app/backend/ProgramDir.h"

#include <unistd.h>
#include <vector>

namespace {

// The link's whole target, however long; empty when it cannot be read.
std::string ReadExecutablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

std::string GetProgramDir() {
    const std::string path = ReadExecutablePath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
