// Benchmarks of the back end. Each figure is a ratio against a baseline
// measured in the same run; the program fails when a ratio passes its bound.
//
//  1. The General page's lists (targets, CPUs, units, adapters): a warm call
//     against the first, uncached one (QEMU probed).
//  2. Enumerating and reading every stored machine: 10,000 against 1,000.
#include "Catalogue.h"
#include "Choices.h"
#include "Files.h"
#include "MachineFile.h"
#include "QemuProbe.h"
#include "Store.h"
#include "Tap.h"
#include "Text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace bx;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// One list-protocol exchange, as the manager makes it: count, then fill.
uint32_t Exchange(const std::vector<std::string>& items) {
    const uint32_t count = WriteList(items, nullptr, 0, BREVANTIX_SLOT_SIZE);
    std::vector<char> buffer(std::size_t(count) * BREVANTIX_SLOT_SIZE);
    return WriteList(items, buffer.data(), count, BREVANTIX_SLOT_SIZE);
}

// What opening the General page asks: targets, units, adapters, CPUs; each
// list is asked twice (count and fill), as the list protocol does.
uint32_t GeneralPage(ChoiceCatalogue& catalogue) {
    uint32_t n = 0;
    n += Exchange(catalogue.Targets({}));
    catalogue.Targets({});
    n += Exchange(MemoryUnits());
    n += Exchange(ListTapAdapters());
    ListTapAdapters();
    const std::vector<std::string> targets = catalogue.Targets({});
    if (!targets.empty()) {
        n += Exchange(catalogue.Cpus(targets.front()));
        catalogue.Cpus(targets.front());
    }
    return n;
}

std::string TempDirectory(const char* tag) {
    std::string pattern = "/tmp/tarnwick-bench-" + std::string(tag) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    return pattern;
}

void RemoveTree(const std::string& path) {
    const std::string command = "rm -rf -- '" + path + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", path.c_str());
}

bool BenchLists() {
    // Only looks at PATH; probes nothing, so it needs no cache directory.
    ChoiceCatalogue onPath("/nonexistent", CurrentSearchPath, ProbeQemu);
    if (onPath.InstalledEmulators().empty()) {
        std::printf("lists: no qemu-system-* on PATH; install qemu-system-arm to measure\n");
        return true;
    }
    const std::string cache = TempDirectory("cache");
    ChoiceCatalogue catalogue(cache, CurrentSearchPath, ProbeQemu);

    const auto coldStart = Clock::now();
    const uint32_t items = GeneralPage(catalogue);
    const double cold = Seconds(Clock::now() - coldStart);

    constexpr int kWarmRounds = 200;
    const auto warmStart = Clock::now();
    for (int i = 0; i < kWarmRounds; ++i)
        GeneralPage(catalogue);
    const double warm = Seconds(Clock::now() - warmStart) / kWarmRounds;

    ChoiceCatalogue restarted(cache, CurrentSearchPath, ProbeQemu);
    const auto diskStart = Clock::now();
    GeneralPage(restarted);
    const double disk = Seconds(Clock::now() - diskStart);

    const double ratio = warm / cold;
    std::printf("lists: %u items; first (probing QEMU) %.1f ms, warm %.3f ms, "
                "first after a restart (disk cache) %.3f ms\n",
                items, cold * 1e3, warm * 1e3, disk * 1e3);
    std::printf("ratio lists warm/first = %.5f (bound 0.05)%s\n", ratio,
                ratio <= 0.05 ? "" : "  EXCEEDED");
    std::printf("ratio lists restart/first = %.5f\n", disk / cold);
    RemoveTree(cache);
    return ratio <= 0.05;
}

void Populate(const std::string& directory, int count) {
    MakeDirectories(directory);
    EmulatorOptions record;
    std::memset(&record, 0, sizeof record);
    WriteField(record.general.target, "virt (arm)");
    WriteField(record.general.cpu, "cortex-a15");
    WriteField(record.os.osImage, "images/zImage");
    WriteField(record.os.cmdLine, "console=ttyAMA0 root=/dev/vda rw");
    record.general.memSize = 256;
    const MachineStore store(directory);
    for (int i = 0; i < count; ++i) {
        WriteField(record.general.name, "machine " + std::to_string(i));
        // Plain writes: the setup is not what is measured.
        const std::string path =
            store.PathFor(ReadField(record.general.name), MachineStore::kSuffix);
        if (FILE* f = std::fopen(path.c_str(), "w")) {
            const std::string text = SerializeMachine(record);
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }
}

// The main window's start: enumerate (count and fill), then read each.
double OpenMainWindow(const MachineStore& store, std::size_t expected) {
    const auto start = Clock::now();
    store.Names();
    const std::vector<std::string> names = store.Names();
    std::size_t read = 0;
    for (const std::string& name : names)
        read += store.Load(name).has_value();
    const double seconds = Seconds(Clock::now() - start);
    if (read != expected)
        std::fprintf(stderr, "read %zu machines, expected %zu\n", read, expected);
    return seconds;
}

bool BenchStore() {
    const std::string root = TempDirectory("store");
    const int counts[2] = {1000, 10000};
    std::vector<MachineStore> stores;
    for (int count : counts) {
        const std::string directory = root + "/" + std::to_string(count);
        Populate(directory, count);
        stores.emplace_back(directory);
        OpenMainWindow(stores.back(), std::size_t(count)); // warm the page cache
    }
    // Rounds alternate between the sizes, so that load from elsewhere on the
    // machine weighs on both alike; the best round of each counts.
    double best[2] = {1e9, 1e9};
    for (int round = 0; round < 7; ++round)
        for (int k = 0; k < 2; ++k)
            best[k] = std::min(best[k], OpenMainWindow(stores[k], std::size_t(counts[k])));
    for (int k = 0; k < 2; ++k)
        std::printf("store: %d machines enumerated and read in %.1f ms\n", counts[k],
                    best[k] * 1e3);
    const double ratio = best[1] / best[0];
    std::printf("ratio store 10000/1000 = %.2f (bound 12)%s\n", ratio,
                ratio <= 12 ? "" : "  EXCEEDED");
    RemoveTree(root);
    return ratio <= 12;
}

} // namespace

int main() {
    const bool lists = BenchLists();
    const bool store = BenchStore();
    return lists && store ? 0 : 1;
}
