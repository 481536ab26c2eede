// Whether a machine's emulator runs, as far as the back end can say.
#pragma once

#include <string>

enum class VmRunState { Unknown, Stopped, Running, Paused };

// From the optional GetEmulatorState: Unknown when the back end lacks it or
// answers a value it does not define, so nothing is claimed that it never said.
VmRunState ReadRunState(const std::string& name);
