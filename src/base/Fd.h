// Owns a file descriptor and closes it when it goes out of scope.
#pragma once

namespace base {

class Fd {
public:
    explicit Fd(int fd = -1) noexcept : m_fd(fd) {}
    ~Fd();
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    // Hands the descriptor on; the guard no longer closes it.
    int release() noexcept;
    // Closes now. False when close reports an error: on some file systems
    // that is the first sign that written data did not reach the disk.
    bool close() noexcept;

private:
    int m_fd;
};

} // namespace base
