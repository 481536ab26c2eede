#include "QemuEngine.h"

#include "Choices.h"
#include "Cloner.h"
#include "Control.h"
#include "Defaults.h"
#include "Files.h"
#include "Keeper.h"
#include "Launcher.h"
#include "Log.h"
#include "QemuProbe.h"
#include "RunRecord.h"
#include "Store.h"
#include "Tap.h"
#include "Text.h"

#include <utility>

namespace bx {
namespace {

MachineStore CurrentStore() {
    return MachineStore(StoreDirectory());
}

std::string TapHelperPath() {
    return LibraryDirectory() + "/" + std::string(kTapHelperName);
}

} // namespace

QemuEngine::QemuEngine() : m_catalogue(CacheDirectory(), CurrentSearchPath, ProbeQemu) {}

std::vector<std::string> QemuEngine::Names() {
    std::vector<DamagedFile> damaged;
    std::map<std::string, ListedFile> listed;
    {
        // The manager lists twice (to count, then to fill): the second
        // listing need not read again what the first read.
        std::lock_guard lock(m_storeMutex);
        listed.swap(m_listed);
    }
    const std::vector<std::string> names = CurrentStore().Names(&damaged, &listed);
    std::lock_guard lock(m_storeMutex);
    m_listed.swap(listed);
    for (const DamagedFile& file : damaged)
        if (m_damagedLogged.insert(file.path).second)
            LogLine("The machine file " + file.path + " is not listed: " + file.reason +
                    ". It is kept as it is; a machine saved under its name keeps it as " +
                    file.path + ".unreadable.");
    return names;
}

std::optional<Machine> QemuEngine::Load(const std::string& name) {
    const MachineStore store = CurrentStore();
    const std::string path = store.PathFor(name, MachineStore::kSuffix);
    std::optional<ListedFile> listed;
    {
        std::lock_guard lock(m_storeMutex);
        if (auto node = m_listed.extract(path))
            listed = std::move(node.mapped());
    }
    if (listed && listed->machine.name == name && VersionOf(path) == listed->version)
        return std::move(listed->machine);
    const std::optional<EmulatorOptions> record = store.Load(name);
    if (!record)
        return std::nullopt;
    return MachineFromRecord(*record);
}

Machine QemuEngine::Defaults(const std::string& archs) {
    {
        // A new machine: whatever was deleted before is not being edited.
        std::lock_guard lock(m_storeMutex);
        m_edited.reset();
    }
    EmulatorOptions record;
    FillDefaults(record, m_catalogue, archs);
    return MachineFromRecord(record);
}

void QemuEngine::Save(const Machine& machine) {
    std::lock_guard lock(m_storeMutex);
    m_listed.clear();
    const std::optional<std::string> edited = std::exchange(m_edited, std::nullopt);
    const MachineStore store = CurrentStore();
    std::string error;
    if (!MachineKeeper(store, LibraryDirectory()).Save(RecordFromMachine(machine), edited, &error))
        LogLine("The machine " + machine.name + " was not saved: " + error +
                (edited ? "; the stored machine " + *edited + " is kept" : ""));
}

void QemuEngine::Remove(const std::string& name) {
    std::lock_guard lock(m_storeMutex);
    m_listed.clear();
    // The manager's edit deletes, then saves again: remember which. A
    // delete that removed nothing leaves nothing for the save to take.
    if (CurrentStore().Remove(name))
        m_edited = name;
    else
        m_edited.reset();
}

EngineStart QemuEngine::Start(const std::string& name) {
    {
        // A start may record its images in the machine's file.
        std::lock_guard lock(m_storeMutex);
        m_listed.clear();
    }
    const MachineStore store = CurrentStore();
    const StartOutcome outcome =
        Launcher(store, LibraryDirectory(), CurrentSearchPath(), 10000,
                 LibraryDirectory() + "/" + std::string(kConsoleLoggerName))
            .Start(name);
    return {outcome.started, outcome.message};
}

std::string QemuEngine::ArchOf(const std::string& target) {
    return m_catalogue.ArchOf(target);
}

std::vector<std::string> QemuEngine::Targets(const std::string& archs) {
    return m_catalogue.Targets(archs);
}

std::vector<std::string> QemuEngine::Cpus(const std::string& target) {
    return m_catalogue.Cpus(target);
}

std::vector<std::string> QemuEngine::Networks() {
    return NetworkChoices();
}

std::vector<std::string> QemuEngine::SerialKinds() {
    return bx::SerialKinds();
}

std::vector<std::string> QemuEngine::PeripheralKinds() {
    return bx::PeripheralKinds();
}

int QemuEngine::State(const std::string& name) {
    const MachineStore store = CurrentStore();
    return EmulatorControl(store, LibraryDirectory()).State(name);
}

bool QemuEngine::Stop(const std::string& name, bool force) {
    const MachineStore store = CurrentStore();
    return EmulatorControl(store, LibraryDirectory()).Stop(name, force);
}

std::string QemuEngine::Info(const std::string& name) {
    const MachineStore store = CurrentStore();
    return EmulatorControl(store, LibraryDirectory()).Info(name);
}

EngineStart QemuEngine::Clone(const std::string& from, const std::string& to) {
    const MachineStore store = CurrentStore();
    std::lock_guard lock(m_storeMutex);
    m_listed.clear();
    const CloneOutcome outcome = MachineCloner(store, LibraryDirectory()).Clone(from, to);
    return {outcome.done, outcome.message};
}

std::vector<std::string> QemuEngine::AdapterDriverVersions() {
    return TapDriverVersions();
}

void QemuEngine::InstallAdapter() {
    // The kernel has one TUN/TAP driver; whichever version was chosen, the
    // adapter comes from it.
    const TapResult made = InstallTap(TapHelperPath());
    if (!made.ok)
        LogLine("No TAP adapter was installed: " + made.error);
}

void QemuEngine::RenameAdapter(const std::string& from, const std::string& to) {
    if (const TapResult renamed = RenameTapAsUser(TapHelperPath(), from, to); !renamed.ok)
        LogLine("The adapter " + from + " was not renamed to " + to + ": " + renamed.error);
}

int QemuEngine::EventFd() {
    std::lock_guard lock(m_eventsMutex);
    if (!m_events)
        m_events = WatchRunEvents();
    return m_events->valid() ? m_events->get() : -1;
}

} // namespace bx
