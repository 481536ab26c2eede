// INI reading and writing on the private-profile rules of this platform:
// a file is read once and replaced once, atomically.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class ProfileDocument; // parsed file; defined in Profile.h
namespace base {
struct ReplaceFault; // test seam; defined in base/AtomicFile.h
}

class CIni {
public:
    CIni() = default;
    explicit CIni(const std::string& path);
    virtual ~CIni();
    CIni(const CIni&) = delete;
    CIni& operator=(const CIni&) = delete;

    const std::string& Path() const { return m_path; }

    // Names of the section's entries in file order, duplicates included.
    void ListKeys(const std::string& section, std::vector<std::string>& names);
    // The first matching entry's value; empty when section or key is missing.
    std::string ReadValue(const std::string& section, const std::string& key);
    // Every entry of the section in file order, each with the value ReadValue
    // gives for its name; one pass instead of ListKeys and a ReadValue each.
    void ReadSection(const std::string& section,
                     std::vector<std::pair<std::string, std::string>>& entries);
    // Applies the writes in order, as single profile writes would, with one
    // read of the file and one atomic replacement. Failure is silent; the old
    // file then stays whole. Values holding a line break are not written.
    bool WriteValues(const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& entries);
    bool WriteValues(const std::string& section, const std::map<std::string, std::string>& entries);
    // TEST SEAM: as above, with the replacement failing as `fault` says.
    bool WriteValues(const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& entries,
                     const base::ReplaceFault* fault);

private:
    ProfileDocument& Document();
    // One read, `apply`, and one replacement when it changed the text.
    bool Rewrite(const std::function<void(ProfileDocument&)>& apply,
                 const base::ReplaceFault* fault);

    std::string m_path;
    std::unique_ptr<ProfileDocument> m_doc; // read on first use
};
