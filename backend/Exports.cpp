// The seventeen exports and the optional ones: each turns the C interface
// into a call of the engine the further argument chose, and lets no
// exception cross into the manager.
#define BREVANTIX_IMPLEMENTATION
#include "app/backend/brevantix.h"

#include "Choices.h"
#include "Engine.h"
#include "Files.h"
#include "Log.h"
#include "QemuEngine.h"
#include "Text.h"

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

using namespace bx;

// Stands in for an engine that could not be loaded: lists nothing, and a
// start says why.
class UnavailableEngine final : public Engine {
public:
    explicit UnavailableEngine(std::string why) : m_why(std::move(why)) {}
    std::vector<std::string> Names() override { return {}; }
    std::optional<Machine> Load(const std::string&) override { return std::nullopt; }
    Machine Defaults(const std::string&) override { return {}; }
    void Save(const Machine& machine) override {
        LogLine("The machine " + machine.name + " was not saved: " + m_why);
    }
    void Remove(const std::string&) override {}
    EngineStart Start(const std::string&) override { return {false, m_why}; }
    std::string ArchOf(const std::string&) override { return {}; }
    std::vector<std::string> Targets(const std::string&) override { return {}; }
    std::vector<std::string> Cpus(const std::string&) override { return {}; }
    std::vector<std::string> Networks() override { return {}; }
    std::vector<std::string> SerialKinds() override { return {}; }
    std::vector<std::string> PeripheralKinds() override { return {}; }
    int State(const std::string&) override { return 0; }
    bool Stop(const std::string&, bool) override { return false; }
    std::string Info(const std::string&) override { return m_why; }
    EngineStart Clone(const std::string&, const std::string&) override { return {false, m_why}; }

private:
    std::string m_why;
};

// Local users never load libvirt: its engine is a library of its own,
// opened for the first URI.
std::shared_ptr<Engine> LoadEngine(const std::string& uri) {
    const std::string file = LibraryDirectory() + "/" + kLibvirtEngineFile;
    std::string why;
    if (void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        // Kept open: the engine's threads may outlive any one call.
        if (auto make = reinterpret_cast<MakeEngineFn>(dlsym(handle, kLibvirtEngineSymbol)))
            if (Engine* engine = make(uri.c_str(), &why))
                // Lives as long as the process: calls given up on may still
                // run on its connection when the library is unloaded.
                return std::shared_ptr<Engine>(engine, [](Engine*) {});
        if (why.empty())
            why = file + " is not a Tarnwick libvirt engine";
    } else {
        const char* error = dlerror();
        const std::string text = error ? error : "";
        why = text.find("libvirt.so") != std::string::npos
                  ? "Machines on " + uri +
                        " need the libvirt library: install the Debian package libvirt0"
                  : "The libvirt engine " + file + " could not be loaded: " + text;
    }
    std::fprintf(stderr, "tarnwick: %s\n", why.c_str());
    LogLine(why);
    return std::make_shared<UnavailableEngine>(why);
}

// What lives as long as the library: the local engine, the engine a URI
// in the further argument chose (exports that take no further argument use
// the last one chosen), and the last start message of every machine.
struct Backend {
    std::shared_ptr<Engine> local = std::make_shared<QemuEngine>();
    std::mutex engineMutex;
    std::shared_ptr<Engine> remote;
    std::string remoteUri;
    std::string archs;
    std::mutex messagesMutex;
    std::map<std::string, std::string, std::less<>> startMessages;
};

Backend& TheBackend() {
    static Backend backend;
    return backend;
}

// Chooses the engine by the further argument of the exports that take one.
// A null argument (a caller that has none at hand) keeps a remote engine
// chosen before: machines are never saved to the wrong place by it.
void ChooseEngine(const char* text) {
    Backend& backend = TheBackend();
    const std::string_view extra = ArgText(text);
    const std::optional<EngineAddress> address = ParseEngineAddress(extra);
    std::lock_guard lock(backend.engineMutex);
    if (!text && backend.remote)
        return;
    if (!address) {
        backend.remote.reset();
        backend.remoteUri.clear();
        backend.archs = std::string(extra);
        return;
    }
    if (!backend.remote || backend.remoteUri != address->uri) {
        backend.remote = LoadEngine(address->uri);
        backend.remoteUri = address->uri;
    }
    backend.archs = address->archs;
}

std::shared_ptr<Engine> CurrentEngine() {
    Backend& backend = TheBackend();
    std::lock_guard lock(backend.engineMutex);
    return backend.remote ? backend.remote : backend.local;
}

// The architectures asked for, after the URI when there is one.
std::string Archs(const char* extra) {
    ChooseEngine(extra);
    Backend& backend = TheBackend();
    std::lock_guard lock(backend.engineMutex);
    return backend.archs;
}

void KeepMessage(const std::string& name, std::string message) {
    Backend& backend = TheBackend();
    std::lock_guard lock(backend.messagesMutex);
    backend.startMessages[name] = std::move(message);
}

template <typename Result, typename Body> Result Guarded(Result failed, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return failed;
    }
}

template <typename Body> void Guarded(Body body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

} // namespace

extern "C" {

uint32_t EnumAllEmulator(const char* extra, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        ChooseEngine(extra);
        return WriteList(CurrentEngine()->Names(), buffer, capacity, slotSize);
    });
}

int32_t GetEmulatorOptions(const char* name, EmulatorOptions* options) {
    return Guarded(0, [&] {
        if (!name || !options)
            return 0;
        const std::optional<Machine> machine = CurrentEngine()->Load(name);
        if (!machine)
            return 0;
        *options = RecordFromMachine(*machine);
        return 1;
    });
}

void SetEmulatorOptDefault(const char* extra, EmulatorOptions* options) {
    Guarded([&] {
        const std::string archs = Archs(extra);
        const Machine machine = CurrentEngine()->Defaults(archs);
        if (options)
            *options = RecordFromMachine(machine);
    });
}

void SaveEmulatorOptions(const EmulatorOptions* options) {
    Guarded([&] {
        if (options)
            CurrentEngine()->Save(MachineFromRecord(*options));
    });
}

void DelEmulatorOptions(const char* name, const char* /*arch*/) {
    // The architecture is not needed: names are unique.
    Guarded([&] {
        if (name)
            CurrentEngine()->Remove(name);
    });
}

int32_t StartEmulator(const char* name) {
    return Guarded(0, [&] {
        if (!name)
            return 0;
        EngineStart outcome = CurrentEngine()->Start(name);
        KeepMessage(name, std::move(outcome.message));
        return outcome.started ? 1 : 0;
    });
}

uint32_t GetStartEmulatorErrInfo(const char* name, char* buffer, uint32_t size) {
    return Guarded(0u, [&] {
        Backend& backend = TheBackend();
        std::lock_guard lock(backend.messagesMutex);
        const auto it = backend.startMessages.find(ArgText(name));
        return it == backend.startMessages.end() ? WriteErrorText({}, buffer, size)
                                                 : WriteErrorText(it->second, buffer, size);
    });
}

void GetArch(const char* target, char* arch, uint32_t size) {
    Guarded([&] {
        if (arch && size > 0)
            WriteField(arch, size, CurrentEngine()->ArchOf(std::string(ArgText(target))));
    });
}

uint32_t GetEmulatorTarget(const char* extra, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        const std::string archs = Archs(extra);
        return WriteList(CurrentEngine()->Targets(archs), buffer, capacity, slotSize);
    });
}

uint32_t GetEmulatorCPU(const char* target, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        return WriteList(CurrentEngine()->Cpus(std::string(ArgText(target))), buffer, capacity,
                         slotSize);
    });
}

uint32_t GetMemType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] { return WriteList(MemoryUnits(), buffer, capacity, slotSize); });
}

uint32_t RefreshTapNetWork(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(
        0u, [&] { return WriteList(CurrentEngine()->Networks(), buffer, capacity, slotSize); });
}

void InstallTapNetWork(const char* /*version*/) {
    Guarded([] { CurrentEngine()->InstallAdapter(); });
}

void ReNameTapNetWork(const char* oldName, const char* newName) {
    Guarded([&] {
        if (oldName && newName)
            CurrentEngine()->RenameAdapter(oldName, newName);
    });
}

uint32_t GetTapDrvVer(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        return WriteList(CurrentEngine()->AdapterDriverVersions(), buffer, capacity, slotSize);
    });
}

uint32_t GetSerialType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(
        0u, [&] { return WriteList(CurrentEngine()->SerialKinds(), buffer, capacity, slotSize); });
}

uint32_t GetPeriType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        return WriteList(CurrentEngine()->PeripheralKinds(), buffer, capacity, slotSize);
    });
}

int32_t GetEmulatorState(const char* name) {
    return Guarded(0, [&] { return name ? CurrentEngine()->State(name) : 0; });
}

int32_t StopEmulator(const char* name, int32_t force) {
    return Guarded(0, [&] { return name && CurrentEngine()->Stop(name, force != 0) ? 1 : 0; });
}

uint32_t GetEmulatorInfo(const char* name, char* buffer, uint32_t size) {
    return Guarded(
        0u, [&] { return WriteErrorText(name ? CurrentEngine()->Info(name) : "", buffer, size); });
}

int32_t GetEmulatorEventFd(void) {
    return Guarded(-1, [] { return CurrentEngine()->EventFd(); });
}

int32_t CloneEmulator(const char* from, const char* to) {
    return Guarded(0, [&] {
        EngineStart outcome =
            CurrentEngine()->Clone(std::string(ArgText(from)), std::string(ArgText(to)));
        KeepMessage(std::string(ArgText(to)), std::move(outcome.message));
        return outcome.started ? 1 : 0;
    });
}

} // extern "C"
