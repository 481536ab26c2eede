// How long a start takes against what the emulator itself needs.
//
// Baseline: QEMU spawned with the very command line a start gives it (its
// control socket handed over listening, made by this file), from the spawn
// until it is ready as a start counts it (greeted and answered
// qmp_capabilities), seen by a plain client of this file connected at once:
// none of the back end's code, so none of its waiting. Measured: the back end's start of the same
// stored machine (checks, log, detached spawn, greeting and capabilities). Also the time of a state
// query and of a force off. Medians of alternating runs; fails when start/greeting exceeds the
// goal.
#include "Control.h"
#include "Files.h"
#include "Launcher.h"
#include "QemuArgv.h"
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
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace bx;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

constexpr int kRounds = 9;
constexpr double kGoal = 1.2;
// Where the emulator finds its control socket, as a start hands it over.
constexpr int kQmpFd = 4;

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

// Reads up to the end of the next line; false when the connection ends.
bool ReadLine(int fd, std::string& line) {
    line.clear();
    for (char c = 0; ::read(fd, &c, 1) == 1;) {
        if (c == '\n')
            return true;
        line += c;
    }
    return false;
}

// Reads QEMU's greeting on `fd` and waits for the answer to
// qmp_capabilities: QEMU greets from its monitor thread at once, but answers
// a command only when its main loop runs, with the machine built, kernel and
// images loaded.
bool Ready(int fd) {
    static constexpr char kCapabilities[] = "{\"execute\":\"qmp_capabilities\"}\n";
    std::string line;
    bool ready = ReadLine(fd, line) && ::write(fd, kCapabilities, sizeof kCapabilities - 1) ==
                                           static_cast<ssize_t>(sizeof kCapabilities - 1);
    while (ready && line.find("\"return\"") == std::string::npos)
        ready = ReadLine(fd, line);
    return ready;
}

// Spawns `argv`, handing it `listener` as the descriptor its -chardev names,
// and gives the time until QEMU is ready; ends it after. The connection is
// made at once: it waits in the listening socket's queue until QEMU takes it.
double SpawnToReady(const std::vector<std::string>& argv, int listener, const std::string& socket) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, listener, kQmpFd);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket.data(), socket.size());
    pid_t pid = -1;
    const Clock::time_point spawned = Clock::now();
    if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        return -1;
    posix_spawn_file_actions_destroy(&actions);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ready =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        Ready(fd);
    const double ms = Ms(Clock::now() - spawned);
    ::close(fd);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return ready ? ms : -1;
}

// A listening Unix socket at `path`, made here rather than by the back end.
int Listen(const std::string& path) {
    ::unlink(path.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
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
    WriteField(record.os.cmdLine, "console=ttyAMA0");
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
        context.qmpSocket = base + "/baseline.qmp";
        context.qmpSocketFd = kQmpFd;
        context.pidFile = base + "/baseline.pid";
        const int listener = Listen(context.qmpSocket);
        const double g = listener < 0 ? -1
                                      : SpawnToReady(BuildQemuArgv(record, context).argv, listener,
                                                     context.qmpSocket);
        ::close(listener);

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
    std::printf("  QEMU spawn to ready     %8.1f ms (baseline)\n", Median(greeting));
    std::printf("  StartEmulator           %8.1f ms  ratio %.2f (goal at most %.1f)\n",
                Median(start), ratio, kGoal);
    std::printf("  GetEmulatorState        %8.1f ms  ratio %.2f\n", Median(state),
                Median(state) / Median(greeting));
    std::printf("  StopEmulator, force     %8.1f ms  ratio %.2f\n", Median(stop),
                Median(stop) / Median(greeting));
    return ratio <= kGoal ? 0 : 1;
}
