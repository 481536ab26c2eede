// The host's TAP network adapters: listing, creating and renaming them
// through the kernel's TUN/TAP driver.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bx {

// Names of the interfaces under `sysfsNet` whose tun_flags carry IFF_TAP,
// in byte order.
std::vector<std::string> ListTapAdapters(const std::string& sysfsNet = "/sys/class/net");

// The kernel's TUN/TAP driver, e.g. "TUN/TAP 1.6 (Linux 6.1.0-18-amd64)";
// nothing when the kernel offers no /dev/net/tun.
std::vector<std::string> TapDriverVersions();

// Linux's rule for interface names: 1 to 15 bytes, no '/', ':' or white
// space, not "." or "..". Commas and '=' are refused too: QEMU would read
// them as option separators.
bool IsValidInterfaceName(std::string_view name);

struct TapResult {
    bool ok = false;
    std::string name;  // of the adapter created
    std::string error; // why nothing changed
};

// Creates the next free persistent TAP adapter "tapN", owned by the calling
// user. Needs CAP_NET_ADMIN.
TapResult CreatePersistentTap();

// Renames a TAP adapter, taking it down for the rename and restoring its
// state afterwards. Refuses invalid names and interfaces that are no TAP.
TapResult RenameTap(const std::string& oldName, const std::string& newName,
                    const std::string& sysfsNet = "/sys/class/net");

} // namespace bx
