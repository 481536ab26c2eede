// Peripheral kinds that are no device of the guest but a service of the
// emulator around it: the gdb stub, forwards into the user-mode network and
// disks whose writes are thrown away at the stop.
//
// Their parameters are parsed here, strictly: QEMU reads them inside its
// own option syntax, so a comma or an "=" must never reach it from a row.
#pragma once

#include "MachineFile.h"

#include <string>
#include <vector>

namespace bx {

struct HostPeripherals {
    std::string gdb;                       // "-gdb" value; empty: no stub
    bool gdbWait = false;                  // halted at start (-S)
    std::vector<std::string> hostForwards; // "hostfwd=" values of the user netdev
    bool discardWrites = false;            // every drive with snapshot=on
    std::string error;                     // non-empty: refused, and why
};

HostPeripherals ParseHostPeripherals(const EmulatorOptions& options);

// True for the kinds above: no "-device" of their own.
bool IsHostPeripheralKind(std::string_view kind);

} // namespace bx
