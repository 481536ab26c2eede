#include "Link.h"

#include <libvirt/virterror.h>

namespace bx::lv {
namespace {

// libvirt's keepalive needs an event loop; one for the process, started
// before the first connection.
void StartEventLoop() {
    static std::once_flag once;
    std::call_once(once, [] {
        virInitialize();
        if (virEventRegisterDefaultImpl() < 0)
            return;
        std::thread([] {
            for (;;)
                if (virEventRunDefaultImpl() < 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }).detach();
    });
}

// Errors are read by the caller through LastError; libvirt's default
// handler would print them on the manager's terminal as well.
void Quiet(void*, virErrorPtr) {}

} // namespace

std::string LastError(std::string_view fallback) {
    const char* message = virGetLastErrorMessage();
    if (!message || std::string_view(message) == "no error")
        return std::string(fallback);
    return message;
}

Link::Link(std::string uri, std::chrono::milliseconds bound)
    : m_uri(uri), m_bound(bound), m_state(std::make_shared<State>()) {
    m_state->uri = std::move(uri);
    StartEventLoop();
    virSetErrorFunc(nullptr, Quiet);
}

Link::~Link() {
    // A call given up on may still hold the state; it closes its own
    // reference when it ends.
    std::lock_guard lock(m_state->mutex);
    if (m_state->conn) {
        virConnectClose(m_state->conn);
        m_state->conn = nullptr;
    }
}

virConnectPtr Link::Acquire(State& state, std::string* error) {
    std::lock_guard lock(state.mutex);
    if (state.conn && virConnectIsAlive(state.conn) != 1) {
        virConnectClose(state.conn);
        state.conn = nullptr;
    }
    if (!state.conn) {
        virConnectPtr conn = virConnectOpenAuth(state.uri.c_str(), virConnectAuthPtrDefault, 0);
        if (!conn) {
            *error = "No connection to the libvirt daemon at " + state.uri + ": " + LastError();
            return nullptr;
        }
        // Dead after about 15 s without an answer; calls blocked on it then fail.
        virConnectSetKeepAlive(conn, 5, 2);
        state.conn = conn;
    }
    virConnectRef(state.conn);
    return state.conn;
}

namespace {

// How long the calls after one given up on fail at once.
constexpr long long kQuietMs = 30000;

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::string Link::StillStuck(State& state) {
    if (state.stuck.load() > 0 && NowMs() - state.gaveUpAtMs.load() < kQuietMs)
        return "The libvirt daemon at " + state.uri +
               " has not answered an earlier call yet; the link may be down";
    return {};
}

void Link::GaveUp(State& state) {
    ++state.stuck;
    state.gaveUpAtMs = NowMs();
}

void Link::Drop(State& state, virConnectPtr conn) {
    std::lock_guard lock(state.mutex);
    if (state.conn == conn) {
        virConnectClose(state.conn);
        state.conn = nullptr;
    }
}

} // namespace bx::lv
