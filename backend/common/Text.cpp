#include "Text.h"

#include "base/Utf8.h"

#include <algorithm>
#include <cstring>

namespace bx {

std::string ReadField(const char* field, std::size_t width) {
    if (!field || width == 0)
        return {};
    const std::size_t length = strnlen(field, width);
    return std::string(base::CutUtf8(std::string_view(field, length), width - 1));
}

void WriteField(char* field, std::size_t width, std::string_view text) {
    if (!field || width == 0)
        return;
    const std::string_view cut = base::CutUtf8(text, width - 1);
    std::memcpy(field, cut.data(), cut.size());
    std::memset(field + cut.size(), 0, width - cut.size());
}

uint32_t WriteList(const std::vector<std::string>& items, char* buffer, uint32_t capacity,
                   uint32_t slotSize) {
    const auto count = static_cast<uint32_t>(std::min<std::size_t>(items.size(), UINT32_MAX));
    if (!buffer || capacity == 0)
        return count;
    if (slotSize == 0)
        return 0;
    const uint32_t written = std::min(count, capacity);
    for (uint32_t i = 0; i < written; ++i)
        WriteField(buffer + static_cast<std::size_t>(i) * slotSize, slotSize, items[i]);
    return written;
}

uint32_t WriteErrorText(std::string_view text, char* buffer, uint32_t size) {
    const auto length = static_cast<uint32_t>(std::min<std::size_t>(text.size(), UINT32_MAX - 1));
    if (!buffer || size == 0)
        return length;
    const uint32_t copied = std::min(length, size);
    std::memcpy(buffer, text.data(), copied);
    if (copied < size)
        buffer[copied] = '\0';
    return length;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

std::string Trim(std::string_view text) {
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

} // namespace bx
