// The command line of the manager: language name and further argument.
#pragma once

#include <string>
#include <string_view>

struct CommandLineArgs {
    std::string language = "English";
    // Handed to the back end unchanged; empty when the line holds no blank.
    std::string extraArg;
};

// Trims blanks, tabs, CR, LF, VT and FF at both ends, then splits at the
// first blank (32) only: a tab does not split. The text after that blank is
// kept as it is, further blanks included.
CommandLineArgs SplitCommandLine(std::string_view commandLine);

// The command line as one text: argv[1..] joined with single blanks.
std::string JoinArguments(int argc, const char* const* argv);
