#include "vmlist/VmRunState.h"

#include "app/backend/EmulatorLib.h"

VmRunState ReadRunState(const std::string& name) {
    // Without the export the skipped call would read as "stopped".
    if (!Emu::HasExport("GetEmulatorState"))
        return VmRunState::Unknown;
    switch (Emu::GetEmulatorState(name.c_str())) {
    case BREVANTIX_STATE_STOPPED:
        return VmRunState::Stopped;
    case BREVANTIX_STATE_RUNNING:
        return VmRunState::Running;
    case BREVANTIX_STATE_PAUSED:
        return VmRunState::Paused;
    default:
        return VmRunState::Unknown;
    }
}
