// tarnwick-console-log <file> <max-bytes>: the transcript of a guest's serial
// console. Reads descriptor 4, a pipe the emulator writes into through its
// chardev's logfile, into <file>, begun anew at each start. At <max-bytes>
// the file starts over with a line that says so: a guest printing for ever
// cannot fill the disk. Ends when the emulator has closed its end.
// Exit status: 0 done, 2 bad arguments, 3 the file cannot be had.
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kInput = 4;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string_view limitText = argv[2];
    long long limit = 0;
    const auto [end, ec] =
        std::from_chars(limitText.data(), limitText.data() + limitText.size(), limit);
    if (ec != std::errc() || end != limitText.data() + limitText.size() || limit < 4096)
        return 2;
    // Never through a link, and only a plain file of this user's alone.
    const int out =
        ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    struct stat st {};
    if (out < 0 || ::fstat(out, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)
        return 3;
    static constexpr char kAgain[] =
        "\n[tarnwick: the transcript reached its limit and starts over]\n";
    long long size = 0;
    char chunk[65536];
    while (true) {
        const ssize_t n = ::read(kInput, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const char* data = chunk;
        long long length = n;
        if (size + length > limit) {
            if (::ftruncate(out, 0) != 0 || ::lseek(out, 0, SEEK_SET) != 0 ||
                !WriteAll(out, kAgain, sizeof kAgain - 1))
                break;
            size = sizeof kAgain - 1;
            // Of a chunk larger than what is left, its end.
            if (length > limit - size) {
                data += length - (limit - size);
                length = limit - size;
            }
        }
        if (!WriteAll(out, data, static_cast<std::size_t>(length)))
            break;
        size += length;
    }
    ::close(out);
    return 0;
}
