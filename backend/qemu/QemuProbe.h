// Asks an installed qemu-system-<arch> for its boards and CPUs over its
// machine protocol (QMP), without starting a machine.
#pragma once

#include "Choices.h"

#include <optional>
#include <string>
#include <string_view>

namespace bx {

// The commands sent on the emulator's standard input.
std::string QmpProbeScript();

// Reads the emulator's replies to QmpProbeScript(). Versioned boards that an
// alias stands for ("virt-7.2" behind "virt") are left out, and so is "none".
std::optional<ArchChoices> ParseQmpTranscript(std::string_view arch, std::string_view transcript);

// Runs `binary` (qemu-system-<arch>) once; nullopt when it gives no usable
// answer within a few seconds.
std::optional<ArchChoices> ProbeQemu(const std::string& binary, const std::string& arch);

} // namespace bx
