#include "lang/Profile.h"

#include "base/Ascii.h"
#include "base/AtomicFile.h"
#include "base/Fd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
// A language file is a few hundred kilobytes at most; anything far larger is
// not one, and parsing it could exhaust memory.
constexpr off_t kMaxFileSize = off_t{32} << 20;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool IsNameSpace(char c) {
    return IsBlank(c) || c == '\r' || c == '\n';
}

std::string_view TrimName(std::string_view text) {
    while (!text.empty() && IsNameSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsNameSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// FNV-1a over the folded bytes.
std::uint32_t CaselessHash(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(base::FoldAscii(c))) * 16777619u;
    return hash;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// A value that a read would change (blanks at its ends, or one pair of
// enclosing quotes) is written in double quotes, so that it reads back as it
// was; any other value is written as it is.
bool NeedsQuotes(std::string_view value) {
    return !value.empty() &&
           (IsBlank(value.front()) || IsBlank(value.back()) ||
            (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()));
}

void AppendEncoded(std::string& out, std::string_view value) {
    if (!NeedsQuotes(value)) {
        out += value;
        return;
    }
    out += '"';
    out += value;
    out += '"';
}

bool IsEncodedAs(std::string_view raw, std::string_view value) {
    if (!NeedsQuotes(value))
        return raw == value;
    return raw.size() == value.size() + 2 && raw.front() == '"' && raw.back() == '"' &&
           raw.substr(1, value.size()) == value;
}

// One pass over the bytes (find_first_of would search its set per byte).
std::size_t FindLineBreak(std::string_view text, std::size_t from = 0) {
    for (std::size_t i = from; i < text.size(); ++i)
        if (text[i] == '\n' || text[i] == '\r')
            return i;
    return text.npos;
}

bool HasLineBreak(std::string_view text) {
    return FindLineBreak(text) != text.npos;
}

// The name of a section header line, which starts with '[' and whose name
// runs up to the last ']'.
std::optional<std::string_view> HeaderName(std::string_view trimmed) {
    if (trimmed.empty() || trimmed.front() != '[')
        return std::nullopt;
    const auto close = trimmed.rfind(']');
    if (close == trimmed.npos || close == 0)
        return std::nullopt;
    return TrimBlanks(trimmed.substr(1, close - 1));
}

// A new header line must read back as the same section.
bool CanHeadSection(std::string_view name) {
    return !HasLineBreak(name) && TrimBlanks(name) == name;
}

// A new entry line must read back as an entry of the same name.
bool CanNameEntry(std::string_view key) {
    return !key.empty() && TrimName(key) == key && key.find('=') == key.npos &&
           !HasLineBreak(key) && key.front() != ';' && key.front() != '[';
}

std::string_view EolBytes(std::uint8_t eol) {
    static constexpr std::string_view kBytes[] = {"", "\n", "\r\n", "\r"};
    return kBytes[eol];
}

} // namespace

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = base::FoldAscii(c);
    return lower;
}

std::size_t ProfileDocument::NameIndex::Probe(const ProfileDocument& doc, std::string_view name,
                                              std::uint32_t hash) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.node == 0 ||
            (slot.hash == hash &&
             base::EqualsIgnoreCase(doc.EntryName(doc.m_nodes[slot.node - 1]), name)))
            return i;
    }
}

std::size_t ProfileDocument::NameIndex::Find(const ProfileDocument& doc,
                                             std::string_view name) const {
    if (m_slots.empty())
        return npos;
    const Slot& slot = m_slots[Probe(doc, name, CaselessHash(name))];
    return slot.node == 0 ? npos : slot.node - 1;
}

std::size_t ProfileDocument::NameIndex::Insert(const ProfileDocument& doc, std::string_view name,
                                               std::size_t node) {
    if ((m_used + 1) * 2 > m_slots.size())
        Grow();
    const std::uint32_t hash = CaselessHash(name);
    Slot& slot = m_slots[Probe(doc, name, hash)];
    if (slot.node != 0)
        return slot.node - 1;
    slot.hash = hash;
    slot.node = static_cast<std::uint32_t>(node + 1);
    ++m_used;
    return node;
}

void ProfileDocument::NameIndex::Grow() {
    std::vector<Slot> old(std::max<std::size_t>(16, m_slots.size() * 2));
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot& slot : old) {
        if (slot.node == 0)
            continue;
        std::size_t i = slot.hash & mask;
        while (m_slots[i].node != 0)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

ProfileDocument::ProfileDocument(std::string bytes) : m_bytes(std::move(bytes)) {
    Parse();
}

void ProfileDocument::Parse() {
    const std::string_view all(m_bytes);
    std::size_t section = npos;
    std::size_t run = npos; // the open run of other lines
    std::size_t pos = 0;
    while (pos < all.size()) {
        const std::size_t start = pos;
        std::size_t end = FindLineBreak(all, pos);
        Eol eol = Eol::None;
        if (end == all.npos) {
            end = pos = all.size();
        } else if (all[end] == '\n') {
            eol = Eol::Lf;
            pos = end + 1;
        } else if (end + 1 < all.size() && all[end + 1] == '\n') {
            eol = Eol::CrLf;
            pos = end + 2;
        } else {
            eol = Eol::Cr;
            pos = end + 1;
        }
        if (start == 0 && eol != Eol::None)
            m_newEol = eol;

        const std::string_view text = all.substr(start, end - start);
        std::string_view content = text;
        if (start == 0 && content.starts_with(kBom))
            content.remove_prefix(kBom.size());
        const std::string_view trimmed = TrimBlanks(content);

        Node node;
        node.offset = start;
        node.length = text.size();
        node.eol = eol;
        if (!trimmed.empty() && trimmed.front() != ';') {
            if (const auto name = HeaderName(trimmed)) {
                section = AddSection(*name, Append(node));
                run = npos;
                continue;
            }
            const auto equals = text.find('=');
            if (section != npos && equals != text.npos) {
                const std::string_view name = TrimName(text.substr(0, equals));
                if (!name.empty()) {
                    node.equals = equals;
                    AddEntry(section, Append(node), name);
                    run = npos;
                    continue;
                }
            }
        }
        if (run == npos) {
            node.eol = Eol::None;
            run = Append(node);
        }
        m_nodes[run].length = pos - m_nodes[run].offset;
    }
}

std::size_t ProfileDocument::Append(const Node& node) {
    const std::size_t index = m_nodes.size();
    m_nodes.push_back(node);
    if (m_tail == npos)
        m_head = index;
    else
        m_nodes[m_tail].next = index;
    m_tail = index;
    return index;
}

std::string_view ProfileDocument::Text(const Node& node) const {
    return std::string_view(node.inArena ? m_arena : m_bytes).substr(node.offset, node.length);
}

std::string_view ProfileDocument::EntryName(const Node& node) const {
    return TrimName(Text(node).substr(0, node.equals));
}

std::string_view ProfileDocument::EntryValue(const Node& node) const {
    return DecodeValue(Text(node).substr(node.equals + 1));
}

std::size_t ProfileDocument::FindSection(std::string_view name) const {
    const auto it = m_sectionIndex.find(AsciiLower(name));
    return it == m_sectionIndex.end() ? npos : it->second;
}

std::size_t ProfileDocument::AddSection(std::string_view name, std::size_t header) {
    const std::size_t index = m_sections.size();
    Section& section = m_sections.emplace_back();
    section.name = name;
    section.header = section.last = header;
    m_sectionIndex.try_emplace(AsciiLower(name), index);
    return index;
}

void ProfileDocument::AddEntry(std::size_t section, std::size_t node, std::string_view name) {
    Section& s = m_sections[section];
    s.entries.push_back(node);
    m_nodes[node].first = s.index.Insert(*this, name, node);
    s.last = node;
}

// The new line is the arena's text from `arenaOffset` on.
std::size_t ProfileDocument::InsertAfter(std::size_t after, std::size_t arenaOffset) {
    Node node;
    node.inArena = true;
    node.offset = arenaOffset;
    node.length = m_arena.size() - arenaOffset;
    node.eol = m_newEol;
    const std::size_t index = m_nodes.size();
    if (after == npos) { // empty document
        m_nodes.push_back(node);
        m_head = m_tail = index;
        return index;
    }
    if (!EndsWithLineBreak(m_nodes[after]))
        m_nodes[after].eol = m_newEol; // the last line had none
    node.next = m_nodes[after].next;
    m_nodes.push_back(node);
    m_nodes[after].next = index;
    if (m_tail == after)
        m_tail = index;
    return index;
}

bool ProfileDocument::EndsWithLineBreak(const Node& node) const {
    if (node.eol != Eol::None)
        return true;
    const std::string_view text = Text(node);
    return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

void ProfileDocument::ListKeys(std::string_view section, std::vector<std::string>& names) const {
    names.clear();
    const std::size_t s = FindSection(section);
    if (s == npos)
        return;
    names.reserve(m_sections[s].entries.size());
    for (const std::size_t node : m_sections[s].entries)
        names.emplace_back(EntryName(m_nodes[node]));
}

std::optional<std::string> ProfileDocument::Find(std::string_view section,
                                                 std::string_view key) const {
    const std::size_t s = FindSection(section);
    if (s == npos)
        return std::nullopt;
    const std::size_t node = m_sections[s].index.Find(*this, key);
    if (node == npos)
        return std::nullopt;
    return std::string(EntryValue(m_nodes[node]));
}

void ProfileDocument::ReadSection(std::string_view section,
                                  std::vector<std::pair<std::string, std::string>>& entries) const {
    entries.clear();
    const std::size_t s = FindSection(section);
    if (s == npos)
        return;
    entries.reserve(m_sections[s].entries.size());
    for (const std::size_t node : m_sections[s].entries)
        entries.emplace_back(EntryName(m_nodes[node]), EntryValue(m_nodes[m_nodes[node].first]));
}

std::string ProfileDocument::ReadValue(std::string_view section, std::string_view key) const {
    return Find(section, key).value_or(std::string());
}

std::string_view ProfileDocument::DecodeValue(std::string_view raw) {
    raw = TrimBlanks(raw);
    if (raw.size() >= 2 && IsQuote(raw.front()) && raw.back() == raw.front())
        raw = raw.substr(1, raw.size() - 2);
    return raw;
}

std::string ProfileDocument::EncodeValue(std::string_view value) {
    std::string encoded;
    AppendEncoded(encoded, value);
    return encoded;
}

bool ProfileDocument::Write(std::string_view section, std::string_view key,
                            std::string_view value) {
    if (HasLineBreak(value))
        return false;
    std::size_t s = FindSection(section);
    if (s != npos) {
        if (const std::size_t found = m_sections[s].index.Find(*this, key); found != npos) {
            Node& node = m_nodes[found];
            const std::string_view text = Text(node);
            if (IsEncodedAs(text.substr(node.equals + 1), value))
                return true;
            m_modified = true;
            const std::size_t offset = m_arena.size();
            if (node.inArena) // written before: copy out of the arena before it grows
                m_arena += std::string(text.substr(0, node.equals + 1));
            else
                m_arena += text.substr(0, node.equals + 1);
            AppendEncoded(m_arena, value);
            node.inArena = true;
            node.offset = offset;
            node.length = m_arena.size() - offset;
            return true;
        }
    }
    if (!CanNameEntry(key))
        return false;
    if (s == npos && !CanHeadSection(section))
        return false;
    m_modified = true;
    if (s == npos) {
        const std::size_t header = m_arena.size();
        m_arena += '[';
        m_arena += section;
        m_arena += ']';
        s = AddSection(section, InsertAfter(m_tail, header));
    }
    const std::size_t line = m_arena.size();
    m_arena += key;
    m_arena += '=';
    AppendEncoded(m_arena, value);
    const std::size_t node = InsertAfter(m_sections[s].last, line);
    m_nodes[node].equals = key.size();
    AddEntry(s, node, key);
    return true;
}

std::string ProfileDocument::Serialize() const {
    std::size_t total = 0;
    for (std::size_t n = m_head; n != npos; n = m_nodes[n].next)
        total += m_nodes[n].length + 2;
    std::string bytes;
    bytes.reserve(total);
    for (std::size_t n = m_head; n != npos; n = m_nodes[n].next) {
        bytes += Text(m_nodes[n]);
        bytes += EolBytes(static_cast<std::uint8_t>(m_nodes[n].eol));
    }
    return bytes;
}

// ---- files -----------------------------------------------------------------

FileReadStatus ReadFileBytes(const std::string& path, std::string& bytes) {
    bytes.clear();
    // Non-blocking so that a FIFO in the file's place cannot hang the open.
    const base::Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid())
        return errno == ENOENT ? FileReadStatus::Missing : FileReadStatus::Failed;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize)
        return FileReadStatus::Failed;
    std::string buffer(static_cast<std::size_t>(st.st_size) + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == buffer.size()) {
            if (buffer.size() > static_cast<std::size_t>(kMaxFileSize))
                return FileReadStatus::Failed; // grew while being read
            buffer.resize(buffer.size() * 2);
        }
        const ssize_t n = ::read(fd.get(), buffer.data() + used, buffer.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return FileReadStatus::Failed;
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    buffer.resize(used);
    bytes = std::move(buffer);
    return FileReadStatus::Ok;
}

namespace {

// Whether `fd` is still the file at `path`: the last holder removes the lock
// file, and whoever locked it after that holds a lock nobody else sees.
bool IsFileAt(int fd, const std::string& path) {
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

FileUpdateLock::FileUpdateLock(const std::string& path, std::chrono::milliseconds patience) {
    if (path.empty())
        return;
    m_lockPath = base::ReplacedFile(path) + ".lock";
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        // Read access suffices for flock, so a lock file another user made
        // serves as well; no link is followed to create a file elsewhere.
        base::Fd fd(::open(m_lockPath.c_str(),
                           O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
                           0666));
        if (!fd.valid())
            return;
        int locked;
        do
            locked = ::flock(fd.get(), LOCK_EX | LOCK_NB);
        while (locked != 0 && errno == EINTR);
        const int error = errno;
        if (locked == 0 && IsFileAt(fd.get(), m_lockPath)) {
            m_fd = std::move(fd);
            return;
        }
        fd.close();
        if (locked != 0 && error != EWOULDBLOCK)
            return;
        if (std::chrono::steady_clock::now() >= deadline)
            return;
        if (locked != 0) { // a holder is at work: a read, an edit, one rename
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(20));
        }
    }
}

FileUpdateLock::~FileUpdateLock() {
    if (m_fd.valid())
        ::unlink(m_lockPath.c_str()); // while still locked (closed after this): see IsFileAt
}
