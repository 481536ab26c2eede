// The emulator's command line for a machine, as an argument vector. Pure:
// it reads nothing from the system, so tests check it without starting.
//
// No text of a record can add an option: every text is one argument of its
// own or a value inside an option list, where commas are doubled as QEMU
// requires; names that QEMU would parse further (board, CPU, device, adapter)
// must be plain names, and image paths are absolute, so that no file name
// is read as a protocol ("nbd:", "json:").
#pragma once

#include "HostPort.h"
#include "MachineFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

struct LaunchContext {
    std::string binary;        // qemu-system-<arch>, a full path
    std::string baseDirectory; // relative paths of the record are below it
    std::string defaultSdImage;
    std::string defaultHdImage;
    std::string logFile;             // the "log" serial kind appends here
    std::string defaultSerialFile;   // the "file" kind without a path
    std::string defaultSerialSocket; // the "unix" kind without a path
    std::string pidFile;             // QEMU's own, beside its control socket
    std::string runFile;             // "<stem>.run": names the record of the running emulator
    bool desktop = false;            // a display session the "window" kind can open its window on
    std::string sdFormat = "raw";
    std::string hdFormat = "raw";
    std::string deviceTree;     // absolute; empty: none, or the board makes its own
    std::string qmpSocket;      // the control socket QEMU listens on; empty: none
    int qmpSocketFd = -1;       // >= 0: QEMU's descriptor of that socket, bound and listening
    int consoleLogFd = -1;      // >= 0: QEMU's descriptor of the console transcript's pipe
    std::string consoleLogFile; // "<stem>.console.txt"
};

struct DiskPlan {
    bool used = false;
    std::string path;         // absolute
    uint64_t createBytes = 0; // > 0: a new image of this size where none exists yet
};

struct DiskPlans {
    DiskPlan sd;
    DiskPlan hd;
    std::string error;
};

// Which images the machine uses and which it asks to be created. SD card
// images are rounded up to a power of two: QEMU takes no other size.
DiskPlans PlanDisks(const EmulatorOptions& options, const LaunchContext& context);

struct QemuCommand {
    std::vector<std::string> argv;
    std::string error; // non-empty: no command, and why
};

QemuCommand BuildQemuArgv(const EmulatorOptions& options, const LaunchContext& context);

// The device tree a machine names as a peripheral of kind "device-tree",
// resolved; nullopt when it names none, empty when its path is empty.
std::optional<std::string> ExplicitDeviceTree(const EmulatorOptions& options,
                                              const std::string& baseDirectory);

// A value inside a QEMU option list: commas doubled.
std::string QemuOptionValue(std::string_view value);

// QEMU board, CPU and device names: a letter or digit, then letters, digits
// and . _ - +.
bool IsPlainQemuName(std::string_view name);

// "key=value,key=value" device properties; commas inside a value are
// doubled. Refuses anything else, and the key "driver".
bool IsDevicePropertyList(std::string_view properties);

} // namespace bx
