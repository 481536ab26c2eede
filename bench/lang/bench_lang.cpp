// Load and write-back of large language files. Prints each figure as the
// best of several runs, and the ratios that matter: write-back against load,
// and 100,000 entries against 10,000.
#include "lang/LanguageManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// As the program leaves a file: the keys of earlier runs in byte order, then
// the keys a later run added (the last 5%), again in order. `shuffled`
// mixes them instead, as a hand-made file might.
std::string LanguageFile(int entries, bool shuffled) {
    std::vector<std::pair<std::string, std::string>> lines; // key, rest of the line
    for (int i = 0; i < entries; ++i) {
        if (i % 2)
            lines.emplace_back(std::to_string(1000 + i),
                               "=Caption of control " + std::to_string(i));
        else
            lines.emplace_back("KEY_" + std::to_string(i), " = Text number " + std::to_string(i));
    }
    if (!shuffled) {
        const auto later = lines.begin() + entries / 20 * 19;
        const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
        std::sort(lines.begin(), later, byKey);
        std::sort(later, lines.end(), byKey);
    }
    std::string file = "; Tarnwick language file\n[Deutsch]\nVM_NAME=Name\n\n[English]\n";
    for (const auto& [key, rest] : lines)
        file += key + rest + "\n";
    return file;
}

void Store(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Wall-clock time, and the process's CPU time: on a busy machine the wall
// clock mostly measures waiting for a core, the CPU time does not (but it
// leaves out the time the disk takes to sync).
struct Time {
    double wall = 1e300;
    double cpu = 1e300;
};

double CpuMillis() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Best of `runs`: `prepare` is untimed, `measured` is timed.
Time Best(int runs, const std::function<void()>& prepare, const std::function<void()>& measured) {
    Time best;
    for (int i = 0; i < runs; ++i) {
        prepare();
        // Freed memory back to the system: each run starts as the program
        // does, on a fresh heap, whatever the size of the run before.
        ::malloc_trim(0);
        const double cpu = CpuMillis();
        const auto start = Clock::now();
        measured();
        const auto wall = std::chrono::duration<double, std::milli>(Clock::now() - start);
        best.wall = std::min(best.wall, wall.count());
        best.cpu = std::min(best.cpu, CpuMillis() - cpu);
    }
    return best;
}

struct Figures {
    Time load;      // construction: read, parse, list, read every value
    Time writeBack; // destruction after every text changed: file replaced
    Time unchanged; // destruction with the texts as loaded: nothing to write
};

Figures Measure(const std::string& path, int entries, int runs, bool shuffled = false) {
    const std::string file = LanguageFile(entries, shuffled);
    Figures f;
    CLanguageIniManger* manager = nullptr;
    f.load = Best(
        runs, [&] { Store(path, file); },
        [&] { manager = new CLanguageIniManger(path, "English"); });
    delete manager;
    f.unchanged = Best(
        runs, [&] { manager = new CLanguageIniManger(path, "English"); }, [&] { delete manager; });
    f.writeBack = Best(
        runs,
        [&] {
            Store(path, file);
            manager = new CLanguageIniManger(path, "English");
            for (const auto& [key, text] : std::map(manager->Texts()))
                manager->SetText(key, text + " (edited)");
            manager->SetText("ZZ_NEW", "a key new in this run");
        },
        [&] { delete manager; });
    return f;
}

} // namespace

int main() {
    char dir[] = "/tmp/bench_lang.XXXXXX";
    if (!::mkdtemp(dir)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(dir) + "/English.lng";
    const Figures small = Measure(path, 10'000, 11);
    const Figures large = Measure(path, 100'000, 5);
    const Figures smallShuffled = Measure(path, 10'000, 11, true);
    const Figures largeShuffled = Measure(path, 100'000, 5, true);
    std::remove(path.c_str());
    ::rmdir(dir);

    std::printf("%-8s %-5s %10s %14s %14s\n", "entries", "clock", "load ms", "write-back ms",
                "unchanged ms");
    for (const auto& [n, f] : {std::pair{10'000, small}, {100'000, large}}) {
        std::printf("%-8d %-5s %10.2f %14.2f %14.2f\n", n, "wall", f.load.wall, f.writeBack.wall,
                    f.unchanged.wall);
        std::printf("%-8d %-5s %10.2f %14.2f %14.2f\n", n, "cpu", f.load.cpu, f.writeBack.cpu,
                    f.unchanged.cpu);
    }
    auto ratio = [](const char* what, const char* goal, double wall, double cpu) {
        std::printf("%-36s wall %6.2fx  cpu %6.2fx  (goal %s)\n", what, wall, cpu, goal);
    };
    ratio("write-back / load, 10,000 entries", "<= 3x", small.writeBack.wall / small.load.wall,
          small.writeBack.cpu / small.load.cpu);
    ratio("load, 100,000 / 10,000 entries", "<= 12x", large.load.wall / small.load.wall,
          large.load.cpu / small.load.cpu);
    ratio("write-back, 100,000 / 10,000", "<= 12x", large.writeBack.wall / small.writeBack.wall,
          large.writeBack.cpu / small.writeBack.cpu);
    std::printf("keys shuffled (a hand-made file): load ms %.2f / %.2f (cpu)\n",
                smallShuffled.load.cpu, largeShuffled.load.cpu);
    ratio("shuffled load, 100,000 / 10,000", "none",
          largeShuffled.load.wall / smallShuffled.load.wall,
          largeShuffled.load.cpu / smallShuffled.load.cpu);
    return 0;
}
