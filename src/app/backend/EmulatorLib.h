// Binding to the back-end library. Every call looks its export up by name in
// g_hEmulatorLib at the moment of the call; with no library or no such export
// the call is skipped: list functions give 0, GetEmulatorOptions and
// StartEmulator give 0 (failed), GetStartEmulatorErrInfo gives 0, the others
// do nothing. The optional exports skip alike: GetEmulatorState gives 0
// (BREVANTIX_STATE_STOPPED), so whoever must tell "stopped" from "cannot say"
// asks HasExport first.
#pragma once

#include "app/backend/brevantix.h"

#include <string>

extern void* g_hEmulatorLib;

// Loads <program directory>/Brevantix.dll into g_hEmulatorLib (null on failure).
void LoadEmulatorLibrary();
// Loads the given file instead; for start-up variants and tests.
void LoadEmulatorLibraryFrom(const std::string& path);
// dlclose and reset g_hEmulatorLib, when set.
void FreeEmulatorLibrary();

namespace Emu {
uint32_t EnumAllEmulator(const char* extra, char* buffer, uint32_t capacity, uint32_t slotSize);
int32_t GetEmulatorOptions(const char* name, EmulatorOptions* options);
void SetEmulatorOptDefault(const char* extra, EmulatorOptions* options);
void SaveEmulatorOptions(const EmulatorOptions* options);
void DelEmulatorOptions(const char* name, const char* arch);
int32_t StartEmulator(const char* name);
uint32_t GetStartEmulatorErrInfo(const char* name, char* buffer, uint32_t size);
void GetArch(const char* target, char* arch, uint32_t size);
uint32_t GetEmulatorTarget(const char* extra, char* buffer, uint32_t capacity, uint32_t slotSize);
uint32_t GetEmulatorCPU(const char* target, char* buffer, uint32_t capacity, uint32_t slotSize);
uint32_t GetMemType(char* buffer, uint32_t capacity, uint32_t slotSize);
uint32_t RefreshTapNetWork(char* buffer, uint32_t capacity, uint32_t slotSize);
void InstallTapNetWork(const char* version);
void ReNameTapNetWork(const char* oldName, const char* newName);
uint32_t GetTapDrvVer(char* buffer, uint32_t capacity, uint32_t slotSize);
uint32_t GetSerialType(char* buffer, uint32_t capacity, uint32_t slotSize);
uint32_t GetPeriType(char* buffer, uint32_t capacity, uint32_t slotSize);

// Optional exports beyond the seventeen.
int32_t GetEmulatorState(const char* name);
int32_t StopEmulator(const char* name, int32_t force);
uint32_t GetEmulatorInfo(const char* name, char* buffer, uint32_t size);
// -1 when the back end has none.
int32_t GetEmulatorEventFd();
int32_t CloneEmulator(const char* from, const char* to);

// Whether the loaded back end has the export `name`.
bool HasExport(const char* name);
} // namespace Emu
