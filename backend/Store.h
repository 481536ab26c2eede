// The machines on disk: one file per machine in one directory.
#pragma once

#include "MachineFile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

class MachineStore {
public:
    explicit MachineStore(std::string directory);

    const std::string& Directory() const { return m_directory; }

    // Names of the machines whose files parse, in byte order. A file whose
    // name is not the one its machine's name maps to (a copy, a rename by
    // hand) is left out, so every listed name can be loaded.
    std::vector<std::string> Names() const;

    // The stored machine. A name cut to fit a list slot finds the machine
    // whose name it is the cut of.
    std::optional<EmulatorOptions> Load(std::string_view name) const;

    // Stores the record under its name; false (and nothing written) for an
    // empty name. A file there that does not parse is kept aside as
    // "<file>.unreadable" rather than overwritten.
    bool Save(const EmulatorOptions& options, std::string* error = nullptr) const;

    // Moves the machine's file into "deleted/", so an edit that never saves
    // again (a crash between delete and save) loses nothing.
    void Remove(std::string_view name) const;

    // <directory>/<stem of name><suffix>: the machine's file (".vm") and the
    // files kept beside it (log, pid file, default images).
    std::string PathFor(std::string_view name, std::string_view suffix) const;

    static constexpr std::string_view kSuffix = ".vm";

private:
    std::optional<EmulatorOptions> LoadExact(std::string_view name) const;

    std::string m_directory;
};

} // namespace bx
