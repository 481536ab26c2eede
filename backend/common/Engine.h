// What the exports ask of an engine: the local one (QEMU run by this user)
// or one that keeps and runs machines elsewhere (a libvirt daemon). Lists
// are in display order; a failure is told in the text a call gives, or in
// the back end's log where the interface has no place for it.
#pragma once

#include "Machine.h"

#include <optional>
#include <string>
#include <vector>

namespace bx {

struct EngineStart {
    bool started = false;
    std::string message;
};

class Engine {
public:
    virtual ~Engine() = default;
    // `archs`: the comma-separated architectures after the engine's address.
    virtual std::vector<std::string> Names() = 0;
    virtual std::optional<Machine> Load(const std::string& name) = 0;
    virtual Machine Defaults(const std::string& archs) = 0;
    // The edit protocol: a removal followed by a save is one edit of the
    // machine removed, perhaps under a new name.
    virtual void Save(const Machine& machine) = 0;
    virtual void Remove(const std::string& name) = 0;
    virtual EngineStart Start(const std::string& name) = 0;
    virtual std::string ArchOf(const std::string& target) = 0;
    virtual std::vector<std::string> Targets(const std::string& archs) = 0;
    virtual std::vector<std::string> Cpus(const std::string& target) = 0;
    virtual std::vector<std::string> Networks() = 0;
    virtual std::vector<std::string> SerialKinds() = 0;
    virtual std::vector<std::string> PeripheralKinds() = 0;
    virtual int State(const std::string& name) = 0;
    virtual bool Stop(const std::string& name, bool force) = 0;
    virtual std::string Info(const std::string& name) = 0;
    // A copy of the stopped machine `from` as `to`; the text says why not or
    // what the copy holds.
    virtual EngineStart Clone(const std::string& from, const std::string& to) = 0;
    // Host adapters that the engine itself makes (TAP); none elsewhere.
    virtual std::vector<std::string> AdapterDriverVersions() { return {}; }
    virtual void InstallAdapter() {}
    virtual void RenameAdapter(const std::string& /*from*/, const std::string& /*to*/) {}
    // Readable when a machine may have started or stopped; -1: no such news.
    virtual int EventFd() { return -1; }
};

// The libvirt engine's shared object, beside the back end, and what it
// exports: makes the engine for a connection URI, or gives why not.
inline constexpr const char* kLibvirtEngineFile = "tarnwick-libvirt.so";
inline constexpr const char* kLibvirtEngineSymbol = "TarnwickMakeLibvirtEngine";
using MakeEngineFn = Engine* (*)(const char* uri, std::string* error);

// The engine address at the front of the further command-line argument
// ("qemu+ssh://lab/system arm,aarch64"): the URI and what follows it. No
// URI: nullopt, and the local engine serves.
struct EngineAddress {
    std::string uri;
    std::string archs;
};
std::optional<EngineAddress> ParseEngineAddress(std::string_view extra);

} // namespace bx
