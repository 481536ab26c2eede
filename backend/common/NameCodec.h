// Maps a machine name to a file-name stem that cannot leave its directory.
#pragma once

#include <string>
#include <string_view>

namespace bx {

// Every byte outside [A-Za-z0-9._-], and a leading '.', becomes %XX, so no
// stem holds '/', starts with a dot (the mark of temporary files) or is "."
// or "..". Stems that would grow past kMaxStem are shortened to
// a readable head plus '~' and a SHA-256 of the whole name; '~' is never in
// a short stem, so the two forms cannot meet.
std::string FileStemForName(std::string_view name);

constexpr std::size_t kMaxStem = 200;

} // namespace bx
