#include "lang/Ini.h"

#include "base/AtomicFile.h"
#include "lang/Profile.h"

#include <exception>

CIni::CIni(const std::string& path) : m_path(path) {}

CIni::~CIni() = default;

ProfileDocument& CIni::Document() {
    if (!m_doc) {
        // An unreadable file reads as an empty one.
        std::string bytes;
        if (!m_path.empty() && ReadFileBytes(m_path, bytes) != FileReadStatus::Ok)
            bytes.clear();
        m_doc = std::make_unique<ProfileDocument>(std::move(bytes));
    }
    return *m_doc;
}

void CIni::ListKeys(const std::string& section, std::vector<std::string>& names) {
    Document().ListKeys(section, names);
}

std::string CIni::ReadValue(const std::string& section, const std::string& key) {
    return Document().ReadValue(section, key);
}

void CIni::ReadSection(const std::string& section,
                       std::vector<std::pair<std::string, std::string>>& entries) {
    Document().ReadSection(section, entries);
}

bool CIni::WriteValues(const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& entries) {
    return WriteValues(section, entries, nullptr);
}

bool CIni::WriteValues(const std::string& section,
                       const std::map<std::string, std::string>& entries) {
    return Rewrite(
        [&](ProfileDocument& doc) {
            for (const auto& [key, value] : entries)
                doc.Write(section, key, value);
        },
        nullptr);
}

bool CIni::WriteValues(const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& entries,
                       const base::ReplaceFault* fault) {
    return Rewrite(
        [&](ProfileDocument& doc) {
            for (const auto& [key, value] : entries)
                doc.Write(section, key, value);
        },
        fault);
}

bool CIni::Rewrite(const std::function<void(ProfileDocument&)>& apply,
                   const base::ReplaceFault* fault) {
    if (m_path.empty())
        return false;
    try {
        // Read afresh under the lock: another instance may have written the
        // file meanwhile, and its keys must stay while the later write of
        // each key stands.
        const FileUpdateLock lock(m_path);
        std::string bytes;
        if (ReadFileBytes(m_path, bytes) == FileReadStatus::Failed)
            return false; // never replace what could not be read
        auto doc = std::make_unique<ProfileDocument>(std::move(bytes));
        apply(*doc);
        if (doc->Modified() &&
            !base::ReplaceFileAtomically(m_path, doc->Serialize(), {.fault = fault}))
            return false;
        m_doc = std::move(doc);
        return true;
    } catch (const std::exception&) {
        return false; // out of memory: the old file stays
    }
}
