// A copy of a stored machine under a new name: its own copy of every disk
// image it writes, the kernel, initrd and device tree shared.
#pragma once

#include "Store.h"

#include <string>
#include <string_view>

namespace bx {

struct CloneOutcome {
    bool done = false;
    std::string message; // why not; after a clone, what it holds
};

class MachineCloner {
public:
    // `baseDirectory`: what relative paths of a record are relative to.
    MachineCloner(const MachineStore& store, std::string baseDirectory);

    // All or nothing: a clone that fails leaves no file behind, and no
    // existing file is ever replaced. A running machine is refused, since
    // its images change under the copy.
    CloneOutcome Clone(std::string_view from, std::string_view to) const;

private:
    const MachineStore& m_store;
    std::string m_baseDirectory;
};

// Copies the regular file `from` to the new file `to` (never replacing one):
// a reflink where the file system offers it, else only its data, so holes
// stay holes. False, with nothing left at `to`, on failure.
bool CopyImageFile(const std::string& from, const std::string& to, std::string& error);

} // namespace bx
