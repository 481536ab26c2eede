// What a machine can be made of: the boards and CPUs of one architecture,
// and the fixed lists of units, serial kinds and peripheral kinds.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

struct Board {
    std::string name;       // QEMU's machine name, e.g. "virt"
    std::string defaultCpu; // QEMU's CPU name; empty when QEMU names none
};

struct ArchChoices {
    std::string arch; // suffix of qemu-system-<arch>
    std::vector<Board> boards;
    std::vector<std::string> cpus;
};

// A target's text is "<board> (<arch>)". QEMU's board names hold no blank,
// so no target text is the beginning of another's.
std::string TargetText(std::string_view board, std::string_view arch);
struct TargetName {
    std::string board;
    std::string arch;
};
std::optional<TargetName> ParseTargetText(std::string_view target);

// [a-z0-9_]+: what may follow "qemu-system-".
bool IsArchName(std::string_view arch);

// The Debian package that carries qemu-system-<arch>.
std::string DebianPackageFor(std::string_view arch);

// The serial device a Linux kernel calls its console on this board.
std::string ConsoleDeviceFor(std::string_view arch, std::string_view board);

// Boards of the common embedded targets, for hosts without QEMU.
const std::vector<ArchChoices>& BuiltinCatalogue();

// The order in which architectures are offered when no list is asked for.
int ArchRank(std::string_view arch);

// Orders boards for display: "virt" first, then the boards known to boot
// Linux, then the others, microcontrollers last; byte order within each.
void SortBoards(std::vector<Board>& boards, std::string_view arch);

// The name of the peripheral kind whose parameter is a device tree's path.
inline constexpr std::string_view kDeviceTreeKind = "device-tree";
// Kinds that are services of the emulator, not devices of the guest.
inline constexpr std::string_view kGdbServerKind = "gdb-server";
inline constexpr std::string_view kPortForwardKind = "port-forward";
inline constexpr std::string_view kDiscardWritesKind = "discard-writes";

// The network entries that every engine lists before its adapters. Both hold
// blanks, which no adapter's name can, and begin with a parenthesis, so no
// adapter's name is the beginning of one.
inline constexpr std::string_view kUserNetwork = "(user-mode network)";
inline constexpr std::string_view kNoNetwork = "(no network)";

const std::vector<std::string>& MemoryUnits();
// Bytes in one `unit` ("MB", "GB", case ignored); 0 for an unknown unit.
uint64_t BytesPerUnit(std::string_view unit);

const std::vector<std::string>& SerialKinds();
// True when the environment names a desktop session (DISPLAY or
// WAYLAND_DISPLAY), which the "window" serial kind needs.
bool HaveDesktopSession();
const std::vector<std::string>& PeripheralKinds();

} // namespace bx
