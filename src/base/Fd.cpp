#include "base/Fd.h"

#include <unistd.h>

namespace base {

Fd::~Fd() {
    close();
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.release();
    }
    return *this;
}

int Fd::release() noexcept {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool Fd::close() noexcept {
    if (m_fd < 0)
        return true;
    return ::close(release()) == 0;
}

} // namespace base
