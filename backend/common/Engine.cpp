#include "Engine.h"

#include "Text.h"

namespace bx {

std::optional<EngineAddress> ParseEngineAddress(std::string_view extra) {
    const std::string text = Trim(extra);
    const std::size_t end = text.find_first_of(" \t");
    const std::string first = text.substr(0, end);
    // A scheme, then "://": what every libvirt URI has and no architecture
    // list can hold.
    const std::size_t colon = first.find("://");
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = first[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok)
            return std::nullopt;
    }
    return EngineAddress{first, end == std::string::npos ? std::string() : Trim(text.substr(end))};
}

} // namespace bx
