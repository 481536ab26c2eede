#include "NameCodec.h"

#include "Sha256.h"

namespace bx {

namespace {
bool IsSafe(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}
} // namespace

std::string FileStemForName(std::string_view name) {
    static const char* hex = "0123456789ABCDEF";
    std::string stem;
    stem.reserve(name.size() * 3);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        // A leading dot would hide the file and could make it "." or "..".
        if (IsSafe(c) && !(i == 0 && c == '.')) {
            stem.push_back(char(c));
        } else {
            stem.push_back('%');
            stem.push_back(hex[c >> 4]);
            stem.push_back(hex[c & 0xF]);
        }
    }
    if (stem.size() <= kMaxStem)
        return stem;
    const std::string digest = Sha256Hex(name).substr(0, 32);
    std::size_t head = kMaxStem - 1 - digest.size();
    // Never end the head inside a %XX escape.
    const std::size_t percent = stem.rfind('%', head);
    if (percent != std::string::npos && percent + 3 > head)
        head = percent;
    return stem.substr(0, head) + "~" + digest;
}

} // namespace bx
