// tarnwick-tap-helper: what the back end asks pkexec to run when the user
// may not manage network adapters. It does two things and nothing else:
//
//   tarnwick-tap-helper install              a new TAP adapter for the user
//   tarnwick-tap-helper rename <old> <new>   one of the user's TAP adapters
//
// The user is the one pkexec names in PKEXEC_UID (root when run directly).
// Prints the adapter's name, or why not. Exit status: 0 done, 2 bad
// arguments, 3 refused (no TAP adapter, or another user's), 4 failed.
#include "Tap.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace {

int Usage(const char* why) {
    std::printf("%s\nusage: tarnwick-tap-helper install | rename <old> <new>\n", why);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    uid_t caller = ::getuid();
    if (const char* pkexecUid = std::getenv("PKEXEC_UID")) {
        const std::string_view text = pkexecUid;
        unsigned long value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
            value > 0x7fffffffUL)
            return Usage("PKEXEC_UID names no user");
        caller = static_cast<uid_t>(value);
    }
    const std::string command = argc > 1 ? argv[1] : "";
    bx::TapResult result;
    if (command == "install" && argc == 2) {
        result = bx::CreatePersistentTap(caller);
    } else if (command == "rename" && argc == 4) {
        const std::string oldName = argv[2];
        const std::string newName = argv[3];
        if (!bx::IsValidInterfaceName(oldName) || !bx::IsValidInterfaceName(newName) ||
            oldName.front() == '-' || newName.front() == '-')
            return Usage(("adapter names are " + std::string(bx::kInterfaceNameRule) +
                          ", and do not begin with '-'")
                             .c_str());
        result = bx::RenameTap(oldName, newName, caller);
        if (!result.ok && (result.error.find("is not a TAP adapter") != std::string::npos ||
                           result.error.find("belongs to another user") != std::string::npos)) {
            std::printf("%s\n", result.error.c_str());
            return 3;
        }
    } else {
        return Usage("unknown command");
    }
    if (!result.ok) {
        std::printf("%s\n", result.error.c_str());
        return 4;
    }
    std::printf("%s\n", result.name.c_str());
    return 0;
}
