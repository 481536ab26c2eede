// Any text into any field size: the cut is a prefix within the limit that
// ends on a character boundary, the copy touches its bytes only, and a read
// of a field with no NUL stays inside it (fields are heap blocks of their
// exact size, so ASan sees any byte beyond).
#include "base/Utf8.h"
#include "config/RecordText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// True when the cut parts a lead byte from continuation bytes it announces,
// all of which `text` has: that is a whole character split in two.
bool SplitsCharacter(const std::string& text, std::size_t cut) {
    std::size_t lead = cut;
    while (lead > 0 && cut - lead < 4 && IsContinuation(text[lead - 1]))
        --lead;
    if (lead == 0)
        return false;
    --lead;
    const auto b = static_cast<unsigned char>(text[lead]);
    const std::size_t want = b >= 0xC2 && b <= 0xDF   ? 2
                             : b >= 0xE0 && b <= 0xEF ? 3
                             : b >= 0xF0 && b <= 0xF4 ? 4
                                                      : 1;
    if (lead + want <= cut || lead + want > text.size())
        return false;
    for (std::size_t i = lead + 1; i < lead + want; ++i)
        if (!IsContinuation(text[i]))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t fieldSize = 1 + data[0] % 64 + (data[1] & 1 ? 960 : 0);
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::size_t maxText = fieldSize - 1;

    const std::string cut(base::CutUtf8(text, maxText));
    Check(cut.size() <= maxText);
    Check(text.compare(0, cut.size(), cut) == 0);
    Check(!SplitsCharacter(text, cut.size()));
    // The longest such prefix: the next character (at most 4 bytes) no longer fits.
    Check(cut.size() == text.size() || cut.size() + 4 > maxText);

    // writeBytes below the size: the bytes after it keep their guard value.
    const std::size_t writeBytes = fieldSize - (data[1] & 2 ? 1 : 0);
    std::unique_ptr<char[]> field(new char[fieldSize]);
    std::memset(field.get(), 0x5A, fieldSize);
    CopyToField(field.get(), writeBytes, maxText, text);
    Check(std::memcmp(field.get(), cut.data(), cut.size()) == 0);
    for (std::size_t i = cut.size(); i < writeBytes; ++i)
        Check(field[i] == 0);
    for (std::size_t i = writeBytes; i < fieldSize; ++i)
        Check(field[i] == 0x5A);
    Check(ReadField(field.get(), writeBytes) == cut.substr(0, cut.find('\0')));

    // A field filled to its last byte with no NUL reads as exactly its size.
    std::unique_ptr<char[]> full(new char[fieldSize]);
    for (std::size_t i = 0; i < fieldSize; ++i)
        full[i] = text.empty() ? 'A' : (text[i % text.size()] | 1);
    Check(ReadField(full.get(), fieldSize) == std::string(full.get(), fieldSize));
    return 0;
}
