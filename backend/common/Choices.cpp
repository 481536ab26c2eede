#include "Choices.h"

#include "Boards.h"
#include "Text.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace bx {

std::string TargetText(std::string_view board, std::string_view arch) {
    return std::string(board) + " (" + std::string(arch) + ")";
}

std::optional<TargetName> ParseTargetText(std::string_view target) {
    const std::size_t open = target.rfind(" (");
    if (open == std::string_view::npos || open == 0 || target.back() != ')')
        return std::nullopt;
    const std::string_view arch = target.substr(open + 2, target.size() - open - 3);
    if (!IsArchName(arch))
        return std::nullopt;
    return TargetName{std::string(target.substr(0, open)), std::string(arch)};
}

bool IsArchName(std::string_view arch) {
    if (arch.empty() || arch.size() > 24)
        return false;
    return std::all_of(arch.begin(), arch.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    });
}

std::string DebianPackageFor(std::string_view arch) {
    struct Entry {
        std::string_view prefix, package;
    };
    static const Entry table[] = {
        {"aarch64", "qemu-system-arm"}, {"arm", "qemu-system-arm"},
        {"x86_64", "qemu-system-x86"},  {"i386", "qemu-system-x86"},
        {"mips", "qemu-system-mips"},   {"ppc", "qemu-system-ppc"},
        {"sparc", "qemu-system-sparc"}, {"s390x", "qemu-system-s390x"},
    };
    for (const Entry& e : table)
        if (StartsWith(arch, e.prefix))
            return std::string(e.package);
    return "qemu-system-misc";
}

std::string ConsoleDeviceFor(std::string_view arch, std::string_view board) {
    if (const BoardInfo* info = FindBoard(arch, board))
        return std::string(info->console);
    if (StartsWith(board, "sifive"))
        return "ttySIF0";
    if (StartsWith(board, "sabrelite") || StartsWith(board, "mcimx") || StartsWith(board, "imx"))
        return "ttymxc0";
    if (StartsWith(board, "xilinx-zynq") || StartsWith(board, "xlnx"))
        return "ttyPS0";
    if (arch == "arm" || arch == "aarch64")
        return "ttyAMA0";
    return "ttyS0";
}

const std::vector<ArchChoices>& BuiltinCatalogue() {
    static const std::vector<ArchChoices> catalogue = [] {
        std::vector<ArchChoices> c = {
            {"arm",
             {{"virt", "cortex-a15"},
              {"vexpress-a9", "cortex-a9"},
              {"vexpress-a15", "cortex-a15"},
              {"versatilepb", "arm926"},
              {"raspi2b", "cortex-a7"},
              {"sabrelite", "cortex-a9"},
              {"mcimx6ul-evk", "cortex-a7"},
              {"xilinx-zynq-a9", "cortex-a9"},
              {"orangepi-pc", "cortex-a7"},
              {"cubieboard", "cortex-a8"},
              {"highbank", "cortex-a9"},
              {"midway", "cortex-a15"},
              {"mcimx7d-sabre", "cortex-a7"},
              {"smdkc210", "cortex-a9"},
              {"ast2600-evb", "cortex-a7"}},
             {"arm1136", "arm1176", "arm926", "arm946", "cortex-a15", "cortex-a7", "cortex-a8",
              "cortex-a9", "cortex-m3", "cortex-m4", "max"}},
            {"aarch64",
             {{"virt", "cortex-a57"},
              {"raspi3b", "cortex-a53"},
              {"xlnx-zcu102", "cortex-a53"},
              {"sbsa-ref", "cortex-a57"}},
             {"cortex-a15", "cortex-a53", "cortex-a57", "cortex-a72", "cortex-a76", "max"}},
            {"riscv64",
             {{"virt", "rv64"}, {"sifive_u", "sifive-u54"}, {"spike", "rv64"}},
             {"rv64", "sifive-u54", "max"}},
            {"riscv32",
             {{"virt", "rv32"}, {"sifive_u", "sifive-u34"}, {"sifive_e", "sifive-e31"}},
             {"rv32", "sifive-e31", "sifive-u34", "max"}},
            {"mips", {{"malta", "24Kf"}}, {"24Kc", "24Kf", "34Kf", "74Kf", "P5600"}},
            {"mipsel", {{"malta", "24Kf"}}, {"24Kc", "24Kf", "34Kf", "74Kf", "P5600"}},
            {"ppc",
             {{"ppce500", "e500v2_v30"}, {"mpc8544ds", "e500v2_v30"}},
             {"e500mc", "e500v2_v30", "e5500"}},
            {"x86_64", {{"q35", "qemu64"}, {"pc", "qemu64"}}, {"max", "qemu64"}},
        };
        for (ArchChoices& arch : c) {
            SortBoards(arch.boards, arch.arch);
            std::sort(arch.cpus.begin(), arch.cpus.end());
        }
        return c;
    }();
    return catalogue;
}

int ArchRank(std::string_view arch) {
    static const std::string_view order[] = {"arm",  "aarch64", "riscv64", "riscv32",
                                             "mips", "mipsel",  "mips64",  "mips64el",
                                             "ppc",  "ppc64",   "x86_64",  "i386"};
    for (std::size_t i = 0; i < std::size(order); ++i)
        if (order[i] == arch)
            return static_cast<int>(i);
    return static_cast<int>(std::size(order));
}

void SortBoards(std::vector<Board>& boards, std::string_view arch) {
    auto rank = [arch](const Board& board) {
        if (board.name == "virt")
            return 0;
        if (FindBoard(arch, board.name))
            return 1;
        return IsMicrocontrollerBoard(arch, board.name) ? 3 : 2;
    };
    std::stable_sort(boards.begin(), boards.end(), [&rank](const Board& a, const Board& b) {
        const int ra = rank(a);
        const int rb = rank(b);
        return ra != rb ? ra < rb : a.name < b.name;
    });
}

const std::vector<std::string>& MemoryUnits() {
    static const std::vector<std::string> units = {"MB", "GB"};
    return units;
}

uint64_t BytesPerUnit(std::string_view unit) {
    if (EqualsIgnoreCase(unit, "MB"))
        return uint64_t(1) << 20;
    if (EqualsIgnoreCase(unit, "GB"))
        return uint64_t(1) << 30;
    return 0;
}

const std::vector<std::string>& SerialKinds() {
    static const std::vector<std::string> kinds = {"pty", "window", "file", "log",
                                                   "tcp", "telnet", "unix", "none"};
    return kinds;
}

bool HaveDesktopSession() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

const std::vector<std::string>& PeripheralKinds() {
    static const std::vector<std::string> kinds = {std::string(kDeviceTreeKind),
                                                   std::string(kGdbServerKind),
                                                   std::string(kPortForwardKind),
                                                   std::string(kDiscardWritesKind),
                                                   "virtio-rng-device",
                                                   "virtio-keyboard-device",
                                                   "virtio-mouse-device",
                                                   "virtio-tablet-device",
                                                   "virtio-balloon-device",
                                                   "virtio-gpu-device",
                                                   "qemu-xhci",
                                                   "usb-ehci",
                                                   "usb-kbd",
                                                   "usb-mouse",
                                                   "usb-tablet",
                                                   "tmp105",
                                                   "tmp421",
                                                   "ds1338",
                                                   "at24c-eeprom",
                                                   "pca9552"};
    return kinds;
}

} // namespace bx
