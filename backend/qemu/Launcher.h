// Starting a stored machine: checks, images, the emulator's command line,
// a detached emulator and the text that tells how it went.
#pragma once

#include "QemuArgv.h"
#include "Store.h"

#include <optional>
#include <string>
#include <string_view>

namespace bx {

struct StartOutcome {
    bool started = false;
    // Why it failed, with QEMU's own words from the log; after a start, where
    // the log and the serial console are.
    std::string message;
};

class Launcher {
public:
    // `baseDirectory`: what relative paths of a record are relative to.
    // `readyMs`: how long an emulator may take to answer on its control
    // socket before the start counts as failed. `consoleLogger`: the
    // program that keeps the serial console's transcript
    // (tarnwick-console-log); empty: none is kept.
    Launcher(const MachineStore& store, std::string baseDirectory, std::string searchPath,
             int readyMs = 10000, std::string consoleLogger = {});

    StartOutcome Start(std::string_view name) const;

private:
    const MachineStore& m_store;
    std::string m_baseDirectory;
    std::string m_searchPath;
    int m_readyMs;
    std::string m_consoleLogger;
};

// The program beside the back end that keeps a console's transcript.
inline constexpr std::string_view kConsoleLoggerName = "tarnwick-console-log";
// The transcript of a guest's console is capped at this size.
inline constexpr long long kConsoleTranscriptLimit = 1 << 20;

// Where a machine's files are when it starts: what `BuildQemuArgv` needs
// besides the binary and the desktop.
LaunchContext ContextFor(const MachineStore& store, std::string_view machine,
                         const std::string& baseDirectory);

// The pty QEMU put the serial port on, from its "char device redirected to
// /dev/pts/N (label serial0)" line; empty when the log names none.
std::string SerialPtyFromLog(std::string_view log);

} // namespace bx
