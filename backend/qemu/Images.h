// Disk images: creating them, and the one decision of each image's format.
#pragma once

#include "Store.h"

#include <cstdint>
#include <optional>
#include <string>

namespace bx {

// "qcow2" for a QEMU copy-on-write image, else "raw". Only for an image no
// guest has had yet: a guest can write any header into a raw image.
std::string ProbeImageFormat(const std::string& path);

// Creates a sparse raw file of `bytes` bytes; fails when `path` exists.
bool CreateSparseImage(const std::string& path, uint64_t bytes, std::string& error);

// The file at `path`, through symbolic links; nullopt when there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// A file or a block device: what QEMU can take as a disk.
bool IsImageFile(const std::string& path);

// How the format of an image no record names is found.
enum class Undecided {
    Raw,    // an image only the back end creates
    Probe,  // a user names it in a save: no guest has had it through us
    Refuse, // a start: a guest may have had it
};

// The format of the existing image at `path` for a machine whose decisions
// are `own`: as `own`, another stored machine or a record in deleted/ has it
// (by the file's identity), else as `undecided` says; nullopt when nothing
// decides it. A new decision goes into `own` at once, and `changed` says so.
std::optional<std::string> DecideFormat(const MachineStore& store, KnownImages& own,
                                        const std::string& path, Undecided undecided,
                                        bool& changed);

// Records the format of the image now at `path` (or created there), in
// place of what `images` held for that file.
void RememberFormat(KnownImages& images, const std::string& path, const std::string& format);

} // namespace bx
