// Bounded text handling shared by every export: field copies, list slots and
// the error-text buffer. Texts are cut by base::CutUtf8.
#pragma once

#include "base/Ascii.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

// Text of a fixed-width record field: up to its first NUL, never past the
// field, and at most width - 1 bytes so that it always fits back.
std::string ReadField(const char* field, std::size_t width);

template <std::size_t N> std::string ReadField(const char (&field)[N]) {
    return ReadField(field, N);
}

// Writes `text` into a fixed-width field, cut to width - 1 bytes, NUL-filling
// the rest of the field.
void WriteField(char* field, std::size_t width, std::string_view text);

template <std::size_t N> void WriteField(char (&field)[N], std::string_view text) {
    WriteField(field, N, text);
}

// The list protocol: with no buffer (or no capacity) the number of items;
// otherwise writes at most `capacity` items, one NUL-terminated text per
// `slotSize`-byte slot, and gives how many it wrote.
uint32_t WriteList(const std::vector<std::string>& items, char* buffer, uint32_t capacity,
                   uint32_t slotSize);

// The error-text protocol: gives the text's length; with a buffer copies at
// most `size` bytes and a NUL when there is room for one.
uint32_t WriteErrorText(std::string_view text, char* buffer, uint32_t size);

// Null-safe view of a C text from the interface.
inline std::string_view ArgText(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

bool StartsWith(std::string_view text, std::string_view prefix);
using base::EqualsIgnoreCase;
std::vector<std::string> Split(std::string_view text, char separator);
std::string Trim(std::string_view text);

} // namespace bx
