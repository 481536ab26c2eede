#include "TestBackendControl.h"

#include "app/backend/EmulatorLib.h"
#include "app/backend/ExportCall.h"
#include "app/backend/ProgramDir.h"

#include <cstring>
#include <dlfcn.h>

namespace {

using PFN_Void = void (*)();
using PFN_SetList = void (*)(const char*, const char*, const char* const*, const uint32_t*,
                             uint32_t);
using PFN_SetListQuirks = void (*)(const char*, int64_t, int64_t, int32_t);
using PFN_SetRecord = void (*)(const char*, const EmulatorOptions*, int32_t);
using PFN_SetDefaultRecord = void (*)(const EmulatorOptions*);
using PFN_SetStart = void (*)(const char*, int32_t, const char*, uint32_t, int64_t);
using PFN_SetArch = void (*)(const char*, const char*);
using PFN_SetState = void (*)(const char*, int32_t);
using PFN_SetInfo = void (*)(const char*, const char*, uint32_t);
using PFN_SetLogging = void (*)(int32_t);
using PFN_CallCount = uint32_t (*)();
using PFN_CallFunction = const char* (*)(uint32_t);
using PFN_CallArgCount = uint32_t (*)(uint32_t);
using PFN_CallArg = const char* (*)(uint32_t, uint32_t, uint32_t*);

} // namespace

namespace TestBackend {

bool Load() {
    return LoadFrom(GetProgramDir() + "/" BREVANTIX_LIBRARY_NAME);
}

bool LoadFrom(const std::string& path) {
    LoadEmulatorLibraryFrom(path);
    return g_hEmulatorLib != nullptr;
}

std::string VariantsDir() {
    return GetProgramDir() + "/variants";
}

void Reset() {
    CallExport<PFN_Void>("TestBackend_Reset");
}

void SetList(const std::string& function, const std::vector<std::string>& items,
             const std::string& key) {
    std::vector<const char*> texts;
    std::vector<uint32_t> lengths;
    for (const std::string& item : items) {
        texts.push_back(item.data());
        lengths.push_back(static_cast<uint32_t>(item.size()));
    }
    CallExport<PFN_SetList>("TestBackend_SetList", function.c_str(), key.c_str(),
                            static_cast<const char* const*>(texts.data()),
                            static_cast<const uint32_t*>(lengths.data()),
                            static_cast<uint32_t>(items.size()));
}

void SetListQuirks(const std::string& function, int64_t count, int64_t written, bool noNul) {
    CallExport<PFN_SetListQuirks>("TestBackend_SetListQuirks", function.c_str(), count, written,
                                  static_cast<int32_t>(noNul));
}

void SetRecord(const std::string& name, const EmulatorOptions& record, int32_t result) {
    CallExport<PFN_SetRecord>("TestBackend_SetRecord", name.c_str(), &record, result);
}

void SetDefaultRecord(const EmulatorOptions& record) {
    CallExport<PFN_SetDefaultRecord>("TestBackend_SetDefaultRecord", &record);
}

void SetStart(const std::string& name, int32_t result, const std::string& errText,
              int64_t claimedLength) {
    CallExport<PFN_SetStart>("TestBackend_SetStart", name.c_str(), result, errText.data(),
                             static_cast<uint32_t>(errText.size()), claimedLength);
}

void SetClone(const std::string& to, int32_t result, const std::string& text) {
    CallExport<void (*)(const char*, int32_t, const char*)>("TestBackend_SetClone", to.c_str(),
                                                            result, text.c_str());
}

void SetArch(const std::string& target, const std::string& arch) {
    CallExport<PFN_SetArch>("TestBackend_SetArch", target.c_str(), arch.c_str());
}

void SetState(const std::string& name, int32_t state) {
    CallExport<PFN_SetState>("TestBackend_SetState", name.c_str(), state);
}

void SignalRunEvent() {
    CallExport<void (*)()>("TestBackend_SignalRunEvent");
}

void SetInfo(const std::string& name, const std::string& text) {
    CallExport<PFN_SetInfo>("TestBackend_SetInfo", name.c_str(), text.data(),
                            static_cast<uint32_t>(text.size()));
}

void SetLogging(bool enabled) {
    CallExport<PFN_SetLogging>("TestBackend_SetLogging", static_cast<int32_t>(enabled));
}

std::vector<BackendCall> Calls() {
    std::vector<BackendCall> calls;
    const uint32_t count = CallExport<PFN_CallCount>("TestBackend_CallCount");
    calls.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        BackendCall call;
        const char* function = CallExport<PFN_CallFunction>("TestBackend_CallFunction", i);
        call.function = function ? function : "";
        const uint32_t args = CallExport<PFN_CallArgCount>("TestBackend_CallArgCount", i);
        for (uint32_t j = 0; j < args; ++j) {
            uint32_t length = 0;
            const char* arg = CallExport<PFN_CallArg>("TestBackend_CallArg", i, j, &length);
            call.args.emplace_back(arg ? arg : "", arg ? length : 0);
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

std::vector<BackendCall> CallsOf(const std::string& function) {
    std::vector<BackendCall> calls = Calls();
    std::erase_if(calls, [&](const BackendCall& call) { return call.function != function; });
    return calls;
}

std::vector<std::string> CallNames() {
    std::vector<std::string> names;
    for (const BackendCall& call : Calls()) {
        names.push_back(call.function);
    }
    return names;
}

void ClearLog() {
    CallExport<PFN_Void>("TestBackend_ClearLog");
}

EmulatorOptions RecordArg(const BackendCall& call, size_t index) {
    EmulatorOptions record{};
    if (index < call.args.size() && call.args[index].size() == sizeof record) {
        memcpy(&record, call.args[index].data(), sizeof record);
    }
    return record;
}

} // namespace TestBackend
