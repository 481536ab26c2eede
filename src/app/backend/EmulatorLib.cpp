#include "app/backend/EmulatorLib.h"

#include "app/backend/ExportCall.h"
#include "app/backend/ProgramDir.h"

#include <dlfcn.h>

void* g_hEmulatorLib = nullptr;

// The name of each wrapper is the name of its export.
#define EMU_CALL(fn, ...) CallExport<PFN_##fn>(#fn, __VA_ARGS__)

void LoadEmulatorLibrary() {
    LoadEmulatorLibraryFrom(GetProgramDir() + "/" BREVANTIX_LIBRARY_NAME);
}

void LoadEmulatorLibraryFrom(const std::string& path) {
    FreeEmulatorLibrary();
    g_hEmulatorLib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void FreeEmulatorLibrary() {
    if (g_hEmulatorLib) {
        dlclose(g_hEmulatorLib);
        g_hEmulatorLib = nullptr;
    }
}

namespace Emu {

uint32_t EnumAllEmulator(const char* extra, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return EMU_CALL(EnumAllEmulator, extra, buffer, capacity, slotSize);
}

int32_t GetEmulatorOptions(const char* name, EmulatorOptions* options) {
    return EMU_CALL(GetEmulatorOptions, name, options);
}

void SetEmulatorOptDefault(const char* extra, EmulatorOptions* options) {
    EMU_CALL(SetEmulatorOptDefault, extra, options);
}

void SaveEmulatorOptions(const EmulatorOptions* options) {
    EMU_CALL(SaveEmulatorOptions, options);
}

void DelEmulatorOptions(const char* name, const char* arch) {
    EMU_CALL(DelEmulatorOptions, name, arch);
}

int32_t StartEmulator(const char* name) {
    return EMU_CALL(StartEmulator, name);
}

uint32_t GetStartEmulatorErrInfo(const char* name, char* buffer, uint32_t size) {
    return EMU_CALL(GetStartEmulatorErrInfo, name, buffer, size);
}

void GetArch(const char* target, char* arch, uint32_t size) {
    EMU_CALL(GetArch, target, arch, size);
}

uint32_t GetEmulatorTarget(const char* extra, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return EMU_CALL(GetEmulatorTarget, extra, buffer, capacity, slotSize);
}

uint32_t GetEmulatorCPU(const char* target, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return EMU_CALL(GetEmulatorCPU, target, buffer, capacity, slotSize);
}

uint32_t GetMemType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return EMU_CALL(GetMemType, buffer, capacity, slotSize);
}

uint32_t RefreshTapNetWork(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return EMU_CALL(RefreshTapNetWork, buffer, capacity, slotSize);
}

void InstallTapNetWork(const char* version) {
    EMU_CALL(InstallTapNetWork, version);
}

void ReNameTapNetWork(const char* oldName, const char* newName) {
    EMU_CALL(ReNameTapNetWork, oldName, newName);
}

uint32_t GetTapDrvVer(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return EMU_CALL(GetTapDrvVer, buffer, capacity, slotSize);
}

uint32_t GetSerialType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return EMU_CALL(GetSerialType, buffer, capacity, slotSize);
}

uint32_t GetPeriType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return EMU_CALL(GetPeriType, buffer, capacity, slotSize);
}

int32_t GetEmulatorState(const char* name) {
    return EMU_CALL(GetEmulatorState, name);
}

int32_t StopEmulator(const char* name, int32_t force) {
    return EMU_CALL(StopEmulator, name, force);
}

uint32_t GetEmulatorInfo(const char* name, char* buffer, uint32_t size) {
    return EMU_CALL(GetEmulatorInfo, name, buffer, size);
}

int32_t GetEmulatorEventFd() {
    // Missing, the skipped outcome 0 would name standard input.
    return HasExport("GetEmulatorEventFd")
               ? CallExport<PFN_GetEmulatorEventFd>("GetEmulatorEventFd")
               : -1;
}

int32_t CloneEmulator(const char* from, const char* to) {
    return EMU_CALL(CloneEmulator, from, to);
}

bool HasExport(const char* name) {
    return ExportExists(name);
}

} // namespace Emu
