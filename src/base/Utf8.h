// Cutting texts to a byte bound without splitting a UTF-8 character.
#pragma once

#include <cstddef>
#include <string_view>

namespace base {

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 character. A character is a lead byte with all the
// continuation bytes it announces; any other byte (stray continuation, C0,
// C1, F5..FF, a lead whose sequence is broken or cut off by the text's end)
// stands alone and may end a cut.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

} // namespace base
