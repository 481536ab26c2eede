// The seventeen exports and the optional ones. Each one is a thin shell over
// the units above and lets no exception cross into the manager.
#define BREVANTIX_IMPLEMENTATION
#include "app/backend/brevantix.h"

#include "Catalogue.h"
#include "Choices.h"
#include "Cloner.h"
#include "Control.h"
#include "Defaults.h"
#include "Engine.h"
#include "Files.h"
#include "Keeper.h"
#include "Launcher.h"
#include "Log.h"
#include "QemuProbe.h"
#include "RunRecord.h"
#include "Store.h"
#include "Tap.h"
#include "Text.h"

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace {

using namespace bx;

// What lives as long as the library: the probed choices, the last start
// message of every machine, the machine an edit has deleted and will save
// again, and the damaged machine files already logged.
struct Backend {
    ChoiceCatalogue catalogue{CacheDirectory(), CurrentSearchPath, ProbeQemu};
    std::mutex messagesMutex;
    std::map<std::string, std::string, std::less<>> startMessages;
    std::mutex storeMutex;
    std::optional<std::string> edited;
    std::set<std::string> damagedLogged;
    // Told of starts and stops (GetEmulatorEventFd); made on first use.
    std::mutex eventsMutex;
    std::optional<base::Fd> events;
    // The engine a URI in the further argument chose; none: the local one.
    // Exports that take no further argument use the last one chosen.
    std::mutex engineMutex;
    std::shared_ptr<Engine> remote;
    std::string remoteUri;
    std::string remoteArchs;
};

Backend& TheBackend() {
    static Backend backend;
    return backend;
}

std::string TapHelperPath() {
    return LibraryDirectory() + "/" + std::string(kTapHelperName);
}

MachineStore CurrentStore() {
    return MachineStore(StoreDirectory());
}

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

// Chooses the engine by the further argument of the exports that take one.
void ChooseEngine(std::string_view extra) {
    Backend& backend = TheBackend();
    const std::optional<EngineAddress> address = ParseEngineAddress(extra);
    std::lock_guard lock(backend.engineMutex);
    if (!address) {
        backend.remote.reset();
        backend.remoteUri.clear();
        return;
    }
    if (!backend.remote || backend.remoteUri != address->uri) {
        backend.remote = LoadEngine(address->uri);
        backend.remoteUri = address->uri;
    }
    backend.remoteArchs = address->archs;
}

std::shared_ptr<Engine> Remote() {
    Backend& backend = TheBackend();
    std::lock_guard lock(backend.engineMutex);
    return backend.remote;
}

std::string RemoteArchs() {
    Backend& backend = TheBackend();
    std::lock_guard lock(backend.engineMutex);
    return backend.remoteArchs;
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

uint32_t EnumAllEmulator(const char* extra, char* buffer, uint32_t capacity,
                         uint32_t slotSize) {
    return Guarded(0u, [&] {
        ChooseEngine(ArgText(extra));
        if (const auto remote = Remote())
            return WriteList(remote->Names(), buffer, capacity, slotSize);
        std::vector<DamagedFile> damaged;
        const std::vector<std::string> names = CurrentStore().Names(&damaged);
        Backend& backend = TheBackend();
        std::lock_guard lock(backend.storeMutex);
        for (const DamagedFile& file : damaged)
            if (backend.damagedLogged.insert(file.path).second)
                LogLine("The machine file " + file.path + " is not listed: " + file.reason +
                        ". It is kept as it is; a machine saved under its name keeps it as " +
                        file.path + ".unreadable.");
        return WriteList(names, buffer, capacity, slotSize);
    });
}

int32_t GetEmulatorOptions(const char* name, EmulatorOptions* options) {
    return Guarded(0, [&] {
        if (!name || !options)
            return 0;
        if (const auto remote = Remote()) {
            const std::optional<Machine> machine = remote->Load(name);
            if (machine)
                *options = RecordFromMachine(*machine);
            return machine ? 1 : 0;
        }
        const std::optional<EmulatorOptions> record = CurrentStore().Load(name);
        if (!record)
            return 0;
        *options = *record;
        return 1;
    });
}

void SetEmulatorOptDefault(const char* extra, EmulatorOptions* options) {
    Guarded([&] {
        ChooseEngine(ArgText(extra));
        if (const auto remote = Remote()) {
            if (options)
                *options = RecordFromMachine(remote->Defaults(RemoteArchs()));
            return;
        }
        Backend& backend = TheBackend();
        {
            // A new machine: whatever was deleted before is not being edited.
            std::lock_guard lock(backend.storeMutex);
            backend.edited.reset();
        }
        if (options)
            FillDefaults(*options, backend.catalogue, ArgText(extra));
    });
}

void SaveEmulatorOptions(const EmulatorOptions* options) {
    Guarded([&] {
        if (!options)
            return;
        if (const auto remote = Remote())
            return remote->Save(MachineFromRecord(*options));
        Backend& backend = TheBackend();
        std::lock_guard lock(backend.storeMutex);
        const std::optional<std::string> edited = std::exchange(backend.edited, std::nullopt);
        const MachineStore store = CurrentStore();
        std::string error;
        if (!MachineKeeper(store, LibraryDirectory()).Save(*options, edited, &error))
            LogLine("The machine " + ReadField(options->general.name) + " was not saved: " + error +
                    (edited ? "; the stored machine " + *edited + " is kept" : ""));
    });
}

void DelEmulatorOptions(const char* name, const char* /*arch*/) {
    Guarded([&] {
        if (!name)
            return;
        if (const auto remote = Remote())
            return remote->Remove(name);
        Backend& backend = TheBackend();
        std::lock_guard lock(backend.storeMutex);
        // The manager's edit deletes, then saves again: remember which. A
        // delete that removed nothing leaves nothing for the save to take.
        if (CurrentStore().Remove(name))
            backend.edited = name;
        else
            backend.edited.reset();
    });
}

int32_t StartEmulator(const char* name) {
    return Guarded(0, [&] {
        if (!name)
            return 0;
        StartOutcome outcome;
        if (const auto remote = Remote()) {
            const EngineStart started = remote->Start(name);
            outcome.started = started.started;
            outcome.message = started.message;
        } else {
            const MachineStore store = CurrentStore();
            outcome = Launcher(store, LibraryDirectory(), CurrentSearchPath(), 10000,
                               LibraryDirectory() + "/" + std::string(kConsoleLoggerName))
                          .Start(name);
        }
        Backend& backend = TheBackend();
        std::lock_guard lock(backend.messagesMutex);
        backend.startMessages[name] = outcome.message;
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
        if (!arch || size == 0)
            return;
        const auto remote = Remote();
        WriteField(arch, size,
                   remote ? remote->ArchOf(std::string(ArgText(target)))
                          : TheBackend().catalogue.ArchOf(ArgText(target)));
    });
}

uint32_t GetEmulatorTarget(const char* extra, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        ChooseEngine(ArgText(extra));
        if (const auto remote = Remote())
            return WriteList(remote->Targets(RemoteArchs()), buffer, capacity, slotSize);
        return WriteList(TheBackend().catalogue.Targets(ArgText(extra)), buffer, capacity,
                         slotSize);
    });
}

uint32_t GetEmulatorCPU(const char* target, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        if (const auto remote = Remote())
            return WriteList(remote->Cpus(std::string(ArgText(target))), buffer, capacity,
                             slotSize);
        return WriteList(TheBackend().catalogue.Cpus(ArgText(target)), buffer, capacity, slotSize);
    });
}

uint32_t GetMemType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] { return WriteList(MemoryUnits(), buffer, capacity, slotSize); });
}

uint32_t RefreshTapNetWork(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        const auto remote = Remote();
        return WriteList(remote ? remote->Networks() : NetworkChoices(), buffer, capacity,
                         slotSize);
    });
}

void InstallTapNetWork(const char* /*version*/) {
    // The kernel has one TUN/TAP driver; whichever version was chosen, the
    // adapter comes from it.
    Guarded([] {
        if (Remote()) {
            LogLine("No TAP adapter is made on another host: choose one of its networks");
            return;
        }
        const TapResult made = InstallTap(TapHelperPath());
        if (!made.ok)
            LogLine("No TAP adapter was installed: " + made.error);
    });
}

void ReNameTapNetWork(const char* oldName, const char* newName) {
    Guarded([&] {
        if (Remote()) {
            LogLine("Adapters of another host are not renamed from here");
            return;
        }
        if (oldName && newName)
            if (const TapResult renamed = RenameTapAsUser(TapHelperPath(), oldName, newName);
                !renamed.ok)
                LogLine("The adapter " + std::string(oldName) + " was not renamed to " + newName +
                        ": " + renamed.error);
    });
}

uint32_t GetTapDrvVer(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        return WriteList(Remote() ? std::vector<std::string>{} : TapDriverVersions(), buffer,
                         capacity, slotSize);
    });
}

uint32_t GetSerialType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        const auto remote = Remote();
        return WriteList(remote ? remote->SerialKinds() : SerialKinds(), buffer, capacity,
                         slotSize);
    });
}

uint32_t GetPeriType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return Guarded(0u, [&] {
        const auto remote = Remote();
        return WriteList(remote ? remote->PeripheralKinds() : PeripheralKinds(), buffer,
                         capacity, slotSize);
    });
}

int32_t GetEmulatorState(const char* name) {
    return Guarded(0, [&] {
        if (!name)
            return 0;
        if (const auto remote = Remote())
            return remote->State(name);
        const MachineStore store = CurrentStore();
        return EmulatorControl(store, LibraryDirectory()).State(name);
    });
}

int32_t StopEmulator(const char* name, int32_t force) {
    return Guarded(0, [&] {
        if (!name)
            return 0;
        if (const auto remote = Remote())
            return remote->Stop(name, force != 0) ? 1 : 0;
        const MachineStore store = CurrentStore();
        return EmulatorControl(store, LibraryDirectory()).Stop(name, force != 0) ? 1 : 0;
    });
}

uint32_t GetEmulatorInfo(const char* name, char* buffer, uint32_t size) {
    return Guarded(0u, [&] {
        if (const auto remote = Remote())
            return WriteErrorText(name ? remote->Info(name) : "", buffer, size);
        const MachineStore store = CurrentStore();
        return WriteErrorText(name ? EmulatorControl(store, LibraryDirectory()).Info(name) : "",
                              buffer, size);
    });
}

int32_t GetEmulatorEventFd(void) {
    return Guarded(-1, [] {
        if (Remote())
            return -1;
        Backend& backend = TheBackend();
        std::lock_guard lock(backend.eventsMutex);
        if (!backend.events)
            backend.events = WatchRunEvents();
        return backend.events->valid() ? backend.events->get() : -1;
    });
}

int32_t CloneEmulator(const char* from, const char* to) {
    return Guarded(0, [&] {
        const MachineStore store = CurrentStore();
        Backend& backend = TheBackend();
        std::lock_guard lock(backend.storeMutex);
        const CloneOutcome outcome =
            MachineCloner(store, LibraryDirectory()).Clone(ArgText(from), ArgText(to));
        std::lock_guard messages(backend.messagesMutex);
        backend.startMessages[std::string(ArgText(to))] = outcome.message;
        return outcome.done ? 1 : 0;
    });
}

} // extern "C"
