// The machines on disk: one file per machine in one directory.
#pragma once

#include "Machine.h"
#include "MachineFile.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace bx {

// A stored machine: its record and the images whose format is decided.
struct StoredMachine {
    EmulatorOptions options;
    KnownImages images;
};

// What tells one version of a file from another without reading it.
struct FileVersion {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileVersion& other) const;
};
// The version of the regular file at `path` (not followed through a link).
std::optional<FileVersion> VersionOf(const std::string& path);

// A machine file that was listed (kept by its path): its version as it was
// before it was read, and the machine read from it.
struct ListedFile {
    FileVersion version;
    Machine machine;
};

// A machine file that does not parse, and why.
struct DamagedFile {
    std::string path;
    std::string reason;
};

class MachineStore {
public:
    explicit MachineStore(std::string directory);

    const std::string& Directory() const { return m_directory; }

    // Names of the machines whose files parse, in byte order. A file whose
    // name is not the one its machine's name maps to (a copy, a rename by
    // hand) is left out, so every listed name can be loaded.
    // Machine files that do not parse are left out, and named in `damaged`.
    // With `listed`: what an earlier listing read, by path, is used again
    // for a file still of the version read; on return it holds what this
    // listing read.
    std::vector<std::string> Names(std::vector<DamagedFile>* damaged = nullptr,
                                   std::map<std::string, ListedFile>* listed = nullptr) const;

    // The stored machine. A name cut to fit a list slot finds the machine
    // whose name it is the cut of.
    std::optional<EmulatorOptions> Load(std::string_view name) const;
    std::optional<StoredMachine> LoadStored(std::string_view name) const;
    // The last deleted version of the machine, in "deleted/".
    std::optional<StoredMachine> LoadDeleted(std::string_view name) const;
    // The images recorded in every machine file of the store and of
    // "deleted/" (older versions as well): a format decided for an image
    // holds for every machine that reaches it.
    KnownImages EveryRecordedImage() const;

    // Stores the record under its name; false (and nothing written) for an
    // empty name. A file there that does not parse is kept aside as
    // "<file>.unreadable" rather than overwritten.
    bool Save(const EmulatorOptions& options, const KnownImages& images = {},
              std::string* error = nullptr) const;

    // Moves the machine's file and the files kept beside it into "deleted/",
    // so an edit that never saves again (a crash between delete and save)
    // loses nothing, and a later machine of the same name starts afresh.
    // What "deleted/" holds under the name already moves to "<file>.N";
    // nothing there is overwritten. False, and the file stays, when there is
    // no such machine, or it cannot be moved (no free "<file>.N": logged).
    bool Remove(std::string_view name) const;
    // Brings the last deleted version of `name` back; false when there is
    // none or a machine of that name is stored.
    bool Restore(std::string_view name) const;
    // The files kept beside the deleted machine `from` become those of the
    // stored machine `to` (a rename through delete and save); its deleted
    // file goes, as the saved one carries on its record.
    void AdoptFiles(std::string_view from, std::string_view to) const;
    // Files kept beside `name` with no machine file of that name (left by an
    // older version) go into "deleted/", so a new machine never picks up
    // another machine's disks; false when one of them cannot.
    bool ClearLeftovers(std::string_view name) const;

    // The suffixes of the files kept beside a machine that follow it.
    static const std::vector<std::string_view>& FilesKeptBeside();

    // <directory>/<stem of name><suffix>: the machine's file (".vm") and the
    // files kept beside it (log, pid file, default images).
    std::string PathFor(std::string_view name, std::string_view suffix) const;

    static constexpr std::string_view kSuffix = ".vm";

private:
    std::optional<StoredMachine> LoadExact(std::string_view name) const;
    std::string DeletedPathFor(std::string_view name, std::string_view suffix) const;

    std::string m_directory;
};

} // namespace bx
