// Any bytes as a stored machine: refused or parsed, and a parsed record saved
// again, with its image formats, parses to the same record.
#include "MachineFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bx::KnownImages images;
    const auto parsed = bx::ParseMachine(text, &images);
    if (!parsed)
        return 0;
    const std::string saved = bx::SerializeMachine(*parsed, images);
    bx::KnownImages imagesAgain;
    const auto again = bx::ParseMachine(saved, &imagesAgain);
    if (!again || bx::SerializeMachine(*again, imagesAgain) != saved)
        std::abort();

    // Values escape and unescape to themselves.
    const auto unescaped = bx::UnescapeValue(text.substr(0, 512));
    if (unescaped && bx::UnescapeValue(bx::EscapeValue(*unescaped)) != unescaped)
        std::abort();
    return 0;
}
