// Machines kept and run by a libvirt daemon, perhaps on another host: each
// machine is a domain named tarnwick-<random>, its own name and fields in
// the domain's metadata, so any name the manager allows is kept and domains
// made outside Tarnwick are never touched.
#pragma once

#include "Engine.h"
#include "Link.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace bx::lv {

class LibvirtEngine final : public Engine {
public:
    explicit LibvirtEngine(std::string uri);

    std::vector<std::string> Names() override;
    std::optional<Machine> Load(const std::string& name) override;
    Machine Defaults(const std::string& archs) override;
    void Save(const Machine& machine) override;
    void Remove(const std::string& name) override;
    EngineStart Start(const std::string& name) override;
    std::string ArchOf(const std::string& target) override;
    std::vector<std::string> Targets(const std::string& archs) override;
    std::vector<std::string> Cpus(const std::string& target) override;
    std::vector<std::string> Networks() override;
    std::vector<std::string> SerialKinds() override;
    std::vector<std::string> PeripheralKinds() override;
    int State(const std::string& name) override;
    bool Stop(const std::string& name, bool force) override;
    std::string Info(const std::string& name) override;
    EngineStart Clone(const std::string& from, const std::string& to) override;

    // A domain of ours as the last listing saw it.
    struct Entry {
        std::string domain;
        std::string uuid;
        Machine machine;
        int state = 0; // BREVANTIX_STATE_*
    };

private:
    using Clock = std::chrono::steady_clock;
    struct Snapshot {
        std::map<std::string, Entry> byName; // byte order, as the list shows them
        Clock::time_point at;
    };
    // One listing serves the whole fill of the manager's list: its rows'
    // fields and states are read from it while it is this young.
    std::optional<Snapshot> Listing(std::chrono::milliseconds maxAge, std::string* error);
    std::optional<Entry> Find(const std::string& name, std::chrono::milliseconds maxAge,
                              std::string* error);
    void Forget();
    struct Arch {
        std::string arch; // ours
        std::vector<std::string> boards;
    };
    const std::vector<Arch>* Capabilities(std::string* error);

    Link m_link;
    std::mutex m_mutex;
    std::optional<Snapshot> m_snapshot;
    // The machine an edit removed and its domain XML, for the save that
    // follows (or to put back when that save fails).
    struct Edited {
        Entry entry;
        std::string xml;
    };
    std::optional<Edited> m_edited;
    std::optional<std::vector<Arch>> m_capabilities;
    std::map<std::string, std::vector<std::string>> m_cpus; // by target
};

} // namespace bx::lv
