#include "Json.h"

#include <cstdlib>

namespace bx {

const JsonValue* JsonValue::Find(std::string_view key) const {
    if (kind != Kind::Object)
        return nullptr;
    const auto it = members.find(std::string(key));
    return it == members.end() ? nullptr : &it->second;
}

std::string JsonValue::TextOf(std::string_view key) const {
    const JsonValue* value = Find(key);
    return value && value->kind == Kind::String ? value->text : std::string();
}

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    std::optional<JsonValue> Value(int depth) {
        if (depth > 64)
            return std::nullopt;
        SkipBlanks();
        if (m_pos >= m_text.size())
            return std::nullopt;
        const char c = m_text[m_pos];
        if (c == '{')
            return Object(depth);
        if (c == '[')
            return Array(depth);
        if (c == '"') {
            JsonValue v;
            v.kind = JsonValue::Kind::String;
            if (!String(v.text))
                return std::nullopt;
            return v;
        }
        if (Literal("true") || Literal("false")) {
            JsonValue v;
            v.kind = JsonValue::Kind::Bool;
            v.boolean = c == 't';
            return v;
        }
        if (Literal("null"))
            return JsonValue{};
        return Number();
    }

    std::size_t Position() const { return m_pos; }

private:
    void SkipBlanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    bool Literal(std::string_view word) {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    bool Expect(char c) {
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    std::optional<JsonValue> Number() {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() &&
               std::string_view("+-0123456789.eE").find(m_text[m_pos]) != std::string_view::npos)
            ++m_pos;
        if (m_pos == start)
            return std::nullopt;
        JsonValue v;
        v.kind = JsonValue::Kind::Number;
        v.number = std::strtod(std::string(m_text.substr(start, m_pos - start)).c_str(), nullptr);
        return v;
    }

    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out.push_back(char(code));
        } else if (code < 0x800) {
            out.push_back(char(0xC0 | (code >> 6)));
            out.push_back(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(char(0xE0 | (code >> 12)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (code >> 18)));
            out.push_back(char(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        }
    }

    bool Hex4(unsigned& code) {
        if (m_pos + 4 > m_text.size())
            return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= unsigned(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    bool String(std::string& out) {
        ++m_pos; // opening quote
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            const char e = m_text[m_pos++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out.push_back(e);
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'u': {
                unsigned code = 0;
                if (!Hex4(code))
                    return false;
                if (code >= 0xD800 && code <= 0xDBFF && m_text.substr(m_pos, 2) == "\\u") {
                    m_pos += 2;
                    unsigned low = 0;
                    if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                AppendUtf8(out, code);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    std::optional<JsonValue> Array(int depth) {
        ++m_pos;
        JsonValue v;
        v.kind = JsonValue::Kind::Array;
        if (Expect(']'))
            return v;
        while (true) {
            std::optional<JsonValue> item = Value(depth + 1);
            if (!item)
                return std::nullopt;
            v.items.push_back(std::move(*item));
            if (Expect(']'))
                return v;
            if (!Expect(','))
                return std::nullopt;
        }
    }

    std::optional<JsonValue> Object(int depth) {
        ++m_pos;
        JsonValue v;
        v.kind = JsonValue::Kind::Object;
        if (Expect('}'))
            return v;
        while (true) {
            SkipBlanks();
            std::string key;
            if (m_pos >= m_text.size() || m_text[m_pos] != '"' || !String(key) || !Expect(':'))
                return std::nullopt;
            std::optional<JsonValue> member = Value(depth + 1);
            if (!member)
                return std::nullopt;
            v.members.insert_or_assign(std::move(key), std::move(*member));
            if (Expect('}'))
                return v;
            if (!Expect(','))
                return std::nullopt;
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace

std::optional<JsonValue> ParseJson(std::string_view text, std::size_t* consumed) {
    Reader reader(text);
    std::optional<JsonValue> value = reader.Value(0);
    if (value && consumed)
        *consumed = reader.Position();
    return value;
}

} // namespace bx
