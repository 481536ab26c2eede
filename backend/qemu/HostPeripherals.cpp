#include "HostPeripherals.h"

#include "Choices.h"
#include "QemuArgv.h"
#include "Text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>

namespace bx {

namespace {

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

int PortNumber(std::string_view text) {
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() && value >= 1 && value <= 65535
               ? value
               : 0;
}

// "[host:]port[,wait]"; empty, or an empty address before ",wait", is the
// usual 127.0.0.1:1234.
bool ParseGdbServer(std::string_view param, HostPeripherals& out) {
    std::string_view address = param;
    if (const std::size_t comma = param.find(','); comma != std::string_view::npos) {
        if (param.substr(comma + 1) != "wait")
            return false;
        address = param.substr(0, comma);
        out.gdbWait = true;
    }
    HostPort where{"127.0.0.1", 1234};
    if (!address.empty() && !ParseHostPort(address, where))
        return false;
    const bool v6 = where.host.find(':') != std::string::npos;
    out.gdb =
        "tcp:" + (v6 ? "[" + where.host + "]" : where.host) + ":" + std::to_string(where.port);
    return true;
}

// "tcp|udp:[host address:]host port:guest port", the address IPv4.
bool ParsePortForward(std::string_view param, HostPeripherals& out) {
    const std::vector<std::string> parts = Split(param, ':');
    if (parts.size() != 3 && parts.size() != 4)
        return false;
    const std::string& protocol = parts[0];
    if (protocol != "tcp" && protocol != "udp")
        return false;
    std::string address = "127.0.0.1";
    if (parts.size() == 4) {
        in_addr parsed{};
        if (::inet_pton(AF_INET, parts[1].c_str(), &parsed) != 1)
            return false;
        address = parts[1];
    }
    const int hostPort = PortNumber(parts[parts.size() - 2]);
    const int guestPort = PortNumber(parts.back());
    if (hostPort == 0 || guestPort == 0)
        return false;
    out.hostForwards.push_back("hostfwd=" + protocol + ":" + address + ":" +
                               std::to_string(hostPort) + "-:" + std::to_string(guestPort));
    return true;
}

} // namespace

bool IsHostPeripheralKind(std::string_view kind) {
    return kind == kGdbServerKind || kind == kPortForwardKind || kind == kDiscardWritesKind;
}

HostPeripherals ParseHostPeripherals(const EmulatorOptions& options) {
    HostPeripherals out;
    const int32_t rows = std::clamp<int32_t>(options.peri.periCount, 0, MAX_PERI);
    for (int32_t i = 0; i < rows && out.error.empty(); ++i) {
        const std::string kind = Trim(ReadField(options.peri.peris[i].device));
        const std::string param = Trim(ReadField(options.peri.peris[i].param));
        if (kind == kGdbServerKind) {
            if (!out.gdb.empty())
                out.error = "Only one peripheral gdb-server can be given: QEMU has one gdb stub.";
            else if (!ParseGdbServer(param, out))
                out.error = "The peripheral gdb-server takes [host:]port[,wait], such as 1234 or "
                            "127.0.0.1:1234,wait (empty: 127.0.0.1:1234); " +
                            Quoted(param) + " is none.";
        } else if (kind == kPortForwardKind) {
            if (!ParsePortForward(param, out))
                out.error = "The peripheral port-forward takes tcp|udp:[host address:]host "
                            "port:guest port, such as tcp:2222:22 or udp:127.0.0.1:5353:53; " +
                            Quoted(param) + " is none.";
        } else if (kind == kDiscardWritesKind) {
            if (!param.empty())
                out.error = "The peripheral discard-writes takes no parameter; " + Quoted(param) +
                            " was given.";
            out.discardWrites = true;
        }
    }
    return out;
}

} // namespace bx
