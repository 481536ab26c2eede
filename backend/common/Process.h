// Running other programs, always from an argument vector (never a shell).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace bx {

// Milliseconds from now until `deadline`, for poll(); 0 once it has passed.
int RemainingMs(std::chrono::steady_clock::time_point deadline);

struct CaptureResult {
    bool started = false;
    bool timedOut = false;
    int exitStatus = -1; // wait status as waitpid gives it
    std::string output;  // standard output
};

// Runs argv[0] (a full path) with `input` on its standard input and its
// standard error discarded; gives its standard output. A program still
// running after `timeoutMs` is killed.
CaptureResult RunAndCapture(const std::vector<std::string>& argv, const std::string& input,
                            int timeoutMs);

struct DetachedStart {
    // NotReady: neither ready nor ended when `ready` gave up; still running.
    enum class Outcome { Running, Exited, NotStarted, NotReady };
    Outcome outcome = Outcome::NotStarted;
    int pid = 0;   // of the program, while it runs
    int error = 0; // errno when it could not be started
};

// The number under which the program finds the first descriptor handed
// over by StartDetached; the next ones follow it.
inline constexpr int kHandedOverFd = 4;

// Starts argv[0] in a session of its own (double fork: it is no child of
// ours), standard input from /dev/null, standard output and error to
// `logFd`, and the descriptors of `handOver` as kHandedOverFd, +1, ... Then
// `ready` waits until the program is ready (true) or gives up (false); its
// argument is a descriptor that turns readable when the program ends, for
// it to poll.
DetachedStart StartDetached(const std::vector<std::string>& argv, int logFd,
                            const std::function<bool(int endFd)>& ready,
                            const std::vector<int>& handOver = {});

} // namespace bx
