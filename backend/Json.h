// A small JSON reader for QEMU's machine protocol replies.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // Member `key` of an object; null for anything else.
    const JsonValue* Find(std::string_view key) const;
    // Text of member `key` when it is a string; empty otherwise.
    std::string TextOf(std::string_view key) const;
};

// One JSON value from the start of `text`; `consumed` gets how many bytes it
// took. nullopt on malformed input or nesting deeper than 64.
std::optional<JsonValue> ParseJson(std::string_view text, std::size_t* consumed = nullptr);

} // namespace bx
