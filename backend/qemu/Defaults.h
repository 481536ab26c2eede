// The record of a new machine.
#pragma once

#include "Catalogue.h"
#include "MachineFile.h"

#include <string_view>

namespace bx {

// A machine that boots as it is once a kernel and an initrd are chosen: the
// first target offered with its default CPU, 256 MB, a serial console in a
// window (a pty without a desktop session) and a kernel command line that
// sends the console there. No display, no network, no disks.
void FillDefaults(EmulatorOptions& options, ChoiceCatalogue& catalogue, std::string_view extra);

} // namespace bx
