// Any bytes as an INI file: read back byte for byte while unwritten, and every
// write it accepts reads back as written, also after a fresh parse of the text.
#include "lang/Profile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace std::literals;

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// The tail of the input is split at NULs into section, key, value triples.
std::string_view Take(std::string_view& rest) {
    const auto cut = rest.find('\0');
    const auto piece = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view{} : rest.substr(cut + 1);
    return piece;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find("\0\0\0"sv.data(), 0, 3);
    const std::string file(input.substr(0, split));
    std::string_view writes =
        split == std::string_view::npos ? std::string_view{} : input.substr(split + 3);

    ProfileDocument doc(file);
    Check(doc.Serialize() == file);
    std::vector<std::string> keys;
    doc.ListKeys("English", keys);
    std::vector<std::pair<std::string, std::string>> entries;
    doc.ReadSection("English", entries);
    Check(entries.size() == keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        Check(entries[i].first == keys[i]);
        Check(entries[i].second == doc.ReadValue("English", keys[i]));
    }

    for (int n = 0; n < 8 && !writes.empty(); ++n) {
        const auto section = Take(writes);
        const auto key = Take(writes);
        const auto value = Take(writes);
        if (!doc.Write(section, key, value))
            continue;
        Check(doc.ReadValue(section, key) == value);
        ProfileDocument again(doc.Serialize());
        Check(again.ReadValue(section, key) == value);
        Check(again.Serialize() == doc.Serialize());
    }
    return 0;
}
