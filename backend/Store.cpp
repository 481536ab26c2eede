#include "Store.h"

#include "Files.h"
#include "NameCodec.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <memory>

namespace bx {

MachineStore::MachineStore(std::string directory) : m_directory(std::move(directory)) {}

std::string MachineStore::PathFor(std::string_view name, std::string_view suffix) const {
    return m_directory + "/" + FileStemForName(name) + std::string(suffix);
}

std::vector<std::string> MachineStore::Names() const {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(m_directory.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view file = entry->d_name;
        if (file.empty() || file.front() == '.' || file.size() <= kSuffix.size() ||
            file.substr(file.size() - kSuffix.size()) != kSuffix)
            continue;
        const std::optional<std::string> text =
            ReadWholeFile(m_directory + "/" + std::string(file));
        if (!text)
            continue;
        const std::optional<EmulatorOptions> record = ParseMachine(*text);
        if (!record)
            continue;
        std::string name = ReadField(record->general.name);
        if (FileStemForName(name) + std::string(kSuffix) == file)
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<EmulatorOptions> MachineStore::LoadExact(std::string_view name) const {
    const std::optional<std::string> text = ReadWholeFile(PathFor(name, kSuffix));
    if (!text)
        return std::nullopt;
    std::optional<EmulatorOptions> record = ParseMachine(*text);
    if (!record || ReadField(record->general.name) != name)
        return std::nullopt;
    return record;
}

std::optional<EmulatorOptions> MachineStore::Load(std::string_view name) const {
    if (name.empty())
        return std::nullopt;
    if (std::optional<EmulatorOptions> record = LoadExact(name))
        return record;
    // A list slot holds one byte less than a name field: a 260-byte name
    // reaches us cut. Find the one it is the cut of.
    constexpr std::size_t slotText = BREVANTIX_SLOT_SIZE - 1;
    if (name.size() > slotText || name.size() + 3 < slotText)
        return std::nullopt;
    for (const std::string& stored : Names())
        if (stored.size() > name.size() && CutText(stored, slotText) == name)
            return LoadExact(stored);
    return std::nullopt;
}

bool MachineStore::Save(const EmulatorOptions& options, std::string* error) const {
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
    return WriteFileAtomically(path, SerializeMachine(options), error);
}

void MachineStore::Remove(std::string_view name) const {
    if (name.empty())
        return;
    const std::string path = PathFor(name, kSuffix);
    if (!PathExists(path))
        return;
    const std::string trash = m_directory + "/deleted";
    if (MakeDirectories(trash) &&
        std::rename(path.c_str(),
                    (trash + "/" + FileStemForName(name) + std::string(kSuffix)).c_str()) == 0)
        return;
    std::remove(path.c_str());
}

} // namespace bx
