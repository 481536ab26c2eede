#include "MachineFile.h"

#include "Text.h"

#include <charconv>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <vector>

namespace bx {

namespace {

constexpr std::string_view kVersionLine = "tarnwick-machine 1";
constexpr std::string_view kEndLine = "end";
constexpr std::string_view kImageKey = "image";
// A key of its own: the previous version refuses "image=" values that do not
// begin with the path.
constexpr std::string_view kImageFileKey = "imagefile";

struct TextField {
    std::string key;
    std::function<char*(EmulatorOptions&)> at;
    std::size_t width;
};

#define BX_TEXT(key, member)                                                                       \
    TextField {                                                                                    \
        key, [](EmulatorOptions& o) { return o.member; }, sizeof(EmulatorOptions{}.member)         \
    }

const std::vector<TextField>& TextFields() {
    static const std::vector<TextField> fields = [] {
        std::vector<TextField> f = {
            BX_TEXT("name", general.name),          BX_TEXT("arch", general.arch),
            BX_TEXT("target", general.target),      BX_TEXT("cpu", general.cpu),
            BX_TEXT("memType", general.memType),    BX_TEXT("tapAdapter", general.tapAdapter),
            BX_TEXT("sdMemType", disk.sdMemType),   BX_TEXT("sdFile", disk.sdFile),
            BX_TEXT("hdMemType", disk.hdMemType),   BX_TEXT("hdFile", disk.hdFile),
            BX_TEXT("serialType", peri.serialType), BX_TEXT("serialParam", peri.serialParam),
            BX_TEXT("osImage", os.osImage),         BX_TEXT("initrdImage", os.initrdImage),
            BX_TEXT("cmdLine", os.cmdLine),
        };
        for (int i = 0; i < MAX_PERI; ++i) {
            const std::string row = "peri." + std::to_string(i) + ".";
            f.push_back({row + "device", [i](EmulatorOptions& o) { return o.peri.peris[i].device; },
                         sizeof(PeriEntry{}.device)});
            f.push_back({row + "param", [i](EmulatorOptions& o) { return o.peri.peris[i].param; },
                         sizeof(PeriEntry{}.param)});
        }
        return f;
    }();
    return fields;
}
#undef BX_TEXT

// Key -> field, for reading files.
const std::unordered_map<std::string_view, const TextField*>& TextFieldIndex() {
    static const std::unordered_map<std::string_view, const TextField*> index = [] {
        std::unordered_map<std::string_view, const TextField*> map;
        for (const TextField& field : TextFields())
            map.emplace(field.key, &field);
        return map;
    }();
    return index;
}

struct NumberField {
    const char* key;
    int32_t* (*at)(EmulatorOptions&);
};

const NumberField kNumbers[] = {
    {"memSize", [](EmulatorOptions& o) { return &o.general.memSize; }},
    {"displayEnable", [](EmulatorOptions& o) { return &o.general.displayEnable; }},
    {"sdSize", [](EmulatorOptions& o) { return &o.disk.sdSize; }},
    {"hdSize", [](EmulatorOptions& o) { return &o.disk.hdSize; }},
    {"serialEnable", [](EmulatorOptions& o) { return &o.peri.serialEnable; }},
    {"periCount", [](EmulatorOptions& o) { return &o.peri.periCount; }},
};

bool IsContinuation(unsigned char c) {
    return (c & 0xC0u) == 0x80u;
}

// Length of a valid UTF-8 sequence at `p`, 0 when there is none.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t p) {
    const auto c = static_cast<unsigned char>(s[p]);
    std::size_t length = 0;
    if (c >= 0xC2 && c <= 0xDF)
        length = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        length = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        length = 4;
    if (length == 0 || p + length > s.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if (!IsContinuation(static_cast<unsigned char>(s[p + i])))
            return 0;
    const auto c1 = static_cast<unsigned char>(s[p + 1]);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 > 0x8F))
        return 0; // overlong, surrogate or beyond U+10FFFF
    return length;
}

bool ParseInt32(std::string_view text, int32_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseUint64(std::string_view text, uint64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// "<format> <path>", or with `identified` "<format> <identity> <path>".
std::optional<KnownImage> ParseImage(std::string_view value, bool identified) {
    KnownImage image;
    const std::size_t blank = value.find(' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    image.format = value.substr(0, blank);
    value.remove_prefix(blank + 1);
    if (identified) {
        const std::size_t end = value.find(' ');
        if (end == std::string_view::npos)
            return std::nullopt;
        // <device>:<inode>, then :<birth ns> where the file system keeps one.
        std::vector<std::string_view> parts;
        for (std::string_view numbers = value.substr(0, end);;) {
            const std::size_t colon = numbers.find(':');
            parts.push_back(numbers.substr(0, colon));
            if (colon == std::string_view::npos)
                break;
            numbers.remove_prefix(colon + 1);
        }
        FileIdentity identity;
        if (parts.size() < 2 || parts.size() > 3 || !ParseUint64(parts[0], identity.device) ||
            !ParseUint64(parts[1], identity.inode) ||
            (parts.size() == 3 && !ParseUint64(parts[2], identity.birthNs)))
            return std::nullopt;
        image.identity = identity;
        value.remove_prefix(end + 1);
    }
    std::optional<std::string> path = UnescapeValue(value);
    if ((image.format != "raw" && image.format != "qcow2") || !path || path->empty() ||
        path->front() != '/')
        return std::nullopt;
    image.path = std::move(*path);
    return image;
}

} // namespace

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.inode == b.inode &&
           (a.birthNs == b.birthNs || a.birthNs == 0 || b.birthNs == 0);
}

std::string EscapeValue(std::string_view value) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() + 8);
    for (std::size_t i = 0; i < value.size();) {
        const auto c = static_cast<unsigned char>(value[i]);
        const bool edgeBlank = c == ' ' && (i == 0 || i + 1 == value.size());
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c >= 0x80) {
            const std::size_t length = Utf8SequenceAt(value, i);
            if (length != 0) {
                out.append(value.substr(i, length));
                i += length;
                continue;
            }
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else if (c < 0x20 || c == 0x7F || edgeBlank) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out.push_back(char(c));
        }
        ++i;
    }
    return out;
}

std::optional<std::string> UnescapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\0')
            return std::nullopt; // as for \x00: a field's text ends at its first NUL
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        switch (value[i]) {
        case '\\':
            out.push_back('\\');
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
        case 'x': {
            if (i + 2 >= value.size())
                return std::nullopt;
            const int hi = HexDigit(value[i + 1]);
            const int lo = HexDigit(value[i + 2]);
            if (hi < 0 || lo < 0 || (hi == 0 && lo == 0))
                return std::nullopt; // NUL cannot be part of a field's text
            out.push_back(char(hi * 16 + lo));
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::string SerializeMachine(const EmulatorOptions& options, const KnownImages& images) {
    EmulatorOptions record = options; // the field accessors take a mutable record
    std::string out;
    out.reserve(2048);
    out += kVersionLine;
    out += '\n';
    auto put = [&out](std::string_view key, std::string_view value) {
        out += key;
        out += '=';
        out += value;
        out += '\n';
    };
    for (const TextField& field : TextFields()) {
        const std::string text = ReadField(field.at(record), field.width);
        // Unused peripheral rows stay out of the file; an absent row reads as empty.
        if (text.empty() && StartsWith(field.key, "peri."))
            continue;
        put(field.key, EscapeValue(text));
    }
    for (const NumberField& field : kNumbers)
        put(field.key, std::to_string(*field.at(record)));
    for (const KnownImage& image : images) {
        if (image.identity)
            put(kImageFileKey,
                image.format + " " + std::to_string(image.identity->device) + ":" +
                    std::to_string(image.identity->inode) +
                    (image.identity->birthNs ? ":" + std::to_string(image.identity->birthNs)
                                             : std::string()) +
                    " " + EscapeValue(image.path));
        else
            put(kImageKey, image.format + " " + EscapeValue(image.path));
    }
    out += kEndLine;
    out += '\n';
    return out;
}

std::optional<EmulatorOptions> ParseMachine(std::string_view text, KnownImages* images,
                                            std::string* why) {
    auto fail = [why](std::string reason) -> std::optional<EmulatorOptions> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            return fail("its last line is cut off"); // every line ends in LF
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    if (lines.empty() || lines.front() != kVersionLine)
        return fail("it does not begin with the line \"" + std::string(kVersionLine) + "\"");
    if (lines.size() < 2 || lines.back() != kEndLine)
        return fail("it does not end with the line \"end\"");

    EmulatorOptions record;
    std::memset(&record, 0, sizeof record);
    KnownImages known;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty() || line.front() == '#')
            continue;
        const std::string lineNumber = "line " + std::to_string(i + 1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return fail(lineNumber + " is not key=value");
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        if (const auto text = TextFieldIndex().find(key); text != TextFieldIndex().end()) {
            const TextField& field = *text->second;
            const std::optional<std::string> unescaped = UnescapeValue(value);
            if (!unescaped)
                return fail(lineNumber + " has a malformed value");
            WriteField(field.at(record), field.width, *unescaped);
        } else if (key == kImageKey || key == kImageFileKey) {
            std::optional<KnownImage> image = ParseImage(value, key == kImageFileKey);
            if (!image)
                return fail(lineNumber + " names no image format" +
                            (key == kImageFileKey ? ", identity" : "") + " and absolute path");
            known.push_back(std::move(*image));
        } else {
            for (const NumberField& field : kNumbers)
                if (key == field.key && !ParseInt32(value, *field.at(record)))
                    return fail(lineNumber + " has a malformed number");
        }
        // Keys of later versions are ignored.
    }
    if (record.general.name[0] == '\0')
        return fail("it names no machine"); // also when a later name line emptied it
    if (record.peri.periCount < 0)
        record.peri.periCount = 0;
    if (record.peri.periCount > MAX_PERI)
        record.peri.periCount = MAX_PERI;
    if (images)
        *images = std::move(known);
    return record;
}

} // namespace bx
