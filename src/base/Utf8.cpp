#include "base/Utf8.h"

namespace base {

namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0u) == 0x80u;
}

// Length of the UTF-8 sequence a lead byte announces; 0 for no lead byte.
std::size_t AnnouncedLength(unsigned char c) {
    if (c >= 0xC2 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF)
        return 3;
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    return 0;
}

} // namespace

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    // Every byte that is not a continuation starts a character, so only the
    // last such byte within three before the bound can straddle it.
    for (std::size_t back = 1; back <= 3 && back <= maxBytes; ++back) {
        const std::size_t lead = maxBytes - back;
        const auto c = static_cast<unsigned char>(text[lead]);
        if (IsContinuation(c))
            continue;
        const std::size_t length = AnnouncedLength(c);
        if (length <= back || lead + length > text.size())
            break;
        for (std::size_t i = lead + 1; i < lead + length; ++i)
            if (!IsContinuation(static_cast<unsigned char>(text[i])))
                return text.substr(0, maxBytes);
        return text.substr(0, lead);
    }
    return text.substr(0, maxBytes);
}

} // namespace base
