// One INI (private-profile) file held in memory: its lines kept byte for byte,
// its sections and entries indexed, edited as single profile writes would edit
// it, and turned back into bytes. Plus the file operations the profile needs:
// reading a file whole and keeping other processes out while one reads, edits
// and replaces it (base::ReplaceFileAtomically).
#pragma once

#include "base/Fd.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class ProfileDocument {
public:
    ProfileDocument() = default;
    explicit ProfileDocument(std::string bytes);

    // Names of the entries of the first section called `section`, file order,
    // duplicates included, trimmed as read.
    void ListKeys(std::string_view section, std::vector<std::string>& names) const;
    // The value of the first entry `key` of the first section `section`.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadValue(std::string_view section, std::string_view key) const;
    // Each entry of the section, file order, with the value ReadValue gives
    // for its name: the same as ListKeys then ReadValue per name, in one pass.
    void ReadSection(std::string_view section,
                     std::vector<std::pair<std::string, std::string>>& entries) const;

    // One single profile write. False (and nothing changed) when the value
    // holds a line break, or when the key or section could not be read back
    // as the same name from a new line.
    bool Write(std::string_view section, std::string_view key, std::string_view value);

    // True once a write has changed the text.
    bool Modified() const { return m_modified; }
    std::string Serialize() const;

    // The value text a write stores after the `=`, so that a read gives back
    // `value` unchanged.
    static std::string EncodeValue(std::string_view value);
    // What a read makes of the text after the `=`.
    static std::string_view DecodeValue(std::string_view raw);

private:
    enum class Eol : std::uint8_t { None, Lf, CrLf, Cr };
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // A header, an entry, or a run of other lines (their endings inside the
    // text): only headers and entries are ever edited or inserted after.
    struct Node {
        std::size_t offset = 0;
        std::size_t length = 0;
        std::size_t next = npos;   // file order is a linked list: inserts are O(1)
        std::size_t equals = npos; // entries: offset of the first '=' in the text
        std::size_t first = npos;  // entries: the section's first entry of this name
        Eol eol = Eol::None;       // appended after the text
        bool inArena = false;      // text lies in m_arena, else in m_bytes
    };

    // Names of a section's entries, without regard to ASCII case, to the first
    // entry bearing each. Open addressing over the document's own text: no
    // copy of a name, no allocation per entry, one probe per lookup mostly.
    class NameIndex {
    public:
        std::size_t Find(const ProfileDocument& doc, std::string_view name) const;
        // The first entry of that name: an earlier one, else `node`.
        std::size_t Insert(const ProfileDocument& doc, std::string_view name, std::size_t node);

    private:
        struct Slot {
            std::uint32_t hash = 0;
            std::uint32_t node = 0; // node + 1; 0: empty
        };
        std::size_t Probe(const ProfileDocument& doc, std::string_view name,
                          std::uint32_t hash) const;
        void Grow();
        std::vector<Slot> m_slots;
        std::size_t m_used = 0;
    };

    struct Section {
        std::string name;
        std::size_t header = npos;
        std::size_t last = npos; // last entry, or the header while it has none
        std::vector<std::size_t> entries;
        NameIndex index;
    };

    void Parse();
    std::size_t Append(const Node& node);
    std::string_view Text(const Node& node) const;
    std::string_view EntryName(const Node& node) const;
    std::string_view EntryValue(const Node& node) const;
    std::size_t FindSection(std::string_view name) const;
    std::size_t AddSection(std::string_view name, std::size_t header);
    void AddEntry(std::size_t section, std::size_t node, std::string_view name);
    std::size_t InsertAfter(std::size_t after, std::size_t arenaOffset);
    bool EndsWithLineBreak(const Node& node) const;

    std::string m_bytes;
    std::string m_arena; // texts of written and new lines, one after another
    std::vector<Node> m_nodes;
    std::size_t m_head = npos;
    std::size_t m_tail = npos;
    Eol m_newEol = Eol::Lf; // the first line's ending: new lines take it
    bool m_modified = false;
    std::vector<Section> m_sections;
    std::unordered_map<std::string, std::size_t> m_sectionIndex; // lower-case name -> first
};

// ASCII-only lower case: section and key names match without regard to it.
std::string AsciiLower(std::string_view text);

enum class FileReadStatus { Ok, Missing, Failed };

// Reads a regular file whole. Missing: no such file (a new one may be made);
// Failed: anything else (no rights, a directory, a device, too large).
FileReadStatus ReadFileBytes(const std::string& path, std::string& bytes);

// Serialises the read-edit-replace of one file between processes: an
// exclusive flock on "<file>.lock" beside it (beside a link's target), held
// while the object lives. The last holder removes the lock file; a waiter
// that locked a removed one opens the new one instead. Waits at most
// `patience` for another holder. When the lock cannot be had (no rights in
// the directory, no flock on the file system, a holder that never lets go),
// it is not held and the caller goes on without it: a write-back then works
// as it did before locking, rather than being lost or hanging.
class FileUpdateLock {
public:
    explicit FileUpdateLock(const std::string& path,
                            std::chrono::milliseconds patience = std::chrono::seconds(5));
    ~FileUpdateLock();
    FileUpdateLock(const FileUpdateLock&) = delete;
    FileUpdateLock& operator=(const FileUpdateLock&) = delete;

    bool Held() const { return m_fd.valid(); }

private:
    std::string m_lockPath;
    base::Fd m_fd;
};
