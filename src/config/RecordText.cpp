#include "config/RecordText.h"

#include <cstring>

namespace {

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length of the UTF-8 sequence a lead byte announces; 1 for bytes that lead
// nothing (ASCII, continuation bytes, C0, C1, F5..FF).
size_t AnnouncedLength(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    return 1;
}

// Length of the character at `i`: a whole sequence, or 1 for a byte that
// does not start one (invalid bytes stand alone).
size_t CharLength(const std::string& text, size_t i) {
    const size_t n = AnnouncedLength(static_cast<unsigned char>(text[i]));
    if (n == 1 || i + n > text.size())
        return 1;
    for (size_t k = 1; k < n; ++k) {
        if (!IsContinuation(static_cast<unsigned char>(text[i + k])))
            return 1;
    }
    return n;
}

} // namespace

std::string CutUtf8(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    size_t end = 0;
    while (end < maxBytes) {
        const size_t n = CharLength(text, end);
        if (end + n > maxBytes)
            break;
        end += n;
    }
    return text.substr(0, end);
}

void CopyToField(char* field, size_t writeBytes, size_t maxText, const std::string& text) {
    const std::string cut = CutUtf8(text, maxText < writeBytes ? maxText : writeBytes);
    std::memcpy(field, cut.data(), cut.size());
    std::memset(field + cut.size(), 0, writeBytes - cut.size());
}

std::string ReadField(const char* field, size_t fieldSize) {
    const void* nul = std::memchr(field, 0, fieldSize);
    const size_t length =
        nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : fieldSize;
    return std::string(field, length);
}
