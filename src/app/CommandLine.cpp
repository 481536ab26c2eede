#include "app/CommandLine.h"

namespace {
constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
}

CommandLineArgs SplitCommandLine(std::string_view commandLine) {
    CommandLineArgs args;
    const size_t first = commandLine.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return args;
    }
    const size_t last = commandLine.find_last_not_of(kWhiteSpace);
    const std::string_view text = commandLine.substr(first, last - first + 1);
    const size_t blank = text.find(' ');
    if (blank == std::string_view::npos) {
        args.language = text;
    } else {
        args.language = text.substr(0, blank);
        args.extraArg = text.substr(blank + 1);
    }
    return args;
}

std::string JoinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            line += ' ';
        }
        line += argv[i];
    }
    return line;
}
