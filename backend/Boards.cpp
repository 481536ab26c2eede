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
// (linux-image-armmp, -arm64, -amd64), the named device tree from the same
// package and a busybox initrd, on the QEMU of Debian 12.
const std::vector<BoardInfo>& Table() {
    static const std::vector<BoardInfo> boards = {
        // virtio on the MMIO transport: the 32-bit kernel cannot use the
        // board's PCIe host.
        {"arm",
         "virt",
         {},
         "ttyAMA0",
         {},
         "cortex-a15",
         {},
         0,
         "virtio-mmio",
         "virtio-mmio",
         "virtio-net-device"},
        {"arm",
         "vexpress-a9",
         {"vexpress-v2p-ca9.dtb"},
         "ttyAMA0",
         "cortex-a9",
         {},
         {},
         1024,
         {},
         "sd"},
        {"arm",
         "vexpress-a15",
         {"vexpress-v2p-ca15-tc1.dtb"},
         "ttyAMA0",
         "cortex-a15",
         {},
         {},
         30720,
         {},
         "sd"},
        {"arm",
         "raspi2b",
         {"bcm2836-rpi-2-b.dtb"},
         "ttyAMA0",
         "cortex-a7",
         {},
         {1024},
         0,
         {},
         "sd"},
        {"arm",
         "mcimx6ul-evk",
         {"imx6ul-14x14-evk.dtb"},
         "ttymxc0",
         "cortex-a7",
         {},
         {},
         2048,
         {},
         "sd"},
        {"arm", "mcimx7d-sabre", {"imx7d-sdb.dtb"}, "ttymxc0", "cortex-a7", {}, {}, 2048, {}, "sd"},
        {"arm", "sabrelite", {"imx6q-sabrelite.dtb"}, "ttymxc0", "cortex-a9", {}, {}, 3840, {}, {}},
        {"arm",
         "orangepi-pc",
         {"sun8i-h3-orangepi-pc.dtb"},
         "ttyS0",
         "cortex-a7",
         {},
         {1024},
         0,
         {},
         "sd"},
        {"arm",
         "cubieboard",
         {"sun4i-a10-cubieboard.dtb"},
         "ttyS0",
         "cortex-a8",
         {},
         {512, 1024},
         0,
         {},
         "sd"},
        {"arm", "highbank", {"highbank.dtb"}, "ttyAMA0", "cortex-a9", {}, {}, 4096, {}, {}},
        {"arm", "midway", {"ecx-2000.dtb"}, "ttyAMA0", "cortex-a15", {}, {}, 4096, {}, {}},
        {"arm",
         "smdkc210",
         {"exynos4210-smdkv310.dtb"},
         "ttySAC0",
         "cortex-a9",
         {},
         {},
         0,
         {},
         "sd"},
        {"arm",
         "ast2600-evb",
         {"aspeed-ast2600-evb.dtb"},
         "ttyS4",
         "cortex-a7",
         {},
         {512, 1024, 2048},
         0,
         {},
         "sd"},
        {"aarch64",
         "virt",
         {},
         "ttyAMA0",
         {},
         "cortex-a57",
         {},
         0,
         "virtio-mmio",
         "virtio-mmio",
         "virtio-net-device"},
        {"aarch64",
         "raspi3b",
         {"bcm2837-rpi-3-b.dtb"},
         "ttyAMA0",
         "cortex-a53",
         {},
         {1024},
         0,
         {},
         "sd"},
        {"x86_64", "pc", {}, "ttyS0", {}, {}, {}, 0, "ide", "virtio"},
        {"x86_64", "q35", {}, "ttyS0", {}, {}, {}, 0, "ide", "virtio"},
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
