// The main window's list of 100 machines on a libvirt daemon reached over
// qemu+ssh through a link with a 50 ms round trip: what the list's fill asks
// of the back end (the names, then each row's fields and run state), against
// one plain libvirt round trip on the same link, and against the naive fill
// (a metadata call per row, one after the other) done with libvirt alone.
//
// Run as root: it brings up a private daemon with scripts/libvirt-host.sh.
// The delay is a proxy in this program, since netem is not in every kernel.
#include "Machine.h"
#include "Text.h"
#include "app/backend/brevantix.h"

#include <libvirt/libvirt.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kOneWay = std::chrono::milliseconds(25);
constexpr int kMachines = 100;

// Bytes read at t reach the other side at t + 25 ms, in order.
void Pump(int from, int to) {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::pair<Clock::time_point, std::string>> queue;
    bool closed = false;
    std::thread writer([&] {
        for (;;) {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return closed || !queue.empty(); });
            if (queue.empty())
                break;
            auto [due, data] = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            std::this_thread::sleep_until(due);
            for (std::size_t done = 0; done < data.size();) {
                const ssize_t n = ::send(to, data.data() + done, data.size() - done, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                done += std::size_t(n);
            }
        }
        ::shutdown(to, SHUT_WR);
    });
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n <= 0)
            break;
        std::lock_guard lock(mutex);
        queue.emplace_back(Clock::now() + kOneWay, std::string(buffer, std::size_t(n)));
        ready.notify_one();
    }
    {
        std::lock_guard lock(mutex);
        closed = true;
        ready.notify_one();
    }
    writer.join();
}

// Listens on a free loopback port; each connection goes on to `target`.
int StartProxy(int target) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    std::thread([listener, target] {
        for (;;) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            std::thread([client, target] {
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                to.sin_port = htons(uint16_t(target));
                const int one = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                if (::connect(server, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
                    std::thread up(Pump, client, server);
                    Pump(server, client);
                    up.join();
                }
                ::close(server);
                ::close(client);
            }).detach();
        }
    }).detach();
    return ntohs(address.sin_port);
}

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    return out;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

template <typename F> F Fn(void* lib, const char* name) {
    return reinterpret_cast<F>(::dlsym(lib, name));
}

std::vector<std::string> Names(void* lib, const std::string& extra) {
    auto enumerate = Fn<PFN_EnumAllEmulator>(lib, "EnumAllEmulator");
    const uint32_t count = enumerate(extra.c_str(), nullptr, 0, BREVANTIX_SLOT_SIZE);
    std::vector<char> buffer(std::size_t(count) * BREVANTIX_SLOT_SIZE);
    const uint32_t written = enumerate(extra.c_str(), buffer.data(), count, BREVANTIX_SLOT_SIZE);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < written; ++i)
        names.emplace_back(buffer.data() + std::size_t(i) * BREVANTIX_SLOT_SIZE);
    return names;
}

// What CTarnwickDlg's fill and the rows' run marks ask.
std::size_t Fill(void* lib, const std::string& extra) {
    const std::vector<std::string> names = Names(lib, extra);
    auto options = Fn<PFN_GetEmulatorOptions>(lib, "GetEmulatorOptions");
    auto state = Fn<PFN_GetEmulatorState>(lib, "GetEmulatorState");
    std::size_t rows = 0;
    for (const std::string& name : names) {
        EmulatorOptions record;
        std::memset(&record, 0, sizeof record);
        rows += options(name.c_str(), &record) != 0 ? 1 : 0;
        state(name.c_str());
    }
    return rows;
}

} // namespace

int main() {
    if (::geteuid() != 0) {
        std::fprintf(stderr, "bench_remote_list: run as root (it starts a private libvirtd)\n");
        return 2;
    }
    char dirTemplate[] = "/tmp/bench_remote_list-XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate);
    const std::string script = TARNWICK_SOURCE_DIR "/scripts/libvirt-host.sh";
    const std::string up = Run("TARNWICK_LIBVIRT_CACHE=" TARNWICK_BUILD_DIR "/libvirt-cache bash " +
                               script + " up " + dir);
    std::string uri;
    if (const std::size_t at = up.find("TARNWICK_LIBVIRT_URI='"); at != std::string::npos)
        uri = up.substr(at + 22, up.find('\'', at + 22) - at - 22);
    const std::size_t portAt = uri.find("127.0.0.1:");
    if (uri.empty() || portAt == std::string::npos) {
        std::fprintf(stderr, "bench_remote_list: the libvirt host did not come up:\n%s\n",
                     up.c_str());
        return 1;
    }
    const std::size_t portEnd = uri.find('/', portAt + 10);
    const int sshPort = std::atoi(uri.substr(portAt + 10, portEnd - portAt - 10).c_str());
    const int proxyPort = StartProxy(sshPort);
    const std::string slowUri =
        uri.substr(0, portAt + 10) + std::to_string(proxyPort) + uri.substr(portEnd);

    ::setenv("TARNWICK_STORE", (dir + "/store").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    void* lib = ::dlopen(BREVANTIX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "bench_remote_list: %s\n", ::dlerror());
        return 1;
    }
    // The machines, stored over the fast link.
    const std::string fastExtra = uri + " arm";
    Names(lib, fastExtra);
    auto save = Fn<PFN_SaveEmulatorOptions>(lib, "SaveEmulatorOptions");
    for (int i = 0; i < kMachines; ++i) {
        bx::Machine m;
        m.name = "board " + std::to_string(i);
        m.target = "virt (arm)";
        m.arch = "arm";
        m.cpu = "cortex-a15";
        m.memSize = 256;
        m.memType = "MB";
        m.kernel = "/boot/vmlinuz";
        m.commandLine = "console=ttyAMA0";
        const EmulatorOptions record = bx::RecordFromMachine(m);
        save(&record);
    }
    if (Names(lib, fastExtra).size() != kMachines) {
        std::fprintf(stderr, "bench_remote_list: the machines were not all stored\n");
        return 1;
    }

    // Baselines on the slow link, with libvirt alone: one round trip, and
    // the naive fill (list, then each domain's metadata in turn).
    virConnectPtr conn = virConnectOpen(slowUri.c_str());
    if (!conn) {
        std::fprintf(stderr, "bench_remote_list: no connection through the delay\n");
        return 1;
    }
    std::vector<double> trips;
    for (int i = 0; i < 7; ++i) {
        const auto t0 = Clock::now();
        virConnectNumOfDomains(conn);
        trips.push_back(Ms(Clock::now() - t0));
    }
    std::sort(trips.begin(), trips.end());
    const auto n0 = Clock::now();
    virDomainPtr* domains = nullptr;
    const int count = virConnectListAllDomains(conn, &domains, 0);
    for (int i = 0; i < count; ++i) {
        free(virDomainGetMetadata(domains[i], VIR_DOMAIN_METADATA_ELEMENT,
                                  "https://tarnwick.org/xmlns/machine/1", 0));
        virDomainGetState(domains[i], nullptr, nullptr, 0);
        virDomainFree(domains[i]);
    }
    free(domains);
    const double naive = Ms(Clock::now() - n0);
    virConnectClose(conn);

    // The back end on the slow link: the first fill opens the connection
    // (ssh over the slow link), the others reuse it.
    const std::string slowExtra = slowUri + " arm";
    const auto c0 = Clock::now();
    const std::size_t rows = Fill(lib, slowExtra);
    const double cold = Ms(Clock::now() - c0);
    std::vector<double> warm;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = Clock::now();
        Fill(lib, slowExtra);
        warm.push_back(Ms(Clock::now() - t0));
    }
    std::sort(warm.begin(), warm.end());

    std::printf("libvirt round trip through the delay (median of 7): %.1f ms\n", trips[3]);
    std::printf("naive fill with libvirt alone (%d domains, a call per row): %.0f ms\n", count,
                naive);
    std::printf("list of %zu machines, first fill (connects over ssh): %.0f ms = %.1f round "
                "trips (goal: 1500 ms)\n",
                rows, cold, cold / trips[3]);
    std::printf("list of %zu machines, later fills (median of 5): %.0f ms = %.1f round trips, "
                "%.2f of the naive fill\n",
                rows, warm[2], warm[2] / trips[3], warm[2] / naive);
    Run("bash " + script + " down " + dir + " >/dev/null 2>&1");
    Run("rm -rf " + dir);
    return cold <= 1500 ? 0 : 1;
}
