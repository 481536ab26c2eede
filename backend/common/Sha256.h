// SHA-256, for file names of long machine names and cache keys.
#pragma once

#include <string>
#include <string_view>

namespace bx {

// Lower-case hexadecimal digest of `data` (64 characters).
std::string Sha256Hex(std::string_view data);

} // namespace bx
