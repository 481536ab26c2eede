#include "Catalogue.h"

#include "Boards.h"
#include "Files.h"
#include "MachineFile.h"
#include "NameCodec.h"
#include "Text.h"

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace bx {

namespace {
constexpr std::string_view kEmulatorPrefix = "qemu-system-";
// 2: boards whose default CPU QEMU lists without a typename (ppc) name it.
constexpr std::string_view kCacheVersion = "tarnwick-qemu-choices 2";

long long MtimeNs(const struct stat& st) {
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

std::string CacheFileFor(const std::string& directory, const std::string& binary) {
    return directory + "/qemu" + FileStemForName(binary) + ".choices";
}

std::vector<std::string> AbsoluteDirectories(const std::string& searchPath) {
    std::vector<std::string> dirs;
    for (std::string& dir : Split(searchPath, ':'))
        if (!dir.empty() && dir.front() == '/' &&
            std::find(dirs.begin(), dirs.end(), dir) == dirs.end())
            dirs.push_back(std::move(dir));
    return dirs;
}

std::vector<std::string> ArchList(std::string_view extra) {
    std::vector<std::string> archs;
    for (const std::string& part : Split(extra, ',')) {
        std::string arch = Trim(part);
        std::transform(arch.begin(), arch.end(), arch.begin(),
                       [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
        if (IsArchName(arch) && std::find(archs.begin(), archs.end(), arch) == archs.end())
            archs.push_back(std::move(arch));
    }
    return archs;
}

// The board's CPU for a Linux boot: the SoC's own, ours where QEMU's
// default does not fit (a 32-bit CPU on a 64-bit board), else QEMU's.
// Only CPUs the installed emulator has count.
std::string DefaultCpuOf(const ArchChoices& choices, std::string_view board) {
    auto offered = [&choices](std::string_view cpu) {
        return !cpu.empty() &&
               std::find(choices.cpus.begin(), choices.cpus.end(), cpu) != choices.cpus.end();
    };
    if (const BoardInfo* info = FindBoard(choices.arch, board)) {
        if (offered(info->fixedCpu))
            return std::string(info->fixedCpu);
        if (offered(info->defaultCpu))
            return std::string(info->defaultCpu);
    }
    for (const Board& b : choices.boards)
        if (EqualsIgnoreCase(b.name, board))
            return b.defaultCpu;
    return {};
}

const ArchChoices* BuiltinFor(std::string_view arch) {
    for (const ArchChoices& choices : BuiltinCatalogue())
        if (choices.arch == arch)
            return &choices;
    return nullptr;
}
} // namespace

std::optional<BinaryStamp> StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return BinaryStamp{path, static_cast<long long>(st.st_size), MtimeNs(st)};
}

std::optional<ArchChoices> ReadCachedChoices(const std::string& directory,
                                             const BinaryStamp& stamp) {
    const std::optional<std::string> text = ReadWholeFile(CacheFileFor(directory, stamp.path));
    if (!text)
        return std::nullopt;
    const std::vector<std::string> lines = Split(*text, '\n');
    // version, binary, size, mtime, arch, at least one board, "end", "" after the last LF
    if (lines.size() < 8 || lines[0] != kCacheVersion || lines[lines.size() - 2] != "end" ||
        !lines.back().empty())
        return std::nullopt;
    if (lines[1] != "binary=" + EscapeValue(stamp.path) ||
        lines[2] != "size=" + std::to_string(stamp.size) ||
        lines[3] != "mtime=" + std::to_string(stamp.mtimeNs) || !StartsWith(lines[4], "arch="))
        return std::nullopt;
    ArchChoices choices;
    choices.arch = lines[4].substr(5);
    for (std::size_t i = 5; i + 2 < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (StartsWith(line, "cpu=")) {
            std::optional<std::string> cpu = UnescapeValue(line.substr(4));
            if (!cpu)
                return std::nullopt;
            choices.cpus.push_back(std::move(*cpu));
        } else if (StartsWith(line, "board=")) {
            const std::vector<std::string> parts = Split(line.substr(6), '\t');
            std::optional<std::string> name =
                parts.size() == 2 ? UnescapeValue(parts[0]) : std::nullopt;
            std::optional<std::string> cpu =
                parts.size() == 2 ? UnescapeValue(parts[1]) : std::nullopt;
            if (!name || !cpu)
                return std::nullopt;
            choices.boards.push_back({std::move(*name), std::move(*cpu)});
        } else {
            return std::nullopt;
        }
    }
    if (!IsArchName(choices.arch) || choices.boards.empty())
        return std::nullopt;
    SortBoards(choices.boards, choices.arch); // written by an older version, perhaps
    return choices;
}

void WriteCachedChoices(const std::string& directory, const BinaryStamp& stamp,
                        const ArchChoices& choices) {
    std::string text;
    text += std::string(kCacheVersion) + "\n";
    text += "binary=" + EscapeValue(stamp.path) + "\n";
    text += "size=" + std::to_string(stamp.size) + "\n";
    text += "mtime=" + std::to_string(stamp.mtimeNs) + "\n";
    text += "arch=" + choices.arch + "\n";
    for (const Board& board : choices.boards)
        text += "board=" + EscapeValue(board.name) + "\t" + EscapeValue(board.defaultCpu) + "\n";
    for (const std::string& cpu : choices.cpus)
        text += "cpu=" + EscapeValue(cpu) + "\n";
    text += "end\n";
    // A cache that cannot be written only costs a probe next time.
    if (MakeDirectories(directory))
        WriteFileAtomically(CacheFileFor(directory, stamp.path), text, nullptr);
}

ChoiceCatalogue::ChoiceCatalogue(std::string cacheDirectory, SearchPath searchPath, Prober prober)
    : m_cacheDirectory(std::move(cacheDirectory)), m_searchPath(std::move(searchPath)),
      m_prober(std::move(prober)) {}

void ChoiceCatalogue::Refresh() {
    const std::string searchPath = m_searchPath();
    const std::vector<std::string> dirs = AbsoluteDirectories(searchPath);
    // A directory's mtime changes when a binary is installed into it or
    // removed from it, so unchanged stamps mean an unchanged list.
    std::vector<long long> stamps;
    stamps.reserve(dirs.size());
    for (const std::string& dir : dirs) {
        struct stat st {};
        stamps.push_back(::stat(dir.c_str(), &st) == 0 ? MtimeNs(st) : -1);
    }
    if (searchPath == m_lastSearchPath && stamps == m_lastDirStamps && !m_lastDirStamps.empty())
        return;
    m_lastSearchPath = searchPath;
    m_lastDirStamps = stamps;
    m_binaries.clear();
    for (const std::string& dir : dirs) {
        std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), ::closedir);
        if (!handle)
            continue;
        while (const dirent* entry = ::readdir(handle.get())) {
            const std::string_view file = entry->d_name;
            if (!StartsWith(file, kEmulatorPrefix))
                continue;
            const std::string arch(file.substr(kEmulatorPrefix.size()));
            if (!IsArchName(arch) || m_binaries.count(arch) != 0)
                continue;
            const std::string path = dir + "/" + std::string(file);
            if (IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0)
                m_binaries[arch] = path;
        }
    }
}

std::map<std::string, std::string> ChoiceCatalogue::InstalledEmulators() {
    std::lock_guard lock(m_mutex);
    Refresh();
    return m_binaries;
}

const ArchChoices* ChoiceCatalogue::ChoicesFor(std::string_view arch) {
    const auto binary = m_binaries.find(std::string(arch));
    if (binary == m_binaries.end())
        return nullptr;
    const std::optional<BinaryStamp> stamp = StampOf(binary->second);
    if (!stamp)
        return nullptr;
    Known& known = m_known[std::string(arch)];
    if (!(known.stamp == *stamp)) {
        known.stamp = *stamp;
        known.choices = ReadCachedChoices(m_cacheDirectory, *stamp);
        if (!known.choices) {
            ++m_probeCount;
            known.choices = m_prober(binary->second, std::string(arch));
            if (known.choices)
                WriteCachedChoices(m_cacheDirectory, *stamp, *known.choices);
        }
    }
    if (known.choices)
        return &*known.choices;
    // An emulator that would not answer still runs its boards.
    return BuiltinFor(arch);
}

std::vector<const ArchChoices*> ChoiceCatalogue::Offered(std::string_view extra) {
    Refresh();
    std::vector<std::string> wanted = ArchList(extra);
    std::vector<const ArchChoices*> offered;
    if (wanted.empty()) {
        for (const auto& entry : m_binaries)
            wanted.push_back(entry.first);
        std::stable_sort(
            wanted.begin(), wanted.end(),
            [](const std::string& a, const std::string& b) { return ArchRank(a) < ArchRank(b); });
    }
    for (const std::string& arch : wanted)
        if (const ArchChoices* choices = ChoicesFor(arch))
            offered.push_back(choices);
    if (!offered.empty())
        return offered;
    // Nothing of it installed: the catalogue, so that machines can still be set up.
    const std::vector<std::string> asked = ArchList(extra);
    for (const ArchChoices& choices : BuiltinCatalogue())
        if (asked.empty() || std::find(asked.begin(), asked.end(), choices.arch) != asked.end())
            offered.push_back(&choices);
    std::stable_sort(offered.begin(), offered.end(),
                     [&](const ArchChoices* a, const ArchChoices* b) {
                         auto rank = [&](const ArchChoices* c) {
                             const auto it = std::find(asked.begin(), asked.end(), c->arch);
                             return asked.empty() ? ArchRank(c->arch) : int(it - asked.begin());
                         };
                         return rank(a) < rank(b);
                     });
    return offered;
}

std::vector<std::string> ChoiceCatalogue::Targets(std::string_view extra) {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> targets;
    for (const ArchChoices* choices : Offered(extra))
        for (const Board& board : choices->boards)
            targets.push_back(TargetText(board.name, choices->arch));
    return targets;
}

std::string ChoiceCatalogue::ArchOf(std::string_view target) {
    if (std::optional<TargetName> parsed = ParseTargetText(target))
        return parsed->arch;
    std::lock_guard lock(m_mutex);
    for (const ArchChoices* choices : Offered({}))
        for (const Board& board : choices->boards)
            if (EqualsIgnoreCase(board.name, target))
                return choices->arch;
    return {};
}

std::vector<std::string> ChoiceCatalogue::Cpus(std::string_view target) {
    const std::string arch = ArchOf(target);
    if (arch.empty())
        return {};
    std::lock_guard lock(m_mutex);
    Refresh();
    const ArchChoices* choices = ChoicesFor(arch);
    if (!choices)
        choices = BuiltinFor(arch);
    if (!choices)
        return {};
    const std::optional<TargetName> parsed = ParseTargetText(target);
    const std::string board = parsed ? parsed->board : std::string(target);
    std::string first = DefaultCpuOf(*choices, board);
    const BoardInfo* info = FindBoard(arch, board);
    if (info && !first.empty() && first == info->fixedCpu)
        return {first}; // -cpu would be ignored without a word
    // A board without an MMU runs only M-profile CPUs; the others none of them.
    const bool microcontroller = IsMicrocontrollerBoard(arch, board);
    std::vector<std::string> cpus;
    cpus.reserve(choices->cpus.size() + 1);
    if (!first.empty())
        cpus.push_back(first);
    for (const std::string& cpu : choices->cpus)
        if (cpu != first &&
            ((arch != "arm" && arch != "aarch64") || IsMicrocontrollerCpu(cpu) == microcontroller))
            cpus.push_back(cpu);
    return cpus;
}

std::optional<std::pair<std::string, std::string>>
ChoiceCatalogue::FirstTarget(std::string_view extra) {
    std::lock_guard lock(m_mutex);
    for (const ArchChoices* choices : Offered(extra)) {
        if (choices->boards.empty())
            continue;
        const Board& board = choices->boards.front();
        std::string cpu = DefaultCpuOf(*choices, board.name);
        if (cpu.empty() && !choices->cpus.empty())
            cpu = choices->cpus.front();
        return std::make_pair(TargetText(board.name, choices->arch), cpu);
    }
    return std::nullopt;
}

} // namespace bx
