// Whether a machine's serial console can show anything on its board: the
// kernel prints where its command line's console= says, and a UART the
// board does not have takes the output nowhere, without a word.
#pragma once

#include <string>
#include <string_view>

namespace bx {

// Why the console would show nothing: a console= naming a serial device of
// another kind than the board's (`boardConsole`, e.g. "ttyS0"), or none at
// all while the serial port is on. Empty when it fits. Virtual terminals
// (tty0) are every board's. The command line is never changed.
std::string ConsoleProblem(std::string_view board, std::string_view boardConsole,
                           std::string_view commandLine, bool serialOn);

} // namespace bx
