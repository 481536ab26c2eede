#include "HostPort.h"

#include <algorithm>
#include <charconv>

namespace bx {

bool ParseHostPort(std::string_view text, HostPort& out) {
    std::string_view host = "127.0.0.1";
    std::string_view port = text;
    if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
    }
    const auto hostChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == ':';
    };
    if (host.empty() || !std::all_of(host.begin(), host.end(), hostChar))
        return false;
    int value = 0;
    const auto [ptr, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || ptr != port.data() + port.size() || value < 1 || value > 65535)
        return false;
    out.host = std::string(host);
    out.port = value;
    return true;
}

} // namespace bx
