// Start-up of the manager against a plain Qt Widgets dialog of the same shape:
// time from process start until its filled list is painted, and peak resident
// memory. Time to exit and CPU time are printed beside them, so that work
// moved past the first paint still shows. Both programs run from one
// private directory under the offscreen platform; the manager uses our real
// back end with a store of 20 machines. Runs alternate between the two so
// that drift of the machine weighs on both alike. A last run of each, paused
// once its list is painted, counts the shared libraries it has mapped.
#include "app/backend/brevantix.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Other work on the machine makes single runs vary by a quarter; with 15
// runs the median of the ratio still moved by a tenth between invocations.
constexpr int kRuns = 41;
constexpr int kMachines = 20;
constexpr double kTimeGoal = 1.05;
constexpr double kMemoryGoal = 1.05;
constexpr int kTimeoutMs = 60000;

using Clock = std::chrono::steady_clock;

struct Sample {
    double shownMs; // until the "shown" line arrived
    double exitMs;  // until the process was reaped
    double cpuMs;   // user + system time of the child alone
    long peakKb;    // ru_maxrss of the child alone
};

// A private directory that goes away with the benchmark.
class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tarnwick-bench-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    bool Valid() const { return !m_path.empty(); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

struct Program {
    const char* label;
    fs::path exe;
    std::string expected; // the line that says the list was painted
};

// Fills the store through the back end itself, so the files are exactly what
// the manager reads in daily use.
bool MakeMachines(const fs::path& backend) {
    void* lib = dlopen(backend.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "cannot load %s: %s\n", backend.c_str(), dlerror());
        return false;
    }
    auto defaults =
        reinterpret_cast<PFN_SetEmulatorOptDefault>(dlsym(lib, "SetEmulatorOptDefault"));
    auto save = reinterpret_cast<PFN_SaveEmulatorOptions>(dlsym(lib, "SaveEmulatorOptions"));
    auto list = reinterpret_cast<PFN_EnumAllEmulator>(dlsym(lib, "EnumAllEmulator"));
    bool ok = defaults && save && list;
    if (ok) {
        for (int i = 0; i < kMachines; ++i) {
            EmulatorOptions options;
            std::memset(&options, 0, sizeof options);
            defaults(nullptr, &options);
            std::snprintf(options.general.name, sizeof options.general.name, "bench machine %02d",
                          i);
            save(&options);
        }
        ok = list(nullptr, nullptr, 0, BREVANTIX_SLOT_SIZE) == kMachines;
        if (!ok)
            std::fprintf(stderr, "the back end does not list %d machines\n", kMachines);
    }
    dlclose(lib);
    return ok;
}

using Libraries = std::set<std::string>;

// Every file the process has mapped executable, apart from the program
// itself: the shared libraries and plugins it loaded.
Libraries MappedLibraries(pid_t pid, const fs::path& exe) {
    Libraries found;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, path;
        fields >> range >> perms >> offset >> device >> inode;
        std::getline(fields >> std::ws, path);
        if (perms.size() > 2 && perms[2] == 'x' && !path.empty() && path[0] == '/' &&
            path != exe.string())
            found.insert(path);
    }
    return found;
}

// Reads the child's output until it ends; notes when the expected line came.
// With `libraries`, the child is paused at that line while its maps are read.
std::optional<Sample> RunOnce(const Program& program, const fs::path& dir,
                              Libraries* libraries = nullptr) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return std::nullopt;
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        close(out[0]);
        close(out[1]);
        return std::nullopt;
    }
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        execl(program.exe.c_str(), program.exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);

    std::string output;
    std::optional<Clock::time_point> shown;
    bool ended = false;
    const auto deadline = start + std::chrono::milliseconds(kTimeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{out[0], POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char chunk[4096];
        const ssize_t n = read(out[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ended = n == 0; // end of output: the child is ending
            break;
        }
        output.append(chunk, static_cast<size_t>(n));
        if (!shown && output.find(program.expected) != std::string::npos) {
            shown = Clock::now();
            if (libraries) {
                kill(pid, SIGSTOP);
                *libraries = MappedLibraries(pid, program.exe);
                kill(pid, SIGCONT);
            }
        }
    }
    close(out[0]);

    int status = 0;
    rusage usage{};
    if (!ended)
        kill(pid, SIGKILL);
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const auto end = Clock::now();

    if (!shown || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s: run failed (status %d), output:\n%s\n", program.label, status,
                     output.c_str());
        return std::nullopt;
    }
    const auto ms = [start](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - start).count();
    };
    const auto cpu = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return Sample{ms(*shown), ms(end), cpu(usage.ru_utime) + cpu(usage.ru_stime), usage.ru_maxrss};
}

template <typename T> T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figures {
    double shownMs;
    double exitMs;
    double cpuMs;
    double peakMb;
};

Figures Summarise(const std::vector<Sample>& samples) {
    std::vector<double> shown, exit, cpu;
    std::vector<long> peak;
    for (const Sample& s : samples) {
        shown.push_back(s.shownMs);
        exit.push_back(s.exitMs);
        cpu.push_back(s.cpuMs);
        peak.push_back(s.peakKb);
    }
    return {Median(shown), Median(exit), Median(cpu), static_cast<double>(Median(peak)) / 1024.0};
}

void PrintGoal(const char* what, double ratio, double goal) {
    std::printf("  %-31s %5.2fx (goal <= %.2fx)  %s\n", what, ratio, goal,
                ratio <= goal ? "met" : "MISSED");
}

} // namespace

int main() {
    TempDir dir;
    if (!dir.Valid()) {
        std::perror("cannot create a private directory");
        return 1;
    }
    const fs::path& root = dir.Path();
    const fs::path store = root / "machines";
    const fs::path cache = root / "cache";
    const fs::path runtime = root / "runtime";
    Program manager{"tarnwick", root / "tarnwick",
                    "tarnwick: shown with " + std::to_string(kMachines) + " rows"};
    Program minimal{"minimal", root / "bench_minimal_dialog",
                    "minimal: shown with " + std::to_string(kMachines) + " rows"};
    std::error_code error;
    fs::create_directories(runtime, error);
    if (!error)
        fs::permissions(runtime, fs::perms::owner_all, error);
    if (!error)
        fs::copy_file(TARNWICK_EXE, manager.exe, error);
    if (!error)
        fs::copy_file(BREVANTIX_BACKEND, root / BREVANTIX_LIBRARY_NAME, error);
    if (!error)
        fs::copy_file(MINIMAL_EXE, minimal.exe, error);
    if (error) {
        std::fprintf(stderr, "cannot prepare %s: %s\n", root.c_str(), error.message().c_str());
        return 1;
    }

    // One environment for both programs and for the store's set-up. A private
    // runtime directory keeps a running manager from turning the measured one
    // into a second instance.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TARNWICK_QUIT_WHEN_SHOWN", "1", 1);
    setenv("TARNWICK_STORE", store.c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    unsetenv("BREVANTIX_TEST_SCRIPT");
    unsetenv("BREVANTIX_TEST_LOG");

    if (!MakeMachines(root / BREVANTIX_LIBRARY_NAME))
        return 1;
    // Stored well before the start, as in daily use: the back end reads a
    // file written moments ago afresh at every turn.
    for (const fs::directory_entry& file : fs::directory_iterator(store, error))
        fs::last_write_time(file.path(), fs::last_write_time(file.path()) - std::chrono::hours(1),
                            error);
    // The programs were copied moments ago: a page fault on a page the disk
    // is still being written from waits for it, at random runs.
    ::sync();

    // Warm-up: page cache, font caches, and the manager's language file,
    // which it writes on its first exit and reads from then on.
    for (const Program* p : {&minimal, &manager}) {
        if (!RunOnce(*p, root))
            return 1;
    }
    if (!fs::exists(root / "English.lng")) {
        std::fprintf(stderr, "the manager wrote no language file\n");
        return 1;
    }

    std::vector<Sample> managerSamples, minimalSamples;
    for (int i = 0; i < kRuns; ++i) {
        const auto a = RunOnce(minimal, root);
        const auto b = a ? RunOnce(manager, root) : std::nullopt;
        if (!a || !b)
            return 1;
        minimalSamples.push_back(*a);
        managerSamples.push_back(*b);
    }

    Libraries managerLibraries, minimalLibraries;
    if (!RunOnce(minimal, root, &minimalLibraries) || !RunOnce(manager, root, &managerLibraries))
        return 1;

    const Figures m = Summarise(managerSamples);
    const Figures q = Summarise(minimalSamples);
    std::printf("start-up with %d machines, median of %d runs (offscreen)\n", kMachines, kRuns);
    std::printf("  %-10s %10s %10s %10s %12s\n", "", "shown ms", "exit ms", "CPU ms",
                "peak RSS MB");
    for (const auto& [label, f] : {std::pair{"minimal", q}, std::pair{"tarnwick", m}})
        std::printf("  %-10s %10.1f %10.1f %10.1f %12.1f\n", label, f.shownMs, f.exitMs, f.cpuMs,
                    f.peakMb);
    PrintGoal("time to shown, tarnwick/minimal", m.shownMs / q.shownMs, kTimeGoal);
    PrintGoal("peak RSS, tarnwick/minimal", m.peakMb / q.peakMb, kMemoryGoal);
    // Not goals. The exit includes closing the back end's inotify descriptor,
    // which waits for the kernel to retire its watches (about 10 ms).
    std::printf("  %-31s %5.2fx\n", "time to exit, tarnwick/minimal", m.exitMs / q.exitMs);
    std::printf("  %-31s %5.2fx\n", "CPU time, tarnwick/minimal", m.cpuMs / q.cpuMs);

    // The goal allows our back end beside what the dialog loads.
    const size_t allowed = minimalLibraries.size() + 1;
    std::printf("shared libraries mapped once shown: minimal %zu, tarnwick %zu (goal <= %zu)  %s\n",
                minimalLibraries.size(), managerLibraries.size(), allowed,
                managerLibraries.size() <= allowed ? "met" : "MISSED");
    for (const auto& [sign, from, other] : {std::tuple{'+', &managerLibraries, &minimalLibraries},
                                            std::tuple{'-', &minimalLibraries, &managerLibraries}})
        for (const std::string& library : *from)
            if (!other->count(library))
                std::printf("  %c %s\n", sign, library.c_str());
    return 0;
}
