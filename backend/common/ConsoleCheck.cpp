#include "ConsoleCheck.h"

#include <vector>

namespace bx {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "ttyAMA0" -> "ttyAMA": a driver's devices differ only in their number.
std::string_view Family(std::string_view device) {
    while (!device.empty() && IsDigit(device.back()))
        device.remove_suffix(1);
    return device;
}

// The devices of every console= word, without their options (",115200n8").
std::vector<std::string_view> Consoles(std::string_view commandLine) {
    std::vector<std::string_view> devices;
    constexpr std::string_view key = "console=";
    while (!commandLine.empty()) {
        const std::size_t start = commandLine.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos)
            break;
        commandLine.remove_prefix(start);
        const std::size_t end = commandLine.find_first_of(" \t\r\n");
        const std::string_view word = commandLine.substr(0, end);
        if (word.starts_with(key)) {
            const std::string_view value = word.substr(key.size());
            devices.push_back(value.substr(0, value.find(',')));
        }
        commandLine.remove_prefix(word.size());
    }
    return devices;
}

} // namespace

std::string ConsoleProblem(std::string_view board, std::string_view boardConsole,
                           std::string_view commandLine, bool serialOn) {
    const std::string where = "The board " + std::string(board) + " has its serial console on " +
                              std::string(boardConsole);
    const std::string change =
        " Change the command line on the OS page (console=" + std::string(boardConsole) + ").";
    const std::vector<std::string_view> consoles = Consoles(commandLine);
    for (std::string_view device : consoles) {
        // tty0, tty1: the virtual terminals of any board with a display.
        if (Family(device) == "tty" || Family(device) == Family(boardConsole))
            continue;
        return where + ", but the command line names console=" + std::string(device) +
               ", a device it does not have: the guest's console would show nothing." + change;
    }
    if (serialOn && consoles.empty())
        return where +
               ", and the command line names no console=: with the serial port on, "
               "the guest's console would show nothing." +
               change;
    return {};
}

} // namespace bx
