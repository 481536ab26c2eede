// Running other programs, always from an argument vector (never a shell).
#pragma once

#include <string>
#include <vector>

namespace bx {

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
    enum class Outcome { Running, Exited, NotStarted };
    Outcome outcome = Outcome::NotStarted;
    int pid = 0;   // of the program, while it runs
    int error = 0; // errno when it could not be started
};

// Starts argv[0] in a session of its own (double fork: it is no child of
// ours), standard input from /dev/null, standard output and error to
// `logFd`. Waits up to `waitMs` for it to end early: an emulator that fails
// to start ends at once.
DetachedStart StartDetached(const std::vector<std::string>& argv, int logFd, int waitMs);

} // namespace bx
