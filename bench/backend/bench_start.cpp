// How long a start takes against what the emulator itself needs.
//
// Baseline: QEMU spawned with the very command line a start gives it, from
// the spawn until it greets on its control socket. Measured: the back end's
// start of the same stored machine (checks, log, detached spawn, greeting
// and capabilities). Also the time of a state query and of a force off.
// Medians of alternating runs; fails when start/greeting exceeds 2.
#include "Control.h"
#include "Files.h"
#include "Launcher.h"
#include "QemuArgv.h"
#include "Qmp.h"
#include "Store.h"
#include "Text.h"

#define BREVANTIX_IMPLEMENTATION
#include "app/backend/brevantix.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace bx;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

constexpr int kRounds = 9;
constexpr double kGoal = 2.0;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A raw ARM image for "virt" that loops for ever.
std::string LoopKernel() {
    return std::string("\xfe\xff\xff\xea", 4); // b .
}

// Spawns `argv` and gives the time until QEMU has greeted; ends it after.
double SpawnToGreeting(const std::vector<std::string>& argv, const std::string& socket) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const Clock::time_point spawned = Clock::now();
    if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        return -1;
    posix_spawn_file_actions_destroy(&actions);
    const bool greeted = QmpConnection::Open(socket, spawned + std::chrono::seconds(10)) != nullptr;
    const double ms = Ms(Clock::now() - spawned);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::unlink(socket.c_str());
    return greeted ? ms : -1;
}

} // namespace

int main() {
    const std::string qemu = FindExecutable("qemu-system-arm", CurrentSearchPath());
    if (qemu.empty()) {
        std::puts("bench_start: qemu-system-arm is not installed; nothing measured");
        return 0;
    }
    char pattern[] = "/tmp/tarnwick-bench-start-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::string base = pattern;
    const MachineStore store(base + "/machines");
    std::string error;
    if (!MakeDirectories(store.Directory()) ||
        !WriteFileAtomically(base + "/loop.bin", LoopKernel(), &error))
        return 1;

    EmulatorOptions record;
    std::memset(&record, 0, sizeof record);
    WriteField(record.general.name, "bench");
    WriteField(record.general.target, "virt (arm)");
    WriteField(record.general.cpu, "cortex-a15");
    record.general.memSize = 256;
    WriteField(record.general.memType, "MB");
    WriteField(record.os.osImage, base + "/loop.bin");
    record.peri.serialEnable = 1;
    WriteField(record.peri.serialType, "file");
    if (!store.Save(record))
        return 1;

    const Launcher launcher(store, base, CurrentSearchPath());
    const EmulatorControl control(store, base);
    std::vector<double> greeting, start, state, stop;
    for (int round = 0; round < kRounds + 1; ++round) {
        LaunchContext context = ContextFor(store, "bench", base);
        context.binary = qemu;
        context.qmpSocket = NewQmpSocketPath(error);
        context.pidFile = base + "/baseline.pid";
        const double g = SpawnToGreeting(BuildQemuArgv(record, context).argv, context.qmpSocket);

        Clock::time_point t = Clock::now();
        const StartOutcome outcome = launcher.Start("bench");
        const double s = Ms(Clock::now() - t);
        t = Clock::now();
        const int32_t running = control.State("bench");
        const double q = Ms(Clock::now() - t);
        t = Clock::now();
        const bool stopped = control.Stop("bench", true);
        const double f = Ms(Clock::now() - t);
        if (g < 0 || !outcome.started || running != BREVANTIX_STATE_RUNNING || !stopped) {
            std::fprintf(stderr, "bench_start: round %d failed: %s\n", round,
                         outcome.message.c_str());
            return 1;
        }
        if (round == 0)
            continue; // warm-up: caches of the file system and of the binary
        greeting.push_back(g);
        start.push_back(s);
        state.push_back(q);
        stop.push_back(f);
    }
    const double ratio = Median(start) / Median(greeting);
    std::printf("bench_start (virt (arm), 256 MB, median of %d):\n", kRounds);
    std::printf("  QEMU spawn to greeting  %8.1f ms (baseline)\n", Median(greeting));
    std::printf("  StartEmulator           %8.1f ms  ratio %.2f (goal at most %.1f)\n",
                Median(start), ratio, kGoal);
    std::printf("  GetEmulatorState        %8.1f ms  ratio %.2f\n", Median(state),
                Median(state) / Median(greeting));
    std::printf("  StopEmulator, force     %8.1f ms  ratio %.2f\n", Median(stop),
                Median(stop) / Median(greeting));
    return ratio <= kGoal ? 0 : 1;
}
