// What QEMU does not say about its boards and a Linux boot needs: the device
// tree, the console, the CPU a fixed SoC has, the memory sizes it takes and
// where a hard disk goes. Boards in this table are known to boot Debian's
// stock kernels with an initrd.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

// Written with designated initializers; a field left out is empty.
struct BoardInfo {
    std::string_view arch = {};
    std::string_view name = {};
    // Device-tree files that fit the board, best first; empty when the board
    // makes its own (virt, pc, ...).
    std::vector<std::string_view> deviceTrees = {};
    std::string_view console = {};    // the kernel's name of the first UART
    std::string_view fixedCpu = {};   // the SoC's CPU, which -cpu cannot change
    std::string_view defaultCpu = {}; // where QEMU's default does not fit Linux
    // Memory in MiB: the only sizes taken, or a range (0: QEMU decides).
    std::vector<uint32_t> memorySizes = {};
    uint32_t memoryMax = 0;
    // Where the hard disk and the SD card go: a QEMU "if=" value, or empty
    // when the board has no such interface.
    std::string_view diskBus = {};
    std::string_view cardBus = {};
    // The network card QEMU must add; empty: the board's own (-nic).
    std::string_view nic = {};
};

// Every board of the table, virt first within each architecture.
const std::vector<BoardInfo>& KnownBoards();

// The board's entry; nullptr for a board the table does not know.
const BoardInfo* FindBoard(std::string_view arch, std::string_view board);

// Boards without an MMU (microcontrollers): they cannot run a Linux kernel
// with an initrd, so they are offered last and take only M-profile CPUs.
bool IsMicrocontrollerBoard(std::string_view arch, std::string_view board);

// M-profile CPUs (no MMU) and R-profile CPUs (real time, no MMU).
bool IsMicrocontrollerCpu(std::string_view cpu);

// The kernel release of a kernel image's file name ("vmlinuz-6.1.0-9-armmp"
// gives "6.1.0-9-armmp"); empty when the name carries none.
std::string KernelRelease(std::string_view kernelPath);

// Where a board's device tree is looked for, in this order: the kernel
// image's directory and its "dtbs" folder, then the places distributions put
// the trees of a kernel release. Each place is searched one level deep too
// (vendor folders, as arm64 kernels lay them out).
std::vector<std::string> DeviceTreePlaces(const std::string& kernelPath);

// The first of the board's device trees found in `places`; empty when none.
std::string FindDeviceTree(const BoardInfo& board, const std::vector<std::string>& places);

// An empty text when `path` is a flattened device tree, else why not.
std::string DeviceTreeProblem(const std::string& path);

// Why the board does not take `megabytes` of memory; empty when it does.
std::string MemoryProblem(const BoardInfo& board, uint64_t megabytes);
// `megabytes` when the board takes it, else the board's first size or its
// limit: what a new machine on it gets.
uint32_t MemoryFor(const BoardInfo& board, uint32_t megabytes);

} // namespace bx
