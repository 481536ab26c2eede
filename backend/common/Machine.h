// A machine as the engines see it: the record's fields as values, taken from
// the C record once at the exports and written back there alone.
#pragma once

#include "app/backend/brevantix.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace bx {

struct Peripheral {
    std::string device;
    std::string param;
    bool operator==(const Peripheral&) const = default;
};

struct Machine {
    std::string name;
    std::string arch;
    std::string target;
    std::string cpu;
    int32_t memSize = 0;
    std::string memType;
    std::string network; // an adapter's name or one of the network entries
    int32_t display = 0; // non-zero: on (kept as given, so a record round-trips)
    int32_t sdSize = 0;
    std::string sdUnit;
    std::string sdFile;
    int32_t hdSize = 0;
    std::string hdUnit;
    std::string hdFile;
    int32_t serialOn = 0; // non-zero: on
    std::string serialKind;
    std::string serialParam;
    // Every row of the record, and how many of them the machine uses; rows
    // past the count are kept as they were given.
    std::array<Peripheral, MAX_PERI> rows;
    int32_t rowCount = 0;
    std::string kernel;
    std::string initrd;
    std::string commandLine;
    bool operator==(const Machine&) const = default;

    // The rows in use that name a device.
    std::vector<Peripheral> Peripherals() const;
};

Machine MachineFromRecord(const EmulatorOptions& record);
// Fields are cut to their widths, as the manager's own fields would be; a
// record read by MachineFromRecord comes back byte for byte.
EmulatorOptions RecordFromMachine(const Machine& machine);

} // namespace bx
