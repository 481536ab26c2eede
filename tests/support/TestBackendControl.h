// In-process control of the scriptable test back end (tests/testbackend),
// which is built as Brevantix.dll into the test programs' directory and logs
// every call it receives with its arguments.
#pragma once

#include "app/backend/brevantix.h"

#include <cstdint>
#include <string>
#include <vector>

struct BackendCall {
    std::string function;
    // Texts as passed (a null pointer is "<null>"), numbers in decimal,
    // records as their raw 12804 bytes.
    std::vector<std::string> args;
};

namespace TestBackend {
// Loads <test program dir>/Brevantix.dll into g_hEmulatorLib (or `path`);
// false when it cannot be loaded.
bool Load();
bool LoadFrom(const std::string& path);
// Directory of the build variants (one sub-directory per variant, each with
// its own Brevantix.dll, e.g. "no-StartEmulator", "no-exports").
std::string VariantsDir();

// Forgets every script line and the call log.
void Reset();

// A list function's items ("EnumAllEmulator", "GetEmulatorTarget", ...).
// For keyed lists (GetEmulatorCPU, GetEmulatorTarget, EnumAllEmulator) a key
// selects the items for that key; "*" (the default) answers any key, and a
// null key is matched by "<null>".
void SetList(const std::string& function, const std::vector<std::string>& items,
             const std::string& key = "*");
// Hostile lists: the count call answers `count` whatever the items; the fill
// call writes min(items, capacity) slots and answers `written` (-1: the number
// written). `noNul`: slots are filled to the last byte with no terminator.
// (A no-NUL slot holds the item's first 260 bytes, padded with '#'.)
void SetListQuirks(const std::string& function, int64_t count, int64_t written, bool noNul);

// GetEmulatorOptions(name) copies the record and answers `result`;
// unknown names answer 0 and leave the record as it is.
void SetRecord(const std::string& name, const EmulatorOptions& record, int32_t result = 1);
// SetEmulatorOptDefault copies this record.
void SetDefaultRecord(const EmulatorOptions& record);
// StartEmulator(name) answers `result`; GetStartEmulatorErrInfo gives
// `errText`; `claimedLength` >= 0 makes the length call lie.
void SetStart(const std::string& name, int32_t result, const std::string& errText,
              int64_t claimedLength = -1);
// CloneEmulator(any, to) answers `result` ("*": any name), and
// GetStartEmulatorErrInfo(to) then gives `text`.
void SetClone(const std::string& to, int32_t result, const std::string& text);
// GetArch(target) writes `arch`; unknown targets leave the field as it is.
void SetArch(const std::string& target, const std::string& arch);
// GetEmulatorState(name) answers `state` (BREVANTIX_STATE_*, or any number).
void SetState(const std::string& name, int32_t state);
// GetEmulatorInfo(name) gives `text`.
void SetInfo(const std::string& name, const std::string& text);
// Makes GetEmulatorEventFd's descriptor readable, as a start or stop would.
void SignalRunEvent();

std::vector<BackendCall> Calls();
std::vector<BackendCall> CallsOf(const std::string& function);
// Function names of every call in order, e.g. for "no back-end call" checks.
std::vector<std::string> CallNames();
void ClearLog();
// Off: calls are no longer kept in memory (benchmarks with many records).
void SetLogging(bool enabled);
// The record argument of a logged call (SaveEmulatorOptions: args[0]).
EmulatorOptions RecordArg(const BackendCall& call, size_t index = 0);
} // namespace TestBackend
