#include "Process.h"

#include "Files.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bx {

namespace {

std::vector<char*> ArgPointers(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Closes every descriptor from `first` on; async-signal-safe.
void CloseFrom(int first) {
    if (::close_range(static_cast<unsigned>(first), ~0u, 0) == 0)
        return;
    const long max = ::sysconf(_SC_OPEN_MAX);
    for (long fd = first; fd < (max > 0 && max < 65536 ? max : 65536); ++fd)
        ::close(static_cast<int>(fd));
}

} // namespace

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

CaptureResult RunAndCapture(const std::vector<std::string>& argv, const std::string& input,
                            int timeoutMs) {
    CaptureResult result;
    if (argv.empty())
        return result;
    // Standard input is a socket so that writing to a program that has ended
    // fails with EPIPE instead of raising SIGPIPE in the host process.
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    const bool made = ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) == 0 &&
                      ::pipe2(out, O_CLOEXEC) == 0;
    Fd childIn(in[0]), hostIn(in[1]), hostOut(out[0]), childOut(out[1]);
    if (!made)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childIn.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, childOut.get(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<char*> args = ArgPointers(argv);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    childIn.close();
    childOut.close();
    if (rc != 0)
        return result;
    result.started = true;

    // The input is a few hundred bytes, far below a socket's buffer.
    ::fcntl(hostIn.get(), F_SETFL, O_NONBLOCK);
    for (std::size_t done = 0; done < input.size();) {
        const ssize_t n =
            ::send(hostIn.get(), input.data() + done, input.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::shutdown(hostIn.get(), SHUT_WR);
    hostIn.close();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[16384];
    while (true) {
        pollfd pfd{hostOut.get(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        const ssize_t n = ::read(hostOut.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        result.output.append(chunk, static_cast<std::size_t>(n));
        if (result.output.size() > (64u << 20)) {
            ::kill(pid, SIGKILL);
            break;
        }
    }
    hostOut.close(); // a program still writing gets EPIPE and ends
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = status;
    return result;
}

DetachedStart StartDetached(const std::vector<std::string>& argv, int logFd,
                            const std::function<bool(int endFd)>& ready,
                            const std::vector<int>& handOver) {
    DetachedStart start;
    if (argv.empty()) {
        start.error = EINVAL;
        return start;
    }
    // Everything the children need is made before fork: after it, only
    // async-signal-safe calls.
    std::vector<char*> args = ArgPointers(argv);
    std::vector<int> handed = handOver; // renumbered in the child, in place
    Fd nullFd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int report[2] = {-1, -1}; // grandchild's pid, or its exec errno
    int alive[2] = {-1, -1};  // the emulator holds the write end until it ends
    const bool made =
        nullFd.valid() && ::pipe2(report, O_CLOEXEC) == 0 && ::pipe2(alive, O_CLOEXEC) == 0;
    const int madeError = errno;
    // The children take the raw numbers; this process keeps only the read ends.
    Fd reportRead(report[0]), reportWrite(report[1]), aliveRead(alive[0]), aliveWrite(alive[1]);
    if (!made) {
        start.error = madeError;
        return start;
    }

    const pid_t middle = ::fork();
    if (middle == 0) {
        ::setsid();
        const pid_t emulator = ::fork();
        if (emulator == 0) {
            ::dup2(nullFd.get(), 0);
            ::dup2(logFd, 1);
            ::dup2(logFd, 2);
            // Only `alive` goes along, as fd 3, and the handed-over ones
            // (and `report` until exec): the emulator outlives us and must
            // not hold the host's descriptors (a lock file of the manager's
            // single instance, sockets) once the host has ended.
            const int reportFd = kHandedOverFd + static_cast<int>(handed.size());
            const int keepAlive = ::fcntl(alive[1], F_DUPFD_CLOEXEC, reportFd + 1);
            const int keepReport = ::fcntl(report[1], F_DUPFD_CLOEXEC, reportFd + 1);
            for (int& fd : handed)
                fd = ::fcntl(fd, F_DUPFD_CLOEXEC, reportFd + 1);
            ::dup2(keepAlive, 3);
            for (std::size_t i = 0; i < handed.size(); ++i)
                ::dup2(handed[i], kHandedOverFd + static_cast<int>(i));
            ::dup3(keepReport, reportFd, O_CLOEXEC);
            report[1] = reportFd;
            CloseFrom(reportFd + 1);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execve(args[0], args.data(), environ);
            const int error = errno;
            int message[2] = {0, error};
            (void)!::write(report[1], message, sizeof message);
            ::_exit(127);
        }
        int message[2] = {emulator > 0 ? int(emulator) : 0, emulator > 0 ? 0 : errno};
        (void)!::write(report[1], message, sizeof message);
        ::_exit(0);
    }
    const int forkError = errno;
    nullFd.close();
    reportWrite.close();
    aliveWrite.close();
    if (middle < 0) {
        start.error = forkError;
        return start;
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }

    int message[2] = {0, 0};
    ssize_t got = 0;
    while ((got = ::read(reportRead.get(), message, sizeof message)) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof message) && message[0] == 0) {
        start.error = message[1]; // the middle process could not fork
        return start;
    }
    start.pid = got == static_cast<ssize_t>(sizeof message) ? message[0] : 0;

    const bool isReady = start.pid > 0 && ready(aliveRead.get());
    // The only event on this pipe is its last writer, the program, ending.
    pollfd pfd{aliveRead.get(), POLLIN, 0};
    // A program that gave up may still be closing its descriptors one by
    // one: its end is a moment behind.
    const bool ended = !isReady && ::poll(&pfd, 1, 2000) > 0;
    aliveRead.close();
    // An exec failure arrives as a second message once the grandchild is gone.
    if (ended) {
        int failure[2] = {0, 0};
        ::fcntl(reportRead.get(), F_SETFL, O_NONBLOCK);
        if (::read(reportRead.get(), failure, sizeof failure) ==
                static_cast<ssize_t>(sizeof failure) &&
            failure[0] == 0) {
            start.error = failure[1];
            return start;
        }
    }
    start.outcome = isReady ? DetachedStart::Outcome::Running
                    : ended ? DetachedStart::Outcome::Exited
                            : DetachedStart::Outcome::NotReady;
    return start;
}

} // namespace bx
