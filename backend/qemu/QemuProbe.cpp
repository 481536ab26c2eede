#include "QemuProbe.h"

#include "Process.h"
#include "Qmp.h"
#include "Text.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <sys/wait.h>

namespace bx {

namespace {
constexpr int kProbeTimeoutMs = 10000;

// "virt-7.2" and "pc-q35-7.2" are versions of the families "virt" and
// "pc-q35": the part before a final "-<digits and dots>". Empty for a name
// without a version.
std::string_view VersionFamily(std::string_view name) {
    const std::size_t dash = name.rfind('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == name.size())
        return {};
    const std::string_view version = name.substr(dash + 1);
    const bool numeric = std::all_of(version.begin(), version.end(),
                                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    return numeric && version.front() != '.' ? name.substr(0, dash) : std::string_view();
}
// QEMU's CPU name of a board's default CPU type ("e500v2_v30-powerpc64-cpu"
// gives "e500v2_v30"). The type name without its "-<target>-cpu" suffix comes
// first: ppc lists most CPUs with an empty typename, and several aliases
// ("g3", "750") share the type of one CPU. Empty when QEMU names none.
std::string DefaultCpuName(const std::string& type, const std::vector<std::string>& cpus,
                           const std::map<std::string, std::string>& cpuByType) {
    if (type.empty())
        return {};
    if (std::string_view(type).ends_with("-cpu")) {
        const std::string_view stem = std::string_view(type).substr(0, type.size() - 4);
        if (const std::size_t dash = stem.rfind('-'); dash != std::string_view::npos) {
            const std::string name(stem.substr(0, dash));
            if (std::binary_search(cpus.begin(), cpus.end(), name))
                return name;
        }
    }
    const auto it = cpuByType.find(type);
    return it == cpuByType.end() ? std::string() : it->second;
}
} // namespace

std::string QmpProbeScript() {
    return "{\"execute\":\"qmp_capabilities\"}\n"
           "{\"execute\":\"query-machines\",\"id\":\"machines\"}\n"
           "{\"execute\":\"query-cpu-definitions\",\"id\":\"cpus\"}\n"
           "{\"execute\":\"quit\"}\n";
}

std::optional<ArchChoices> ParseQmpTranscript(std::string_view arch, std::string_view transcript) {
    // One reply after another; anything that does not parse spoils the lot.
    std::vector<nlohmann::json> replies;
    std::istringstream stream{std::string(transcript)};
    try {
        while (stream >> std::ws, stream.peek() != std::char_traits<char>::eof()) {
            nlohmann::json reply;
            stream >> reply;
            replies.push_back(std::move(reply));
        }
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
    const nlohmann::json* machines = nullptr;
    const nlohmann::json* cpus = nullptr;
    for (const nlohmann::json& reply : replies) {
        if (!reply.is_object() || !reply.contains("return") || !reply["return"].is_array())
            continue;
        if (TextOf(reply, "id") == "machines")
            machines = &reply["return"];
        else if (TextOf(reply, "id") == "cpus")
            cpus = &reply["return"];
    }
    if (!machines || !cpus)
        return std::nullopt;

    ArchChoices choices;
    choices.arch = std::string(arch);
    std::map<std::string, std::string> cpuByType;
    for (const nlohmann::json& cpu : *cpus) {
        const std::string name = TextOf(cpu, "name");
        if (name.empty())
            continue;
        choices.cpus.push_back(name);
        if (const std::string type = TextOf(cpu, "typename"); !type.empty())
            cpuByType.emplace(type, name);
    }
    std::sort(choices.cpus.begin(), choices.cpus.end());
    choices.cpus.erase(std::unique(choices.cpus.begin(), choices.cpus.end()), choices.cpus.end());

    // Only the current version of a family with an alias is offered, by its alias.
    std::set<std::string, std::less<>> families;
    for (const nlohmann::json& machine : *machines)
        if (!TextOf(machine, "alias").empty())
            families.insert(std::string(VersionFamily(TextOf(machine, "name"))));
    families.erase(std::string());
    std::set<std::string> seen;
    for (const nlohmann::json& machine : *machines) {
        const std::string alias = TextOf(machine, "alias");
        const std::string name = alias.empty() ? TextOf(machine, "name") : alias;
        if (name.empty() || name == "none" || !seen.insert(name).second)
            continue;
        if (alias.empty() && families.count(VersionFamily(name)) != 0)
            continue;
        Board board{name,
                    DefaultCpuName(TextOf(machine, "default-cpu-type"), choices.cpus, cpuByType)};
        choices.boards.push_back(std::move(board));
    }
    if (choices.boards.empty())
        return std::nullopt;
    SortBoards(choices.boards, choices.arch);
    return choices;
}

std::optional<ArchChoices> ProbeQemu(const std::string& binary, const std::string& arch) {
    const CaptureResult run = RunAndCapture(
        {binary, "-machine", "none", "-nodefaults", "-display", "none", "-S", "-qmp", "stdio"},
        QmpProbeScript(), kProbeTimeoutMs);
    if (!run.started || run.timedOut)
        return std::nullopt;
    return ParseQmpTranscript(arch, run.output);
}

} // namespace bx
