// File-system helpers: whole-file reads, atomic replacement, directories and
// the places where the back end keeps its files.
#pragma once

#include "base/Fd.h"

#include <optional>
#include <string>
#include <string_view>

namespace bx {

using base::Fd;

// The file's bytes; nullopt when it cannot be read or exceeds `maxBytes`.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes = 4u << 20);

// Replaces `path` with `data` so that readers see the old or the new file,
// never a part (base::ReplaceFileAtomically); a new file is the user's alone.
// A symbolic link at `path` is replaced, not written through: ReadWholeFile
// refuses links, so a machine saved through one could not be read back.
bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error);

// mkdir -p with mode 0700 for the directories it creates.
bool MakeDirectories(const std::string& path);

bool PathExists(const std::string& path);
// Modification time in nanoseconds; 0 when there is no such file.
long long ModifiedNs(const std::string& path);
bool IsRegularFile(const std::string& path);

std::string ParentDirectory(const std::string& path);
// The canonical path (links resolved); empty when it cannot be had.
std::string RealPath(const std::string& path);
// `path` as it is when absolute, else joined to `base`.
std::string ResolvePath(const std::string& base, const std::string& path);

// Where the machines live: $TARNWICK_STORE, else
// $XDG_DATA_HOME/tarnwick/machines, else ~/.local/share/tarnwick/machines.
std::string StoreDirectory();
// $XDG_CACHE_HOME/tarnwick, else ~/.cache/tarnwick.
std::string CacheDirectory();
// $XDG_STATE_HOME/tarnwick, else ~/.local/state/tarnwick.
std::string StateDirectory();
// Directory of this library's file (which is the program directory).
std::string LibraryDirectory();

// First executable `name` in the directories of `searchPath` (a PATH value);
// empty when there is none. Relative and empty PATH entries are skipped.
std::string FindExecutable(std::string_view name, std::string_view searchPath);
std::string CurrentSearchPath();

} // namespace bx
