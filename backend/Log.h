// The back end's own log, for what it cannot tell through the interface:
// $XDG_STATE_HOME/tarnwick/backend.log, else ~/.local/state/tarnwick/backend.log.
#pragma once

#include <string>
#include <string_view>

namespace bx {

std::string BackendLogFile();

// Appends one line with the time in front; failures are ignored.
void LogLine(std::string_view text);

} // namespace bx
