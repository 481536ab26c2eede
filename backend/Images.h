// Disk images: creating them, and the one decision of each image's format.
#pragma once

#include "Store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bx {

// "qcow2" for a QEMU copy-on-write image, else "raw". Only for an image no
// guest has had yet: a guest can write any header into a raw image.
std::string ProbeImageFormat(const std::string& path);

// Creates a sparse raw file of `bytes` bytes; fails when `path` exists.
bool CreateSparseImage(const std::string& path, uint64_t bytes, std::string& error);

// The format recorded for `path` in `images`.
std::optional<std::string> RecordedFormat(const KnownImages& images, const std::string& path);

// The format of an image that `machine` has not recorded: as another stored
// machine recorded it (a guest there may have written into it), else probed.
std::string DecideFormat(const MachineStore& store, std::string_view machine,
                         const std::string& path);

// Records a decision; the oldest entries go beyond a few dozen.
void RememberFormat(KnownImages& images, const std::string& path, const std::string& format);

} // namespace bx
