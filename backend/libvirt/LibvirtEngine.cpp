#include "LibvirtEngine.h"

#include "Boards.h"
#include "Choices.h"
#include "DomainXml.h"
#include "Files.h"
#include "KernelImage.h"
#include "Log.h"
#include "RemoteFiles.h"
#include "Text.h"
#include "Xml.h"
#include "base/Utf8.h"

#include <libvirt/virterror.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <thread>
#include <unistd.h>
#include <utility>

namespace bx::lv {
namespace {

using namespace std::chrono_literals;
using Domain = std::unique_ptr<virDomain, decltype(&virDomainFree)>;

// Every export returns within this, whatever the link does.
constexpr auto kBound = 10s;
// Sending a kernel and an initrd over a slow link takes longer; a start
// may wait for it.
constexpr auto kStartBound = 60s;
// Calls in flight at once while a listing reads the domains' metadata: the
// daemon answers them in parallel, so 100 machines cost a few round trips.
constexpr int kListingThreads = 64;

int StateOf(int libvirtState) {
    switch (libvirtState) {
    case VIR_DOMAIN_RUNNING:
    case VIR_DOMAIN_BLOCKED:
    case VIR_DOMAIN_SHUTDOWN:
        return BREVANTIX_STATE_RUNNING;
    case VIR_DOMAIN_PAUSED:
    case VIR_DOMAIN_PMSUSPENDED:
        return BREVANTIX_STATE_PAUSED;
    default:
        return BREVANTIX_STATE_STOPPED;
    }
}

std::string NewDomainName() {
    unsigned char bytes[8];
    std::random_device random;
    for (unsigned char& b : bytes)
        b = static_cast<unsigned char>(random());
    static const char hex[] = "0123456789abcdef";
    std::string name(kDomainPrefix);
    for (unsigned char b : bytes) {
        name += hex[b >> 4];
        name += hex[b & 15];
    }
    return name;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// Where the guest's serial console is, for the start's text and Details.
std::string ConsoleText(const Machine& m, const std::string& uri, const std::string& domain) {
    if (!m.serialOn || m.serialKind == "none")
        return "The machine has no serial port.";
    if (m.serialKind == "pty" || m.serialKind.empty())
        return "Serial console: virsh -c " + Quoted(uri) + " console " + domain;
    if (m.serialKind == "file")
        return "Serial console: written to " +
               (m.serialParam.empty() ? domain + ".serial.txt in the storage pool"
                                      : m.serialParam) +
               " on the host that runs it.";
    if (m.serialKind == "unix")
        return "Serial console: the Unix socket " +
               (m.serialParam.empty() ? domain + ".serial.sock in the storage pool"
                                      : m.serialParam) +
               " on the host that runs it.";
    return "Serial console: " + m.serialKind + " on " + m.serialParam +
           " of the host that runs it.";
}

// A domain we may touch: ours by name, and what it stands for.
Domain LookUp(virConnectPtr conn, const std::string& domain) {
    return Domain{virDomainLookupByName(conn, domain.c_str()), virDomainFree};
}

// Null when libvirt refuses the XML; LastError() says why.
Domain Define(virConnectPtr conn, const std::string& xml) {
    return Domain{virDomainDefineXML(conn, xml.c_str()), virDomainFree};
}

} // namespace

LibvirtEngine::LibvirtEngine(std::string uri) : m_link(std::move(uri), kBound) {
    // A link that drops (ssh ends) must fail a call, not end the program;
    // libvirt asks its callers to ignore SIGPIPE.
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        ::signal(SIGPIPE, SIG_IGN);
}

std::optional<LibvirtEngine::Snapshot> LibvirtEngine::Listing(std::chrono::milliseconds maxAge,
                                                              std::string* error) {
    {
        std::lock_guard lock(m_mutex);
        if (m_snapshot && Clock::now() - m_snapshot->at <= maxAge)
            return m_snapshot;
    }
    using Entries = std::vector<Entry>;
    const Outcome<Entries> listed =
        m_link.Call<Entries>([](virConnectPtr conn) -> Outcome<Entries> {
            virDomainStatsRecordPtr* records = nullptr;
            const int count =
                virConnectGetAllDomainStats(conn, VIR_DOMAIN_STATS_STATE, &records, 0);
            if (count < 0)
                return {std::nullopt, "The machines could not be listed: " + LastError()};
            std::vector<virDomainPtr> domains;
            std::vector<int> states;
            for (int i = 0; i < count; ++i) {
                const char* name = virDomainGetName(records[i]->dom);
                if (!name || !std::string_view(name).starts_with(kDomainPrefix))
                    continue;
                int state = 0;
                for (int p = 0; p < records[i]->nparams; ++p)
                    if (std::string_view(records[i]->params[p].field) == "state.state")
                        state = records[i]->params[p].value.i;
                virDomainRef(records[i]->dom);
                domains.push_back(records[i]->dom);
                states.push_back(state);
            }
            virDomainStatsRecordListFree(records);

            std::vector<std::optional<Entry>> found(domains.size());
            std::atomic<std::size_t> next{0};
            const auto work = [&] {
                for (std::size_t i; (i = next++) < domains.size();) {
                    char* element = virDomainGetMetadata(domains[i], VIR_DOMAIN_METADATA_ELEMENT,
                                                         kMetadataNamespace, 0);
                    if (!element)
                        continue; // a domain of that name that Tarnwick did not make
                    std::optional<Machine> machine = MachineFromMetadata(element);
                    free(element);
                    char uuid[VIR_UUID_STRING_BUFLEN] = {};
                    if (!machine || virDomainGetUUIDString(domains[i], uuid) != 0)
                        continue;
                    found[i] = Entry{virDomainGetName(domains[i]), uuid, std::move(*machine),
                                     StateOf(states[i])};
                }
            };
            std::vector<std::thread> threads;
            for (int t = 1; t < std::min<int>(kListingThreads, int(domains.size())); ++t)
                threads.emplace_back(work);
            work();
            for (std::thread& thread : threads)
                thread.join();
            for (virDomainPtr domain : domains)
                virDomainFree(domain);
            Entries entries;
            for (std::optional<Entry>& entry : found)
                if (entry)
                    entries.push_back(std::move(*entry));
            return {std::move(entries), {}};
        });
    if (!listed) {
        *error = listed.error;
        LogLine(listed.error);
        return std::nullopt;
    }
    Snapshot snapshot;
    snapshot.at = Clock::now();
    // Domain names are random: the older of two machines of one name (two
    // desktops saving at once) is the one shown, by domain name.
    Entries entries = *listed.value;
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.domain < b.domain; });
    for (Entry& entry : entries)
        snapshot.byName.try_emplace(entry.machine.name, std::move(entry));
    std::lock_guard lock(m_mutex);
    m_snapshot = snapshot;
    return snapshot;
}

std::optional<LibvirtEngine::Entry>
LibvirtEngine::Find(const std::string& name, std::chrono::milliseconds maxAge, std::string* error) {
    const std::optional<Snapshot> snapshot = Listing(maxAge, error);
    if (!snapshot)
        return std::nullopt;
    if (const auto it = snapshot->byName.find(name); it != snapshot->byName.end())
        return it->second;
    // A name longer than a list slot comes back from the list cut.
    for (const auto& [full, entry] : snapshot->byName)
        if (full.size() > name.size() && base::CutUtf8(full, BREVANTIX_SLOT_SIZE - 1) == name)
            return entry;
    if (error)
        *error = "The machine " + name + " is not stored on " + m_link.Uri();
    return std::nullopt;
}

void LibvirtEngine::Forget() {
    std::lock_guard lock(m_mutex);
    m_snapshot.reset();
}

std::vector<std::string> LibvirtEngine::Names() {
    std::string error;
    const std::optional<Snapshot> snapshot = Listing(0ms, &error);
    std::vector<std::string> names;
    if (snapshot)
        for (const auto& [name, entry] : snapshot->byName)
            names.push_back(name);
    return names;
}

std::optional<Machine> LibvirtEngine::Load(const std::string& name) {
    std::string error;
    const std::optional<Entry> entry = Find(name, 3000ms, &error);
    if (!entry)
        return std::nullopt;
    return entry->machine;
}

Machine LibvirtEngine::Defaults(const std::string& archs) {
    {
        std::lock_guard lock(m_mutex);
        m_edited.reset();
    }
    Machine m;
    m.memSize = 256;
    m.memType = "MB";
    m.sdUnit = "MB";
    m.hdUnit = "MB";
    m.network = std::string(kUserNetwork);
    m.serialOn = true;
    m.serialKind = "pty";
    const std::vector<std::string> targets = Targets(archs);
    if (targets.empty())
        return m;
    m.target = targets.front();
    m.arch = ArchOf(m.target);
    const std::vector<std::string> cpus = Cpus(m.target);
    if (!cpus.empty())
        m.cpu = cpus.front();
    if (const std::optional<TargetName> target = ParseTargetText(m.target)) {
        m.commandLine = "console=" + ConsoleDeviceFor(target->arch, target->board);
        if (const BoardInfo* board = FindBoard(target->arch, target->board))
            m.memSize = static_cast<int32_t>(MemoryFor(*board, 256));
    }
    return m;
}

void LibvirtEngine::Save(const Machine& machine) {
    std::optional<Edited> edited;
    {
        std::lock_guard lock(m_mutex);
        edited = std::exchange(m_edited, std::nullopt);
    }
    DomainIdentity identity{NewDomainName(), {}};
    std::string error;
    if (edited)
        identity = {edited->entry.domain, edited->entry.uuid};
    else if (const std::optional<Entry> same = Find(machine.name, 0ms, &error))
        identity = {same->domain, same->uuid};
    // What a start needs is made and checked at the start; the save keeps
    // the machine, whatever it holds, so that nothing typed is lost. An edit
    // keeps the XML the machine's last start made (kernel, disks), so that
    // virsh can still start it; the metadata carries the change, which the
    // next start from here applies.
    const std::string xml = edited ? edited->xml : BareDomainXml(machine, identity);
    const std::string inner = edited ? MetadataContent(machine) : std::string();
    const Outcome<bool> saved =
        m_link.Call<bool>([xml, inner](virConnectPtr conn) -> Outcome<bool> {
            Domain dom = Define(conn, xml);
            if (!dom)
                return {std::nullopt, LastError()};
            // A running machine's listing reads its live definition: both
            // carry the new name.
            const unsigned int where =
                VIR_DOMAIN_AFFECT_CONFIG |
                (virDomainIsActive(dom.get()) == 1 ? VIR_DOMAIN_AFFECT_LIVE : 0);
            if (!inner.empty() &&
                virDomainSetMetadata(dom.get(), VIR_DOMAIN_METADATA_ELEMENT, inner.c_str(),
                                     "tarnwick", kMetadataNamespace, where) != 0)
                return {std::nullopt, LastError()};
            return {true, {}};
        });
    Forget();
    if (saved)
        return;
    LogLine("The machine " + machine.name + " was not saved on " + m_link.Uri() + ": " +
            saved.error);
    if (edited) {
        const Outcome<bool> restored =
            m_link.Call<bool>([xml = edited->xml](virConnectPtr conn) -> Outcome<bool> {
                if (!Define(conn, xml))
                    return {std::nullopt, LastError()};
                return {true, {}};
            });
        LogLine(restored ? "The machine " + edited->entry.machine.name + " is kept as it was"
                         : "The machine " + edited->entry.machine.name +
                               " could not be put back: " + restored.error);
    }
}

void LibvirtEngine::Remove(const std::string& name) {
    std::string error;
    const std::optional<Entry> entry = Find(name, 0ms, &error);
    if (!entry) {
        std::lock_guard lock(m_mutex);
        m_edited.reset();
        return;
    }
    const Outcome<std::string> removed = m_link.Call<std::string>(
        [domain = entry->domain](virConnectPtr conn) -> Outcome<std::string> {
            Domain dom = LookUp(conn, domain);
            if (!dom)
                return {std::nullopt, LastError()};
            char* xml = virDomainGetXMLDesc(dom.get(), VIR_DOMAIN_XML_INACTIVE);
            std::string kept = xml ? xml : "";
            free(xml);
            // A running machine goes on running (transient): an edit defines
            // it again under the same name and UUID.
            if (kept.empty() || virDomainUndefine(dom.get()) != 0)
                return {std::nullopt, LastError()};
            return {std::move(kept), {}};
        });
    Forget();
    std::lock_guard lock(m_mutex);
    if (removed) {
        m_edited = Edited{*entry, *removed.value};
    } else {
        m_edited.reset();
        LogLine("The machine " + name + " was not removed from " + m_link.Uri() + ": " +
                removed.error);
    }
}

EngineStart LibvirtEngine::Start(const std::string& name) {
    std::string error;
    const std::optional<Entry> entry = Find(name, 0ms, &error);
    if (!entry)
        return {false, error};
    if (entry->state != BREVANTIX_STATE_STOPPED)
        return {false, "The machine " + name + " is already running on " + m_link.Uri()};
    const Machine& m = entry->machine;
    if (m.kernel.empty())
        return {false, "The machine " + name + " has no kernel: choose one on the OS page"};
    if (const std::optional<TargetName> target = ParseTargetText(m.target);
        target && PathExists(m.kernel))
        if (std::string problem = KernelImageProblem(m.kernel, target->arch, target->board);
            !problem.empty())
            return {false, problem};
    const std::string uri = m_link.Uri();
    const Outcome<bool> started = m_link.Call<bool>(
        [e = *entry](virConnectPtr conn) -> Outcome<bool> {
            Domain dom = LookUp(conn, e.domain);
            if (!dom)
                return {std::nullopt, "The machine is no longer on the host: " + LastError()};
            char* current = virDomainGetXMLDesc(dom.get(), VIR_DOMAIN_XML_INACTIVE);
            const std::string previous = current ? current : "";
            free(current);
            const Outcome<DomainFiles> files = PlaceFiles(conn, e.machine, e.domain, previous);
            if (!files)
                return {std::nullopt, files.error};
            std::string why;
            const std::optional<std::string> xml =
                DomainXml(e.machine, {e.domain, e.uuid}, *files.value, &why);
            if (!xml)
                return {std::nullopt, why};
            Domain defined = Define(conn, *xml);
            if (!defined)
                return {std::nullopt, LastError()};
            if (virDomainCreate(defined.get()) != 0)
                return {std::nullopt, LastError()};
            return {true, {}};
        },
        kStartBound);
    Forget();
    if (!started)
        return {false, started.error};
    return {true, "Started on " + uri + " as the domain " + entry->domain + ". " +
                      ConsoleText(m, uri, entry->domain)};
}

std::string LibvirtEngine::ArchOf(const std::string& target) {
    const std::optional<TargetName> parsed = ParseTargetText(target);
    return parsed ? parsed->arch : std::string();
}

const std::vector<LibvirtEngine::Arch>* LibvirtEngine::Capabilities(std::string* error) {
    {
        std::lock_guard lock(m_mutex);
        if (m_capabilities)
            return &*m_capabilities;
    }
    const Outcome<std::string> caps =
        m_link.Call<std::string>([](virConnectPtr conn) -> Outcome<std::string> {
            char* xml = virConnectGetCapabilities(conn);
            if (!xml)
                return {std::nullopt, LastError()};
            std::string text = xml;
            free(xml);
            return {std::move(text), {}};
        });
    if (!caps) {
        *error = caps.error;
        LogLine("The boards of " + m_link.Uri() + " could not be read: " + caps.error);
        return nullptr;
    }
    const std::optional<XmlDoc> doc = XmlDoc::Parse(*caps.value);
    if (!doc)
        return nullptr;
    std::vector<Arch> arches;
    const std::size_t guests = doc->Values("/capabilities/guest").size();
    for (std::size_t i = 1; i <= guests; ++i) {
        const std::string at = "/capabilities/guest[" + std::to_string(i) + "]";
        if (doc->Value((at + "/os_type").c_str()) != "hvm")
            continue;
        const std::vector<std::string> types = doc->Values((at + "/arch/domain/@type").c_str());
        if (std::find(types.begin(), types.end(), "qemu") == types.end())
            continue;
        const std::string arch = ArchFromLibvirt(doc->Value((at + "/arch/@name").c_str()));
        if (!IsArchName(arch))
            continue;
        const std::vector<std::string> canonical =
            doc->Values((at + "/arch/machine/@canonical").c_str());
        std::vector<Board> boards;
        for (const std::string& machine : doc->Values((at + "/arch/machine").c_str()))
            if (machine != "none" &&
                std::find(canonical.begin(), canonical.end(), machine) == canonical.end() &&
                std::none_of(boards.begin(), boards.end(),
                             [&](const Board& b) { return b.name == machine; }))
                boards.push_back({machine, {}});
        SortBoards(boards, arch);
        Arch entry{arch, {}};
        for (const Board& board : boards)
            entry.boards.push_back(board.name);
        arches.push_back(std::move(entry));
    }
    std::stable_sort(arches.begin(), arches.end(), [](const Arch& a, const Arch& b) {
        return ArchRank(a.arch) < ArchRank(b.arch);
    });
    std::lock_guard lock(m_mutex);
    m_capabilities = std::move(arches);
    return &*m_capabilities;
}

std::vector<std::string> LibvirtEngine::Targets(const std::string& archs) {
    std::string error;
    const std::vector<Arch>* arches = Capabilities(&error);
    std::vector<std::string> targets;
    if (!arches)
        return targets;
    const auto add = [&](const Arch& arch) {
        for (const std::string& board : arch.boards)
            targets.push_back(TargetText(board, arch.arch));
    };
    if (Trim(archs).empty()) {
        for (const Arch& arch : *arches)
            add(arch);
    } else {
        for (const std::string& wanted : Split(archs, ','))
            for (const Arch& arch : *arches)
                if (EqualsIgnoreCase(arch.arch, Trim(wanted)))
                    add(arch);
    }
    return targets;
}

std::vector<std::string> LibvirtEngine::Cpus(const std::string& target) {
    const std::optional<TargetName> parsed = ParseTargetText(target);
    if (!parsed)
        return {};
    const BoardInfo* board = FindBoard(parsed->arch, parsed->board);
    if (board && !board->fixedCpu.empty())
        return {std::string(board->fixedCpu)};
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_cpus.find(target); it != m_cpus.end())
            return it->second;
    }
    const Outcome<std::vector<std::string>> models = m_link.Call<std::vector<std::string>>(
        [arch = LibvirtArch(parsed->arch),
         machine = parsed->board](virConnectPtr conn) -> Outcome<std::vector<std::string>> {
            char* xml = virConnectGetDomainCapabilities(conn, nullptr, arch.c_str(),
                                                        machine.c_str(), "qemu", 0);
            if (!xml)
                return {std::nullopt, LastError()};
            const std::optional<XmlDoc> doc = XmlDoc::Parse(xml);
            free(xml);
            if (!doc)
                return {std::nullopt, "unreadable domain capabilities"};
            return {doc->Values("/domainCapabilities/cpu/mode[@name='custom']/model"), {}};
        });
    if (!models) {
        LogLine("The CPUs of " + target + " on " + m_link.Uri() +
                " could not be read: " + models.error);
        return {};
    }
    std::vector<std::string> cpus;
    const bool micro = IsMicrocontrollerBoard(parsed->arch, parsed->board);
    const bool filter = parsed->arch == "arm" || parsed->arch == "aarch64";
    for (const std::string& cpu : *models.value)
        if (!filter || IsMicrocontrollerCpu(cpu) == micro)
            cpus.push_back(cpu);
    std::sort(cpus.begin(), cpus.end());
    cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
    if (board && !board->defaultCpu.empty()) {
        const std::string first(board->defaultCpu);
        cpus.erase(std::remove(cpus.begin(), cpus.end(), first), cpus.end());
        cpus.insert(cpus.begin(), first);
    }
    std::lock_guard lock(m_mutex);
    m_cpus[target] = cpus;
    return cpus;
}

std::vector<std::string> LibvirtEngine::Networks() {
    std::vector<std::string> choices = {std::string(kUserNetwork), std::string(kNoNetwork)};
    const Outcome<std::vector<std::string>> found = m_link.Call<std::vector<std::string>>(
        [](virConnectPtr conn) -> Outcome<std::vector<std::string>> {
            std::vector<std::string> entries;
            virNetworkPtr* networks = nullptr;
            const int count = virConnectListAllNetworks(conn, &networks, 0);
            for (int i = 0; i < count; ++i) {
                if (const char* name = virNetworkGetName(networks[i]))
                    entries.push_back(NetworkEntry(name));
                virNetworkFree(networks[i]);
            }
            free(networks);
            virInterfacePtr* interfaces = nullptr;
            const int bridges =
                virConnectListAllInterfaces(conn, &interfaces, VIR_CONNECT_LIST_INTERFACES_ACTIVE);
            for (int i = 0; i < bridges; ++i) {
                if (char* xml = virInterfaceGetXMLDesc(interfaces[i], 0)) {
                    if (const auto doc = XmlDoc::Parse(xml))
                        if (doc->Value("/interface/@type") == "bridge")
                            entries.push_back(BridgeEntry(doc->Value("/interface/@name")));
                    free(xml);
                }
                virInterfaceFree(interfaces[i]);
            }
            free(interfaces);
            return {std::move(entries), {}};
        });
    if (found)
        choices.insert(choices.end(), found.value->begin(), found.value->end());
    return choices;
}

std::vector<std::string> LibvirtEngine::SerialKinds() {
    return RemoteSerialKinds();
}

std::vector<std::string> LibvirtEngine::PeripheralKinds() {
    return RemotePeripheralKinds();
}

int LibvirtEngine::State(const std::string& name) {
    const std::optional<Entry> entry = Find(name, 1000ms, nullptr);
    return entry ? entry->state : BREVANTIX_STATE_STOPPED;
}

bool LibvirtEngine::Stop(const std::string& name, bool force) {
    const std::optional<Entry> entry = Find(name, 0ms, nullptr);
    if (!entry || entry->state == BREVANTIX_STATE_STOPPED)
        return false;
    const Outcome<bool> stopped =
        m_link.Call<bool>([domain = entry->domain, force](virConnectPtr conn) -> Outcome<bool> {
            Domain dom = LookUp(conn, domain);
            if (!dom)
                return {std::nullopt, LastError()};
            const int result =
                force ? virDomainDestroy(dom.get())
                      : virDomainShutdownFlags(dom.get(), VIR_DOMAIN_SHUTDOWN_ACPI_POWER_BTN);
            if (result != 0)
                return {std::nullopt, LastError()};
            return {true, {}};
        });
    Forget();
    if (!stopped)
        LogLine("The machine " + name + " on " + m_link.Uri() +
                " was not stopped: " + stopped.error);
    return stopped.value.value_or(false);
}

std::string LibvirtEngine::Info(const std::string& name) {
    std::string error;
    const std::optional<Entry> entry = Find(name, 0ms, &error);
    if (!entry)
        return error;
    const char* state = entry->state == BREVANTIX_STATE_RUNNING  ? "running"
                        : entry->state == BREVANTIX_STATE_PAUSED ? "paused"
                                                                 : "not running";
    return "The machine runs on " + m_link.Uri() + " as the domain " + entry->domain + ": " +
           state + ".\n" + ConsoleText(entry->machine, m_link.Uri(), entry->domain) +
           "\nvirsh -c " + Quoted(m_link.Uri()) + " dominfo " + entry->domain;
}

EngineStart LibvirtEngine::Clone(const std::string& from, const std::string& to) {
    std::string error;
    const std::optional<Entry> entry = Find(from, 0ms, &error);
    if (!entry)
        return {false, error};
    if (to.empty())
        return {false, "The copy needs a name"};
    if (Find(to, 0ms, nullptr))
        return {false, "A machine named " + to + " is already stored on " + m_link.Uri()};
    if (entry->state != BREVANTIX_STATE_STOPPED)
        return {false, "The machine " + from +
                           " is running: its disks change under a copy; stop it first"};
    Machine copy = entry->machine;
    copy.name = to;
    const Outcome<std::string> cloned = m_link.Call<std::string>(
        [copy, from = entry->domain](virConnectPtr conn) -> Outcome<std::string> {
            const std::string domain = NewDomainName();
            Outcome<Machine> machine = CloneDisks(conn, copy, from, domain);
            if (!machine)
                return {std::nullopt, machine.error};
            Domain defined = Define(conn, BareDomainXml(*machine.value, {domain, {}}));
            if (!defined)
                return {std::nullopt, LastError()};
            return {domain, {}};
        },
        kStartBound);
    Forget();
    if (!cloned)
        return {false, "The machine " + from + " was not copied: " + cloned.error};
    return {true, "The copy " + to + " of " + from + " is the domain " + *cloned.value + " on " +
                      m_link.Uri() + ", with copies of the disk images it has there"};
}

} // namespace bx::lv
