// The targets and CPUs the back end offers: those of the QEMU system
// emulators on PATH, probed once per binary and kept in memory and on disk,
// or the built-in catalogue when no emulator is installed.
#pragma once

#include "Choices.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

// What identifies an installed binary for the caches.
struct BinaryStamp {
    std::string path;
    long long size = 0;
    long long mtimeNs = 0;
    bool operator==(const BinaryStamp&) const = default;
};
std::optional<BinaryStamp> StampOf(const std::string& path);

// The disk cache: one file per binary in `directory`.
std::optional<ArchChoices> ReadCachedChoices(const std::string& directory,
                                             const BinaryStamp& stamp);
void WriteCachedChoices(const std::string& directory, const BinaryStamp& stamp,
                        const ArchChoices& choices);

class ChoiceCatalogue {
public:
    using Prober = std::function<std::optional<ArchChoices>(const std::string& binary,
                                                            const std::string& arch)>;
    using SearchPath = std::function<std::string()>;

    ChoiceCatalogue(std::string cacheDirectory, SearchPath searchPath, Prober prober);

    // Target texts, architecture by architecture. `extra` is the further
    // command-line argument: a comma-separated list of architectures to
    // offer, in that order; empty for all that are installed.
    std::vector<std::string> Targets(std::string_view extra);

    // The target's CPUs, its board's default CPU first.
    std::vector<std::string> Cpus(std::string_view target);

    // The architecture of a target text; a bare board name (from an older
    // record) is looked up among the offered boards. Empty when unknown.
    std::string ArchOf(std::string_view target);

    // The first target offered for `extra` and its default CPU.
    std::optional<std::pair<std::string, std::string>> FirstTarget(std::string_view extra);

    // Installed qemu-system-* binaries by architecture.
    std::map<std::string, std::string> InstalledEmulators();

    // How many binaries were probed by running them; for tests of the caches.
    int ProbeCount() const { return m_probeCount; }

private:
    std::vector<const ArchChoices*> Offered(std::string_view extra);
    const ArchChoices* ChoicesFor(std::string_view arch);
    void Refresh();

    struct Known {
        BinaryStamp stamp;
        std::optional<ArchChoices> choices;
    };

    std::string m_cacheDirectory;
    SearchPath m_searchPath;
    Prober m_prober;
    std::recursive_mutex m_mutex;

    // Validity of the binary list: the PATH value and its directories' mtimes.
    std::string m_lastSearchPath;
    std::vector<long long> m_lastDirStamps;
    std::map<std::string, std::string> m_binaries; // arch -> path
    std::map<std::string, Known> m_known;          // arch -> probed choices
    int m_probeCount = 0;
};

} // namespace bx
