#include "KernelImage.h"

#include "Choices.h"
#include "Files.h"

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

namespace bx {

namespace {

constexpr std::size_t kHeaderBytes = 1024;

uint32_t Little(std::string_view bytes, std::size_t at, std::size_t size) {
    uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

uint32_t Big(std::string_view bytes, std::size_t at, std::size_t size) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

KernelKind ElfKind(std::string_view header) {
    if (header.size() < 20)
        return {};
    const bool wide = header[4] == 2;
    const bool little = header[5] == 1;
    if ((header[4] != 1 && !wide) || (header[5] != 1 && header[5] != 2))
        return {};
    const uint32_t machine = little ? Little(header, 18, 2) : Big(header, 18, 2);
    const std::string bits = wide ? "64-bit " : "32-bit ";
    const std::string order = little ? "little-endian " : "big-endian ";
    switch (machine) {
    case 3: // EM_386
        return {"32-bit x86 (ELF)", {"i386", "x86_64"}};
    case 62: // EM_X86_64
        return {"64-bit x86 (ELF)", {"x86_64"}};
    case 40: // EM_ARM
        return {"32-bit ARM (ELF)", {"arm", "aarch64"}};
    case 183: // EM_AARCH64
        return {"64-bit ARM (ELF)", {"aarch64"}};
    case 8: // EM_MIPS: a 64-bit CPU runs 32-bit kernels of its byte order too
        if (wide)
            return {bits + order + "MIPS (ELF)", {little ? "mips64el" : "mips64"}};
        return {bits + order + "MIPS (ELF)",
                little ? std::vector<std::string_view>{"mipsel", "mips64el"}
                       : std::vector<std::string_view>{"mips", "mips64"}};
    case 20: // EM_PPC
        return {"32-bit PowerPC (ELF)", {"ppc", "ppc64"}};
    case 21: // EM_PPC64: pseries runs either byte order
        return {"64-bit " + order + "PowerPC (ELF)", {"ppc64"}};
    case 243: // EM_RISCV
        if (wide)
            return {"64-bit RISC-V (ELF)", {"riscv64"}};
        return {"32-bit RISC-V (ELF)", {"riscv32", "riscv64"}};
    default:
        return {};
    }
}

// The x86 boot protocol's header: "HdrS" at 0x202; from version 2.12 on,
// xloadflags say whether the kernel is 64-bit.
KernelKind X86Kind(std::string_view header) {
    const uint32_t version = Little(header, 0x206, 2);
    if (version >= 0x020c && header.size() > 0x236 && (Little(header, 0x236, 2) & 1) != 0)
        return {"64-bit x86 (bzImage)", {"x86_64"}};
    if (version >= 0x020c)
        return {"32-bit x86 (bzImage)", {"i386", "x86_64"}};
    return {};
}

} // namespace

KernelKind KernelKindOf(std::string_view header) {
    if (header.substr(0, 4) == "\x7f"
                               "ELF")
        return ElfKind(header);
    // arm64's Image header: "ARM\x64" at 0x38.
    if (header.size() >= 0x3c && header.substr(0x38, 4) == "ARM\x64")
        return {"64-bit ARM (arm64 Image)", {"aarch64"}};
    // arm's zImage: its magic number at 0x24, in either byte order.
    if (header.size() >= 0x28 &&
        (Little(header, 0x24, 4) == 0x016f2818 || Big(header, 0x24, 4) == 0x016f2818))
        return {"32-bit ARM (zImage)", {"arm", "aarch64"}};
    if (header.size() >= 0x208 && header.substr(0x202, 4) == "HdrS")
        return X86Kind(header);
    return {};
}

std::string KernelImageProblem(const std::string& path, std::string_view arch,
                               std::string_view board) {
    std::string header(kHeaderBytes, '\0');
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const ssize_t got = fd.valid() ? ::pread(fd.get(), header.data(), header.size(), 0) : -1;
    if (got <= 0)
        return {}; // the emulator says why it cannot read it
    header.resize(static_cast<std::size_t>(got));
    const KernelKind kind = KernelKindOf(header);
    if (kind.description.empty() ||
        std::find(kind.archs.begin(), kind.archs.end(), arch) != kind.archs.end())
        return {};
    std::string targets;
    for (std::size_t i = 0; i < kind.archs.size(); ++i)
        targets += (i == 0                       ? ""
                    : i + 1 == kind.archs.size() ? " or "
                                                 : ", ") +
                   std::string(kind.archs[i]);
    return "The kernel image " + path + " is a " + kind.description +
           " kernel by its header; the board " + TargetText(board, arch) +
           " can never run it. Choose a kernel built for " + std::string(arch) +
           ", or a target of " + targets + ".";
}

} // namespace bx
