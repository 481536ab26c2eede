// The back end's own log, for what it cannot tell through the interface:
// $XDG_STATE_HOME/tarnwick/backend.log, else ~/.local/state/tarnwick/backend.log.
// Written only when it is a regular file of this (effective) user with one
// name: never through a symbolic or hard link put at its place (root may run
// the back end with a user's HOME). At 1 MiB it becomes backend.log.1 (an
// older one is replaced) and a new log begins: at most these two files.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace bx {

inline constexpr off_t kBackendLogLimit = off_t(1) << 20;

std::string BackendLogFile();

// Appends one line with the time in front; failures are ignored.
void LogLine(std::string_view text);

} // namespace bx
