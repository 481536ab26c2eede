#include "Boards.h"

#include "Files.h"
#include "Text.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace bx {

namespace {

// Each entry was booted with Debian 12's kernel of its architecture
// (linux-image-armmp, -arm64, -amd64, -686, -4kc-malta, -5kc-malta,
// -powerpc64le), the named device tree from the same package and a busybox
// initrd, on the QEMU of Debian 12. Fields left out are empty: no device
// tree (the board makes its own), a CPU -cpu chooses, any memory size, no
// such disk interface, the board's own network card.
const std::vector<BoardInfo>& Table() {
    static const std::vector<BoardInfo> boards = {
        // virtio on the MMIO transport: the 32-bit kernel cannot use the
        // board's PCIe host.
        {.arch = "arm",
         .name = "virt",
         .console = "ttyAMA0",
         .defaultCpu = "cortex-a15",
         .diskBus = "virtio-mmio",
         .cardBus = "virtio-mmio",
         .nic = "virtio-net-device"},
        {.arch = "arm",
         .name = "vexpress-a9",
         .deviceTrees = {"vexpress-v2p-ca9.dtb"},
         .console = "ttyAMA0",
         .fixedCpu = "cortex-a9",
         .memoryMax = 1024,
         .cardBus = "sd"},
        {.arch = "arm",
         .name = "vexpress-a15",
         .deviceTrees = {"vexpress-v2p-ca15-tc1.dtb"},
         .console = "ttyAMA0",
         .fixedCpu = "cortex-a15",
         .memoryMax = 30720,
         .cardBus = "sd"},
        {.arch = "arm",
         .name = "raspi2b",
         .deviceTrees = {"bcm2836-rpi-2-b.dtb"},
         .console = "ttyAMA0",
         .fixedCpu = "cortex-a7",
         .memorySizes = {1024},
         .cardBus = "sd"},
        {.arch = "arm",
         .name = "mcimx6ul-evk",
         .deviceTrees = {"imx6ul-14x14-evk.dtb"},
         .console = "ttymxc0",
         .fixedCpu = "cortex-a7",
         .memoryMax = 2048,
         .cardBus = "sd"},
        {.arch = "arm",
         .name = "mcimx7d-sabre",
         .deviceTrees = {"imx7d-sdb.dtb"},
         .console = "ttymxc0",
         .fixedCpu = "cortex-a7",
         .memoryMax = 2048,
         .cardBus = "sd"},
        {.arch = "arm",
         .name = "sabrelite",
         .deviceTrees = {"imx6q-sabrelite.dtb"},
         .console = "ttymxc0",
         .fixedCpu = "cortex-a9",
         .memoryMax = 3840},
        {.arch = "arm",
         .name = "orangepi-pc",
         .deviceTrees = {"sun8i-h3-orangepi-pc.dtb"},
         .console = "ttyS0",
         .fixedCpu = "cortex-a7",
         .memorySizes = {1024},
         .cardBus = "sd"},
        {.arch = "arm",
         .name = "cubieboard",
         .deviceTrees = {"sun4i-a10-cubieboard.dtb"},
         .console = "ttyS0",
         .fixedCpu = "cortex-a8",
         .memorySizes = {512, 1024},
         .cardBus = "sd"},
        {.arch = "arm",
         .name = "highbank",
         .deviceTrees = {"highbank.dtb"},
         .console = "ttyAMA0",
         .fixedCpu = "cortex-a9",
         .memoryMax = 4096},
        {.arch = "arm",
         .name = "midway",
         .deviceTrees = {"ecx-2000.dtb"},
         .console = "ttyAMA0",
         .fixedCpu = "cortex-a15",
         .memoryMax = 4096},
        {.arch = "arm",
         .name = "smdkc210",
         .deviceTrees = {"exynos4210-smdkv310.dtb"},
         .console = "ttySAC0",
         .fixedCpu = "cortex-a9",
         .cardBus = "sd"},
        {.arch = "arm",
         .name = "ast2600-evb",
         .deviceTrees = {"aspeed-ast2600-evb.dtb"},
         .console = "ttyS4",
         .fixedCpu = "cortex-a7",
         .memorySizes = {512, 1024, 2048},
         .cardBus = "sd"},
        {.arch = "aarch64",
         .name = "virt",
         .console = "ttyAMA0",
         .defaultCpu = "cortex-a57",
         .diskBus = "virtio-mmio",
         .cardBus = "virtio-mmio",
         .nic = "virtio-net-device"},
        {.arch = "aarch64",
         .name = "raspi3b",
         .deviceTrees = {"bcm2837-rpi-3-b.dtb"},
         .console = "ttyAMA0",
         .fixedCpu = "cortex-a53",
         .memorySizes = {1024},
         .cardBus = "sd"},
        {.arch = "mipsel",
         .name = "malta",
         .console = "ttyS0",
         .memoryMax = 2048,
         .diskBus = "ide"},
        // QEMU's 20Kc does not run Debian's 5kc-malta kernel.
        {.arch = "mips64el",
         .name = "malta",
         .console = "ttyS0",
         .defaultCpu = "MIPS64R2-generic",
         .memoryMax = 2048,
         .diskBus = "ide"},
        {.arch = "ppc64", .name = "pseries", .console = "hvc0", .diskBus = "scsi"},
        // QEMU's own defaults, named for hosts that do not tell them (libvirt
        // lists its CPU models without one; the first in byte order, 486,
        // runs no 64-bit kernel).
        {.arch = "x86_64",
         .name = "pc",
         .console = "ttyS0",
         .defaultCpu = "qemu64",
         .diskBus = "ide",
         .cardBus = "virtio"},
        {.arch = "x86_64",
         .name = "q35",
         .console = "ttyS0",
         .defaultCpu = "qemu64",
         .diskBus = "ide",
         .cardBus = "virtio"},
        {.arch = "i386",
         .name = "pc",
         .console = "ttyS0",
         .defaultCpu = "qemu32",
         .diskBus = "ide",
         .cardBus = "virtio"},
    };
    return boards;
}

bool IsDirectory(const std::string& path) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    return dir != nullptr;
}

std::vector<std::string> Subdirectories(const std::string& path) {
    std::vector<std::string> found;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (const std::string full = path + "/" + std::string(name); IsDirectory(full))
            found.push_back(full);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string MegabyteList(const std::vector<uint32_t>& sizes) {
    std::string text;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (i > 0)
            text += i + 1 == sizes.size() ? " or " : ", ";
        text += std::to_string(sizes[i]);
    }
    return text + " MB";
}

} // namespace

const std::vector<BoardInfo>& KnownBoards() {
    return Table();
}

const BoardInfo* FindBoard(std::string_view arch, std::string_view board) {
    for (const BoardInfo& info : Table())
        if (info.arch == arch && info.name == board)
            return &info;
    return nullptr;
}

bool IsMicrocontrollerBoard(std::string_view arch, std::string_view board) {
    static const std::string_view armPrefixes[] = {"mps2",     "mps3",        "musca",
                                                   "netduino", "stm32",       "lm3s",
                                                   "microbit", "emcraft-sf2", "olimex-stm32"};
    static const std::string_view riscvBoards[] = {"sifive_e", "opentitan", "shakti_c"};
    if (arch == "arm" || arch == "aarch64")
        return std::any_of(std::begin(armPrefixes), std::end(armPrefixes),
                           [board](std::string_view p) { return StartsWith(board, p); });
    if (StartsWith(arch, "riscv"))
        return std::find(std::begin(riscvBoards), std::end(riscvBoards), board) !=
               std::end(riscvBoards);
    return false;
}

bool IsMicrocontrollerCpu(std::string_view cpu) {
    return StartsWith(cpu, "cortex-m") || StartsWith(cpu, "cortex-r");
}

std::string KernelRelease(std::string_view kernelPath) {
    const std::size_t slash = kernelPath.rfind('/');
    const std::string_view file =
        slash == std::string_view::npos ? kernelPath : kernelPath.substr(slash + 1);
    for (std::string_view prefix : {"vmlinuz-", "vmlinux-", "zImage-", "Image-"})
        if (StartsWith(file, prefix) && file.size() > prefix.size())
            return std::string(file.substr(prefix.size()));
    return {};
}

std::vector<std::string> DeviceTreePlaces(const std::string& kernelPath) {
    const std::string directory = ParentDirectory(kernelPath);
    std::vector<std::string> places = {directory, directory + "/dtbs"};
    if (const std::string release = KernelRelease(kernelPath); !release.empty()) {
        places.push_back(directory + "/dtbs/" + release);
        places.push_back("/usr/lib/linux-image-" + release);
        places.push_back("/boot/dtbs/" + release);
        places.push_back("/boot/dtb-" + release);
    }
    return places;
}

std::string FindDeviceTree(const BoardInfo& board, const std::vector<std::string>& places) {
    for (const std::string& place : places) {
        std::vector<std::string> folders = {place};
        for (std::string& vendor : Subdirectories(place))
            folders.push_back(std::move(vendor));
        for (const std::string& folder : folders)
            for (std::string_view tree : board.deviceTrees)
                if (const std::string path = folder + "/" + std::string(tree); IsRegularFile(path))
                    return path;
    }
    return {};
}

std::string DeviceTreeProblem(const std::string& path) {
    if (!PathExists(path))
        return "The device tree " + path + " does not exist.";
    if (!IsRegularFile(path))
        return "The device tree " + path + " is not a file.";
    unsigned char magic[4] = {};
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const bool read = fd.valid() && ::read(fd.get(), magic, sizeof magic) == sizeof magic;
    if (!read || std::memcmp(magic, "\xd0\x0d\xfe\xed", 4) != 0)
        return "The device tree " + path +
               " is not a flattened device tree (.dtb); it does not begin with its magic number.";
    return {};
}

uint32_t MemoryFor(const BoardInfo& board, uint32_t megabytes) {
    if (MemoryProblem(board, megabytes).empty())
        return megabytes;
    return board.memorySizes.empty() ? board.memoryMax : board.memorySizes.front();
}

std::string MemoryProblem(const BoardInfo& board, uint64_t megabytes) {
    const std::string asked = std::to_string(megabytes) + " MB";
    if (!board.memorySizes.empty() && std::find(board.memorySizes.begin(), board.memorySizes.end(),
                                                megabytes) == board.memorySizes.end())
        return "The board " + std::string(board.name) + " takes " +
               (board.memorySizes.size() == 1 ? "only " : "") + MegabyteList(board.memorySizes) +
               " of memory, not " + asked + ".";
    if (board.memoryMax != 0 && megabytes > board.memoryMax)
        return "The board " + std::string(board.name) + " takes at most " +
               std::to_string(board.memoryMax) + " MB of memory, not " + asked + ".";
    return {};
}

} // namespace bx
