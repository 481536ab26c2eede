#include "app/backend/ListProtocol.h"

#include "app/backend/EmulatorLib.h"

#include <algorithm>
#include <cstring>
#include <new>

std::optional<std::vector<std::string>> FetchList(const ListCall& call) {
    constexpr uint32_t slot = BREVANTIX_SLOT_SIZE;
    const uint32_t count = call(nullptr, 0, slot);
    if (count == 0) {
        return std::nullopt;
    }
    const uint32_t capacity = std::min(count, kMaxListItems);
    try {
        // Zero-filled, so a slot the back end leaves alone reads as empty.
        std::vector<char> buffer(static_cast<size_t>(capacity) * slot, '\0');
        const uint32_t written = std::min(call(buffer.data(), capacity, slot), capacity);
        std::vector<std::string> items;
        items.reserve(written);
        for (uint32_t i = 0; i < written; ++i) {
            const char* text = buffer.data() + static_cast<size_t>(i) * slot;
            items.emplace_back(text, strnlen(text, slot));
        }
        return items;
    } catch (const std::bad_alloc&) {
        // Too large to hold: treated as a list with nothing in it.
        return std::nullopt;
    }
}

std::string FetchText(const TextCall& call) {
    const uint32_t claimed = call(nullptr, 0);
    if (claimed == 0) {
        return {};
    }
    const uint32_t length = std::min(claimed, kMaxTextLength);
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    call(buffer.data(), length);
    buffer[length] = '\0';
    buffer.resize(strlen(buffer.c_str()));
    return buffer;
}

std::string FetchStartErrorText(const char* name) {
    return FetchText([name](char* buffer, uint32_t size) {
        return Emu::GetStartEmulatorErrInfo(name, buffer, size);
    });
}

std::string FetchEmulatorInfoText(const char* name) {
    return FetchText(
        [name](char* buffer, uint32_t size) { return Emu::GetEmulatorInfo(name, buffer, size); });
}
