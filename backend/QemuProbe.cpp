#include "QemuProbe.h"

#include "Json.h"
#include "Process.h"
#include "Text.h"

#include <algorithm>
#include <map>
#include <set>
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
    const JsonValue* machines = nullptr;
    const JsonValue* cpus = nullptr;
    std::vector<JsonValue> replies;
    replies.reserve(8);
    for (std::size_t pos = 0; pos < transcript.size();) {
        const std::size_t open = transcript.find('{', pos);
        if (open == std::string_view::npos)
            break;
        std::size_t used = 0;
        std::optional<JsonValue> reply = ParseJson(transcript.substr(open), &used);
        if (!reply)
            return std::nullopt;
        replies.push_back(std::move(*reply));
        pos = open + used;
    }
    for (const JsonValue& reply : replies) {
        const JsonValue* result = reply.Find("return");
        if (!result || result->kind != JsonValue::Kind::Array)
            continue;
        if (reply.TextOf("id") == "machines")
            machines = result;
        else if (reply.TextOf("id") == "cpus")
            cpus = result;
    }
    if (!machines || !cpus)
        return std::nullopt;

    ArchChoices choices;
    choices.arch = std::string(arch);
    std::map<std::string, std::string> cpuByType;
    for (const JsonValue& cpu : cpus->items) {
        const std::string name = cpu.TextOf("name");
        if (name.empty())
            continue;
        choices.cpus.push_back(name);
        cpuByType[cpu.TextOf("typename")] = name;
    }
    std::sort(choices.cpus.begin(), choices.cpus.end());
    choices.cpus.erase(std::unique(choices.cpus.begin(), choices.cpus.end()), choices.cpus.end());

    // Only the current version of a family with an alias is offered, by its alias.
    std::set<std::string, std::less<>> families;
    for (const JsonValue& machine : machines->items)
        if (!machine.TextOf("alias").empty())
            families.insert(std::string(VersionFamily(machine.TextOf("name"))));
    families.erase(std::string());
    std::set<std::string> seen;
    for (const JsonValue& machine : machines->items) {
        const std::string alias = machine.TextOf("alias");
        const std::string name = alias.empty() ? machine.TextOf("name") : alias;
        if (name.empty() || name == "none" || !seen.insert(name).second)
            continue;
        if (alias.empty() && families.count(VersionFamily(name)) != 0)
            continue;
        Board board{name, {}};
        const std::string type = machine.TextOf("default-cpu-type");
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
