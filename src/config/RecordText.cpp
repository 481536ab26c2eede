#include "config/RecordText.h"

#include "base/Utf8.h"

#include <cstring>

void CopyToField(char* field, size_t writeBytes, size_t maxText, const std::string& text) {
    const std::string_view cut = base::CutUtf8(text, maxText < writeBytes ? maxText : writeBytes);
    std::memcpy(field, cut.data(), cut.size());
    std::memset(field + cut.size(), 0, writeBytes - cut.size());
}

std::string ReadField(const char* field, size_t fieldSize) {
    const void* nul = std::memchr(field, 0, fieldSize);
    const size_t length =
        nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : fieldSize;
    return std::string(field, length);
}
