// What a start knows of the emulator it started, kept where nobody else can
// write: a record in the user's private runtime directory (pid, the
// process's start time, its control socket). The machine's "<stem>.run" in
// the store names that record, so it follows the machine through renames,
// and a later machine of the same name starts with a record of its own.
//
// A running machine is only ever the process its record describes, alive,
// with the recorded start time, of this user, with the recorded pid file
// (in the private directory, under the start's random key) on its command
// line: never a pid that a file or a lock reports,
// which anyone who can write the file (a guest, through a disk image named
// by mistake) or hold the lock could choose.
#pragma once

#include "base/Fd.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace bx {

// The usual private runtime directories that can be had (made when
// missing): $XDG_RUNTIME_DIR/tarnwick, /tmp/tarnwick-<uid>. New starts go
// into the first.
std::vector<std::string> RuntimeDirectories();

// The files of one start, in a private runtime directory.
struct RunPaths {
    std::string record;
    std::string socket;  // QEMU's control socket
    std::string pidFile; // QEMU's own pid file
};

// A new set of paths in a directory of this user's alone:
// $XDG_RUNTIME_DIR/tarnwick, else /tmp/tarnwick-<uid>, else (when that is
// taken by someone else) a new /tmp/tarnwick-<uid>.XXXXXX. Every path fits a
// Unix socket address. nullopt, with `error` set, when none can be had.
std::optional<RunPaths> NewRunPaths(std::string& error);

// Records the started emulator `pid` at `paths.record`; false when the
// process is already gone or the record cannot be written.
bool WriteRunRecord(const RunPaths& paths, int pid);

// The emulator a start recorded, verified to be that very process.
struct VerifiedEmulator {
    int pid = 0;
    unsigned long long startTime = 0;
    base::Fd pidfd; // pins the process: a signal through it reaches no other
    RunPaths paths;
    long long recordedNs = 0; // when the record was written
};

// The running emulator that the record named by `pointerFile` describes;
// nullopt when there is none, the record is not ours, or the process is
// gone or another.
std::optional<VerifiedEmulator> FindEmulator(const std::string& pointerFile);

// A descriptor that turns readable when a start or stop changes the usual
// runtime directories (not a directory of its own beside a taken one, nor
// an emulator killed from outside, which leaves its files); invalid when
// none can be watched.
base::Fd WatchRunEvents();

// SIGKILL to exactly that process.
void KillEmulator(const VerifiedEmulator& emulator);

// Whether the process has ended by `until`.
bool WaitUntilEnded(const VerifiedEmulator& emulator, std::chrono::steady_clock::time_point until);

// Removes what a start that has ended left: its record, socket and pid
// file (and a directory of its own, when empty). Only files of a record in a
// private runtime directory are touched.
void ForgetRun(const std::string& pointerFile);

// The record path that `pointerFile` names, if it is one of ours.
std::optional<RunPaths> RecordedPaths(const std::string& pointerFile);

} // namespace bx
