// What a kernel image's own header says about the processors it runs on, so
// that a kernel that can never run on a machine's board is refused at start
// instead of leaving a silent emulator.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bx {

struct KernelKind {
    std::string description;             // e.g. "64-bit ARM (arm64 Image)"
    std::vector<std::string_view> archs; // the qemu-system-<arch> that can run it
};

// The kind of kernel whose image begins with `header` (its first 1 KiB is
// enough); an empty description when the header does not tell, such as for a
// compressed image or an unknown processor.
KernelKind KernelKindOf(std::string_view header);

// Why the kernel image at `path` can never run on `board` of qemu-system-
// <arch>; empty when it may run or its header does not tell.
std::string KernelImageProblem(const std::string& path, std::string_view arch,
                               std::string_view board);

} // namespace bx
