// One connection to a libvirt daemon that a dead or slow link cannot hang:
// every call runs on a thread of its own and is given up after a bound,
// keepalive closes a connection whose peer stopped answering, and the next
// call opens a new one.
#pragma once

#include <libvirt/libvirt.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace bx::lv {

// What a call gives back: its value, or libvirt's own words on why not.
template <typename T> struct Outcome {
    std::optional<T> value;
    std::string error;
    explicit operator bool() const { return value.has_value(); }
};

// libvirt's message for the last failed call on this thread.
std::string LastError(std::string_view fallback = "libvirt gave no reason");

class Link {
public:
    Link(std::string uri, std::chrono::milliseconds bound);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    const std::string& Uri() const { return m_uri; }

    // Runs `body` with an open connection on a thread of its own; after the
    // bound (the link's, unless given) the caller is given up on (the thread finishes on its own,
    // so `body` must own everything it uses).
    template <typename T>
    Outcome<T> Call(std::function<Outcome<T>(virConnectPtr)> body,
                    std::chrono::milliseconds bound = {}) {
        struct Shared {
            std::mutex mutex;
            std::condition_variable done;
            std::optional<Outcome<T>> result;
            bool abandoned = false;
        };
        auto state = m_state;
        if (std::string busy = StillStuck(*state); !busy.empty())
            return {std::nullopt, busy};
        auto shared = std::make_shared<Shared>();
        std::thread([shared, state, body = std::move(body)] {
            Outcome<T> result;
            std::string error;
            if (virConnectPtr conn = Acquire(*state, &error)) {
                result = body(conn);
                if (!result && virConnectIsAlive(conn) != 1)
                    Drop(*state, conn);
                virConnectClose(conn);
            } else {
                result.error = error;
            }
            std::lock_guard lock(shared->mutex);
            shared->result = std::move(result);
            shared->done.notify_all();
            if (shared->abandoned)
                --state->stuck;
        }).detach();
        if (bound.count() == 0)
            bound = m_bound;
        std::unique_lock lock(shared->mutex);
        if (!shared->done.wait_for(lock, bound, [&] { return shared->result.has_value(); })) {
            shared->abandoned = true;
            GaveUp(*state);
            return {std::nullopt, "The libvirt daemon at " + m_uri + " did not answer within " +
                                      std::to_string(bound.count() / 1000) +
                                      " s; the link may be down"};
        }
        return std::move(*shared->result);
    }

private:
    struct State {
        std::string uri;
        std::mutex mutex; // held while a connection is opened
        virConnectPtr conn = nullptr;
        // Calls given up on that still run, and when the last was given up:
        // while one hangs, the next calls fail at once for a while instead
        // of each waiting out its bound (a dialog asks a dozen things).
        std::atomic<int> stuck{0};
        std::atomic<long long> gaveUpAtMs{0};
    };
    static std::string StillStuck(State& state);
    static void GaveUp(State& state);
    // A referenced connection, opened when there is none.
    static virConnectPtr Acquire(State& state, std::string* error);
    // Forgets a connection that died, so the next call opens a new one.
    static void Drop(State& state, virConnectPtr conn);

    std::string m_uri;
    std::chrono::milliseconds m_bound;
    std::shared_ptr<State> m_state;
};

} // namespace bx::lv
