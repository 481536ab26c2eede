// A running machine: its state, stopping it, and what the user may want to
// know about it. The emulator is the one its start recorded (RunRecord.h),
// talked to over its control socket.
#pragma once

#include "QemuArgv.h"
#include "Store.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace bx {

class EmulatorControl {
public:
    EmulatorControl(const MachineStore& store, std::string baseDirectory);

    // BREVANTIX_STATE_*.
    int32_t State(std::string_view name) const;

    // `force` false: the guest is asked to power off; true: the emulator ends
    // at once and is gone on return. False for a machine that is not running.
    bool Stop(std::string_view name, bool force) const;

    // Process, log, serial console, and whether it runs.
    std::string Info(std::string_view name) const;

private:
    const MachineStore& m_store;
    std::string m_baseDirectory;
};

// Where the serial console of a started machine is, for the texts of a
// start and of a running machine; `log` is the emulator's log so far.
std::string SerialDescription(const EmulatorOptions& options, const LaunchContext& context,
                              std::string_view log);

// What QEMU's log says of a network that cannot reach the guest (a board
// with no card QEMU can attach for it), in plain words; empty when nothing.
std::string NetworkNote(std::string_view log);

} // namespace bx
