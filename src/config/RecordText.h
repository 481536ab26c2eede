// Bounded texts of the record: one copy into a field, one read out of it.
#pragma once

#include <cstddef>
#include <string>

// Writes exactly `writeBytes` bytes of `field`: `text` cut to `maxText` bytes
// (base::CutUtf8), then NULs. Bytes from `writeBytes` on are never touched.
void CopyToField(char* field, size_t writeBytes, size_t maxText, const std::string& text);

// The record's three rules: 261-byte fields take 260 bytes and keep their last
// byte, the 1025-byte command line takes 1024 and keeps its last byte, the
// 260-byte peripheral texts take 259 and a NUL.
template <size_t N> void SetField(char (&field)[N], const std::string& text) {
    static_assert(N == 261 || N == 1025 || N == 260 || N == 32, "not a record text field");
    if constexpr (N == 261 || N == 1025)
        CopyToField(field, N - 1, N - 1, text);
    else
        CopyToField(field, N, N - 1, text);
}

// The text of a field up to its first NUL, never past `fieldSize` bytes.
std::string ReadField(const char* field, size_t fieldSize);
template <size_t N> std::string GetField(const char (&field)[N]) {
    return ReadField(field, N);
}
