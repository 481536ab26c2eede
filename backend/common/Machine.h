// A machine as the engines see it: the record's fields as values, taken from
// the C record once at the exports and written back there alone.
#pragma once

#include "app/backend/brevantix.h"

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
    bool display = false;
    int32_t sdSize = 0;
    std::string sdUnit;
    std::string sdFile;
    int32_t hdSize = 0;
    std::string hdUnit;
    std::string hdFile;
    bool serialOn = false;
    std::string serialKind;
    std::string serialParam;
    std::vector<Peripheral> peripherals; // rows with a device only
    std::string kernel;
    std::string initrd;
    std::string commandLine;
    bool operator==(const Machine&) const = default;
};

Machine MachineFromRecord(const EmulatorOptions& record);
// Fields are cut to their widths, as the manager's own fields would be.
EmulatorOptions RecordFromMachine(const Machine& machine);

} // namespace bx
