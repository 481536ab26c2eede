// The stored form of one machine: a line-based text file with every field of
// EmulatorOptions by name.
//
//   tarnwick-machine 1
//   name=my vm
//   memSize=256
//   ...
//   end
//
// Values are the field's bytes with \\ \n \r \t and \xHH escapes for control
// bytes, invalid UTF-8 and blanks at either end, so every byte round-trips
// and the file stays readable. A file without its version line or its
// closing "end" line (a torn or truncated write) does not parse.
#pragma once

#define BREVANTIX_IMPLEMENTATION
#include "app/backend/brevantix.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

// Which file an image is, whatever path reaches it (a symbolic link, a
// rename into deleted/). The birth time tells a new file from a deleted one
// whose inode it got (ext4 hands a freed inode out again at once).
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t birthNs = 0; // 0: the file system keeps none
    bool operator==(const FileIdentity&) const = default;
};

// The same file: a birth time that one side lacks does not tell them apart.
bool SameFile(const FileIdentity& a, const FileIdentity& b);

// A disk image the back end has handed to QEMU, with the format it was given.
// A guest writes into its own images, so a format is decided once (when the
// back end creates the image, or when a machine first names it) and never
// probed again from the image's bytes. Stored as
// "imagefile=<format> <device>:<inode>[:<birth ns>] <path>"; lines "image=<format> <path>"
// of older versions carry no identity.
struct KnownImage {
    std::string format; // "raw" or "qcow2"
    std::string path;   // absolute, as the machine named it
    std::optional<FileIdentity> identity;
};
using KnownImages = std::vector<KnownImage>;

std::string SerializeMachine(const EmulatorOptions& options, const KnownImages& images = {});

// The record of a well-formed file, zero-filled where it names no value;
// nullopt for anything else, with the reason in `why`.
std::optional<EmulatorOptions> ParseMachine(std::string_view text, KnownImages* images = nullptr,
                                            std::string* why = nullptr);

std::string EscapeValue(std::string_view value);
std::optional<std::string> UnescapeValue(std::string_view value);

} // namespace bx
