// Finding and ending the emulators a test started, through the records our
// back end keeps of them: never by a name another program could have.
#pragma once

#include "RunRecord.h"

#include <chrono>
#include <optional>
#include <string>

namespace bxtest {

// The emulator the run file of a machine ("<store>/<stem>.run") names,
// while it runs.
inline std::optional<int> EmulatorPid(const std::string& runFile) {
    if (const std::optional<bx::VerifiedEmulator> emulator = bx::FindEmulator(runFile))
        return emulator->pid;
    return std::nullopt;
}

// Kills that emulator, and only it, and waits until it has ended.
inline void EndEmulator(const std::string& runFile) {
    if (const std::optional<bx::VerifiedEmulator> emulator = bx::FindEmulator(runFile)) {
        bx::KillEmulator(*emulator);
        bx::WaitUntilEnded(*emulator, std::chrono::steady_clock::now() + std::chrono::seconds(5));
    }
}

} // namespace bxtest
