// Saving and deleting machines as the manager does it: an edit deletes the
// machine, runs its sheet, then saves the record, perhaps under a new name.
#pragma once

#include "Store.h"

#include <optional>
#include <string>
#include <string_view>

namespace bx {

class MachineKeeper {
public:
    // `baseDirectory`: what relative paths of a record are relative to.
    MachineKeeper(const MachineStore& store, std::string baseDirectory);

    // Stores the record. `edited` names the machine that the edit ending in
    // this save deleted just before, if any: its disks, log and serial file
    // follow it to its (new) name, and its recorded image formats stay. When
    // the save fails, that machine comes back as it was. A new machine never
    // takes over files left under its name.
    bool Save(const EmulatorOptions& options, const std::optional<std::string>& edited,
              std::string* error = nullptr) const;

private:
    const MachineStore& m_store;
    std::string m_baseDirectory;
};

} // namespace bx
