// A TCP endpoint as users type it, for the serial port and the gdb stub of
// either engine.
#pragma once

#include <string>
#include <string_view>

namespace bx {

struct HostPort {
    std::string host;
    int port = 0;
};

// "4555", "host:4555" or "[::1]:4555"; the host defaults to the loopback so
// that nothing is opened to the network unasked.
bool ParseHostPort(std::string_view text, HostPort& out);

} // namespace bx
