// A machine as a libvirt domain: the domain XML the daemon is given and the
// metadata that carries what the XML has no place for (the machine's own
// name above all). Pure functions; no connection.
#pragma once

#include "Machine.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bx::lv {

inline constexpr const char* kMetadataNamespace = "https://tarnwick.org/xmlns/machine/1";
// Domains made by Tarnwick are named this way; the rest of the name is
// random and never changes, whatever the machine is renamed to.
inline constexpr std::string_view kDomainPrefix = "tarnwick-";

// Paths on the daemon's host, found or made there before the XML is written.
struct DomainFiles {
    std::string kernel;
    std::string initrd;
    std::string dtb;
    struct Disk {
        std::string path;
        std::string format; // "raw" or "qcow2"
    };
    std::optional<Disk> sd;
    std::optional<Disk> hd;
    std::string serialDirectory; // where a default serial file or socket goes
};

struct DomainIdentity {
    std::string name;
    std::string uuid; // empty: libvirt gives one
};

// The domain XML; nullopt with the reason in `why` when the machine has
// something libvirt cannot express or the board cannot take.
std::optional<std::string> DomainXml(const Machine& machine, const DomainIdentity& identity,
                                     const DomainFiles& files, std::string* why);

// A domain that holds the machine (its metadata) and nothing a start needs:
// what a save defines before the machine's first start.
std::string BareDomainXml(const Machine& machine, const DomainIdentity& identity);

// The <metadata> element's child that holds every field of the machine.
std::string MetadataElement(const Machine& machine);
// The machine of a metadata element as virDomainGetMetadata gives it.
std::optional<Machine> MachineFromMetadata(std::string_view element);
// The same for virDomainSetMetadata, which adds the namespace itself.
std::string MetadataContent(const Machine& machine);

// QEMU's architecture names (ours) and libvirt's.
std::string LibvirtArch(std::string_view arch);
std::string ArchFromLibvirt(std::string_view libvirtArch);

// What libvirt can give: serial kinds and the peripheral kinds with a
// domain XML form.
const std::vector<std::string>& RemoteSerialKinds();
const std::vector<std::string>& RemotePeripheralKinds();

// The entries that name a daemon's network or bridge in the adapter list.
std::string NetworkEntry(std::string_view network);
std::string BridgeEntry(std::string_view bridge);

} // namespace bx::lv
