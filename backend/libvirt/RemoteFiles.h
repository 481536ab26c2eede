// The files a machine on another host needs, put there: kernel, initrd and
// device tree uploaded into the daemon's storage pool by content, disk
// images found or made as volumes of that pool. Never a path read on the
// daemon's host that the user did not name as such.
#pragma once

#include "DomainXml.h"
#include "Link.h"
#include "Machine.h"

#include <string>

namespace bx::lv {

// The pool used: "tarnwick", else "default".
inline constexpr const char* kPoolNames[] = {"tarnwick", "default"};

// Runs on a call's own thread with its connection. `previous` is the
// domain's XML as it stands (for files that are no longer on this desktop).
Outcome<DomainFiles> PlaceFiles(virConnectPtr conn, const Machine& machine,
                                const std::string& domain, const std::string& previousXml);

// Copies in the pool of the disk images `machine` (of domain `from`) has
// there, for its clone of domain `to`; gives the clone's machine, its image
// fields naming the copies. Images not made yet are left for the clone's
// own first start.
Outcome<Machine> CloneDisks(virConnectPtr conn, Machine machine, const std::string& from,
                            const std::string& to);

} // namespace bx::lv
