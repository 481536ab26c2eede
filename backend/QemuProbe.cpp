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
        cpuByType[TextOf(cpu, "typename")] = name;
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
        Board board{name, {}};
        const std::string type = TextOf(machine, "default-cpu-type");
        if (const auto it = cpuByType.find(type); it != cpuByType.end())
            board.defaultCpu = it->second;
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
