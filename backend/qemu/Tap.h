// The host's TAP network adapters: listing, creating and renaming them
// through the kernel's TUN/TAP driver.
#pragma once

#include "Choices.h"

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace bx {

// What RefreshTapNetWork lists: kUserNetwork (QEMU's user-mode network: NAT,
// DHCP, the host at 10.0.2.2; it needs no rights) and kNoNetwork, then
// ListTapAdapters(). An empty adapter (a record of an older version) means
// the user-mode one.
std::vector<std::string> NetworkChoices(const std::string& sysfsNet = "/sys/class/net");

// Names of the interfaces under `sysfsNet` whose tun_flags carry IFF_TAP,
// in byte order.
std::vector<std::string> ListTapAdapters(const std::string& sysfsNet = "/sys/class/net");

// The kernel's TUN/TAP driver, e.g. "TUN/TAP 1.6 (Linux 6.1.0-18-amd64)";
// nothing when the kernel offers no /dev/net/tun.
std::vector<std::string> TapDriverVersions();

// The names we give adapters and accept for them: 1 to 15 printable ASCII
// bytes (0x21 to 0x7e), not "." or "..", without '/' and ':' (Linux's rule),
// '%' (the kernel would number the name: "wg%d" becomes "wg0"), ',' and '='
// (QEMU would read them as option separators). Blanks, control bytes and
// bytes above 0x7e are refused too. The one place of this rule.
bool IsValidInterfaceName(std::string_view name);

// The rule above in words, for refusals.
inline constexpr std::string_view kInterfaceNameRule =
    "1 to 15 printable ASCII bytes, no blanks, '%', '/', ':', ',' or '=', not '.' or '..'";

struct TapResult {
    bool ok = false;
    std::string name;  // of the adapter created
    std::string error; // why nothing changed
};

// Creates the next free persistent TAP adapter "tapN", up and owned by
// `owner`, so that QEMU run by that user opens it. Needs CAP_NET_ADMIN.
TapResult CreatePersistentTap(uid_t owner);

// Renames a TAP adapter, taking it down for the rename and restoring its
// state afterwards. Refuses invalid names, interfaces that are no TAP, and
// (unless `caller` is root) adapters that `caller` does not own. The checks
// (under `sysfsNet`) are bound to the interface index the name has, and the
// rename acts on that index through rtnetlink: a name moved to another
// interface in between is refused, and nothing else is touched.
TapResult RenameTap(const std::string& oldName, const std::string& newName, uid_t caller,
                    const std::string& sysfsNet = "/sys/class/net");

// Whether this process may manage adapters itself.
bool HaveNetAdmin();

// Install and rename as the manager asks for them: done here with the rights
// to, else through our helper program (`helper`, beside the back end) under
// pkexec, so that a desktop user gets the system's authentication prompt.
TapResult InstallTap(const std::string& helper);
TapResult RenameTapAsUser(const std::string& helper, const std::string& oldName,
                          const std::string& newName);

// The helper program's name, installed beside the back end.
inline constexpr std::string_view kTapHelperName = "tarnwick-tap-helper";

} // namespace bx
