#include "Store.h"

#include "Files.h"
#include "Log.h"
#include "NameCodec.h"
#include "Text.h"
#include "base/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace bx {

MachineStore::MachineStore(std::string directory) : m_directory(std::move(directory)) {}

std::string MachineStore::PathFor(std::string_view name, std::string_view suffix) const {
    return m_directory + "/" + FileStemForName(name) + std::string(suffix);
}

std::string MachineStore::DeletedPathFor(std::string_view name, std::string_view suffix) const {
    return m_directory + "/deleted/" + FileStemForName(name) + std::string(suffix);
}

const std::vector<std::string_view>& MachineStore::FilesKeptBeside() {
    // ".pid" and ".qmp" are an older version's; they follow as they did.
    static const std::vector<std::string_view> suffixes = {
        ".sd.img", ".hd.img", ".log", ".serial.txt", ".console.txt", ".run", ".pid", ".qmp"};
    return suffixes;
}

bool FileVersion::operator==(const FileVersion& other) const {
    const auto same = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return device == other.device && inode == other.inode && size == other.size &&
           same(modified, other.modified) && same(changed, other.changed);
}

namespace {
constexpr time_t kSettledSeconds = 3;
} // namespace

std::optional<FileVersion> VersionOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileVersion{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

std::vector<std::string> MachineStore::Names(std::vector<DamagedFile>* damaged,
                                             std::map<std::string, ListedFile>* listed) const {
    std::vector<std::string> names;
    std::map<std::string, ListedFile> earlier;
    if (listed)
        earlier.swap(*listed);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(m_directory.c_str()), ::closedir);
    if (!dir)
        return names;
    timespec listedAt{};
    ::clock_gettime(CLOCK_REALTIME, &listedAt);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view file = entry->d_name;
        if (file.empty() || file.front() == '.' || file.size() <= kSuffix.size() ||
            file.substr(file.size() - kSuffix.size()) != kSuffix)
            continue;
        const std::string path = m_directory + "/" + std::string(file);
        // Taken before the read: a file replaced in between then shows a
        // version that was not read, never the other way round.
        std::optional<FileVersion> version = listed ? VersionOf(path) : std::nullopt;
        // A file written in the last moments may be written again within
        // the same tick of its file system's clock (two seconds on some),
        // unseen by its version: it is not kept.
        if (version && version->modified.tv_sec + kSettledSeconds > listedAt.tv_sec)
            version.reset();
        if (version) {
            if (auto known = earlier.extract(path); known && known.mapped().version == *version) {
                names.push_back(known.mapped().machine.name);
                listed->insert(std::move(known));
                continue;
            }
        }
        const std::optional<std::string> text = ReadWholeFile(path);
        std::string why = "it cannot be read";
        const std::optional<EmulatorOptions> record =
            text ? ParseMachine(*text, nullptr, &why) : std::nullopt;
        if (!record) {
            if (damaged)
                damaged->push_back({path, why});
            continue;
        }
        std::string name = ReadField(record->general.name);
        if (FileStemForName(name) + std::string(kSuffix) != file)
            continue;
        if (version)
            listed->insert_or_assign(path, ListedFile{*version, MachineFromRecord(*record)});
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
std::optional<StoredMachine> ParseStored(const std::optional<std::string>& text,
                                         std::string_view name) {
    if (!text)
        return std::nullopt;
    StoredMachine stored;
    std::optional<EmulatorOptions> record = ParseMachine(*text, &stored.images);
    if (!record || ReadField(record->general.name) != name)
        return std::nullopt;
    stored.options = *record;
    return stored;
}

// Whatever is there, a dangling link included.
bool Occupied(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Never replaces what is at `to`.
bool MoveFile(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system without the flag; the store's lock keeps our own moves apart.
    return errno == EINVAL && !Occupied(to) && std::rename(from.c_str(), to.c_str()) == 0;
}

constexpr int kOlderVersions = 10000;

// Where a file in "deleted/" of an earlier machine of the same name moves, so
// that no later restore hands it to another machine and nothing is
// destroyed: the first free "<file>.N"; empty when none is left.
std::string FreeOlderPath(const std::string& path) {
    for (int n = 1; n < kOlderVersions; ++n)
        if (std::string older = path + "." + std::to_string(n); !Occupied(older))
            return older;
    return {};
}

bool MoveOlderAside(const std::string& path) {
    if (!Occupied(path))
        return true;
    const std::string older = FreeOlderPath(path);
    return !older.empty() && MoveFile(path, older);
}

// Machine files of a directory: "<stem>.vm", in "deleted/" also "<stem>.vm.N".
bool IsMachineFileName(std::string_view file, bool withVersions) {
    if (file.empty() || file.front() == '.')
        return false;
    if (withVersions) {
        const std::size_t digits = file.find_last_not_of("0123456789");
        if (digits != std::string_view::npos && digits + 1 < file.size() && file[digits] == '.')
            file = file.substr(0, digits);
    }
    return file.size() > MachineStore::kSuffix.size() &&
           file.substr(file.size() - MachineStore::kSuffix.size()) == MachineStore::kSuffix;
}
} // namespace

std::optional<StoredMachine> MachineStore::LoadExact(std::string_view name) const {
    return ParseStored(ReadWholeFile(PathFor(name, kSuffix)), name);
}

std::optional<StoredMachine> MachineStore::LoadDeleted(std::string_view name) const {
    return ParseStored(ReadWholeFile(DeletedPathFor(name, kSuffix)), name);
}

KnownImages MachineStore::EveryRecordedImage() const {
    KnownImages every;
    for (const bool deleted : {false, true}) {
        const std::string directory = m_directory + (deleted ? "/deleted" : "");
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
        std::vector<std::string> files;
        for (const dirent* entry = dir ? ::readdir(dir.get()) : nullptr; entry;
             entry = ::readdir(dir.get()))
            if (IsMachineFileName(entry->d_name, deleted))
                files.emplace_back(entry->d_name);
        std::sort(files.begin(), files.end());
        for (const std::string& file : files) {
            KnownImages images;
            const std::optional<std::string> text = ReadWholeFile(directory + "/" + file);
            if (text && ParseMachine(*text, &images))
                every.insert(every.end(), images.begin(), images.end());
        }
    }
    return every;
}

std::optional<EmulatorOptions> MachineStore::Load(std::string_view name) const {
    if (std::optional<StoredMachine> stored = LoadStored(name))
        return stored->options;
    return std::nullopt;
}

std::optional<StoredMachine> MachineStore::LoadStored(std::string_view name) const {
    if (name.empty())
        return std::nullopt;
    if (std::optional<StoredMachine> stored = LoadExact(name))
        return stored;
    // A list slot holds one byte less than a name field: a 260-byte name
    // reaches us cut. Find the one it is the cut of.
    constexpr std::size_t slotText = BREVANTIX_SLOT_SIZE - 1;
    if (name.size() > slotText || name.size() + 3 < slotText)
        return std::nullopt;
    for (const std::string& stored : Names())
        if (stored.size() > name.size() && base::CutUtf8(stored, slotText) == name)
            return LoadExact(stored);
    return std::nullopt;
}

bool MachineStore::Save(const EmulatorOptions& options, const KnownImages& images,
                        std::string* error) const {
    const std::string name = ReadField(options.general.name);
    if (name.empty()) {
        if (error)
            *error = "a machine without a name is not stored";
        return false;
    }
    if (!MakeDirectories(m_directory)) {
        if (error)
            *error = "cannot create the directory " + m_directory;
        return false;
    }
    const std::string path = PathFor(name, kSuffix);
    if (PathExists(path)) {
        const std::optional<std::string> old = ReadWholeFile(path);
        if (!old || !ParseMachine(*old))
            std::rename(path.c_str(), (path + ".unreadable").c_str());
    }
    return WriteFileAtomically(path, SerializeMachine(options, images), error);
}

bool MachineStore::Remove(std::string_view name) const {
    if (name.empty())
        return false;
    const std::string path = PathFor(name, kSuffix);
    if (!Occupied(path) || !MakeDirectories(m_directory + "/deleted"))
        return false;
    std::vector<std::string_view> suffixes = {kSuffix};
    suffixes.insert(suffixes.end(), FilesKeptBeside().begin(), FilesKeptBeside().end());
    for (std::string_view suffix : suffixes)
        if (const std::string deleted = DeletedPathFor(name, suffix);
            Occupied(deleted) && FreeOlderPath(deleted).empty()) {
            LogLine("The machine " + std::string(name) + " was not deleted: " + deleted +
                    " and every " + deleted + ".N up to " + std::to_string(kOlderVersions - 1) +
                    " are kept already. Move older files out of " + m_directory + "/deleted.");
            return false;
        }
    if (!MoveOlderAside(DeletedPathFor(name, kSuffix)) ||
        !MoveFile(path, DeletedPathFor(name, kSuffix)))
        return false;
    for (std::string_view suffix : FilesKeptBeside()) {
        const std::string deleted = DeletedPathFor(name, suffix);
        if (const std::string kept = PathFor(name, suffix);
            MoveOlderAside(deleted) && Occupied(kept))
            MoveFile(kept, deleted);
    }
    return true;
}

bool MachineStore::Restore(std::string_view name) const {
    const std::string path = PathFor(name, kSuffix);
    if (Occupied(path) || !MoveFile(DeletedPathFor(name, kSuffix), path))
        return false;
    for (std::string_view suffix : FilesKeptBeside())
        if (const std::string deleted = DeletedPathFor(name, suffix); Occupied(deleted))
            MoveFile(deleted, PathFor(name, suffix));
    return true;
}

void MachineStore::AdoptFiles(std::string_view from, std::string_view to) const {
    for (std::string_view suffix : FilesKeptBeside())
        if (const std::string source = DeletedPathFor(from, suffix); Occupied(source))
            MoveFile(source, PathFor(to, suffix));
    // Else every edit would leave one more "<file>.N" behind.
    ::unlink(DeletedPathFor(from, kSuffix).c_str());
}

bool MachineStore::ClearLeftovers(std::string_view name) const {
    if (Occupied(PathFor(name, kSuffix)))
        return true;
    bool cleared = true;
    for (std::string_view suffix : FilesKeptBeside())
        if (const std::string kept = PathFor(name, suffix); Occupied(kept))
            cleared = MakeDirectories(m_directory + "/deleted") &&
                      MoveOlderAside(DeletedPathFor(name, suffix)) &&
                      MoveFile(kept, DeletedPathFor(name, suffix)) && cleared;
    return cleared;
}

} // namespace bx
