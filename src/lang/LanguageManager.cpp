#include "lang/LanguageManager.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

CLanguageManger* g_pLangManager = nullptr;

namespace {

using Entry = std::pair<std::string, std::string>;

// Sorts by key in N log(runs): a file this program wrote is in key order, or
// a few ordered runs (one per run that added keys), and then costs linear time.
void SortByKey(std::vector<Entry>& entries) {
    const auto less = [](const Entry& a, const Entry& b) { return a.first < b.first; };
    std::vector<std::size_t> bounds{0};
    for (std::size_t i = 1; i < entries.size(); ++i)
        if (less(entries[i], entries[i - 1]))
            bounds.push_back(i);
    bounds.push_back(entries.size());
    while (bounds.size() > 2) {
        std::vector<std::size_t> merged{0};
        for (std::size_t r = 0; r + 2 < bounds.size(); r += 2) {
            const auto begin = entries.begin();
            std::inplace_merge(begin + bounds[r], begin + bounds[r + 1], begin + bounds[r + 2],
                               less);
            merged.push_back(bounds[r + 2]);
        }
        if (merged.back() != entries.size())
            merged.push_back(entries.size());
        bounds.swap(merged);
    }
}

} // namespace

CLanguageIniManger::CLanguageIniManger(const std::string& path, const std::string& language)
    : m_ini(path), m_section(language) {
    try {
        // The names and values that listing the section and reading each
        // name give (so duplicates all hold the first line's value), in key
        // order: the map is then filled in linear time.
        std::vector<Entry> entries;
        m_ini.ReadSection(m_section, entries);
        SortByKey(entries);
        for (auto& [name, value] : entries)
            m_texts.emplace_hint(m_texts.end(), std::move(name), std::move(value));
    } catch (const std::exception&) {
        // A file too large for memory: run on the built-in texts, and leave
        // the file alone rather than replace it with those.
        m_texts.clear();
        m_writeBack = 0;
    }
}

CLanguageIniManger::~CLanguageIniManger() {
    if (!m_writeBack)
        return;
    try {
        m_ini.WriteValues(m_section, m_texts);
    } catch (const std::exception&) {
        // Shutdown goes on; the file stays as it was.
    }
}

int CLanguageIniManger::GetText(const std::string& key, std::string& text) {
    const auto it = m_texts.find(key);
    if (it == m_texts.end())
        return 0;
    text = it->second;
    return 1;
}

int CLanguageIniManger::GetTextById(int32_t id, std::string& text) {
    return GetText(std::to_string(id), text);
}

int CLanguageIniManger::SetText(const std::string& key, const std::string& text) {
    m_texts.insert_or_assign(key, text);
    return 1;
}

int CLanguageIniManger::SetTextById(int32_t id, const std::string& text) {
    return SetText(std::to_string(id), text);
}

void CreateLanguageManager(const std::string& language, const std::string& path) {
    delete g_pLangManager; // never twice in the program; a repeat must not leak
    g_pLangManager = nullptr;
    g_pLangManager = new CLanguageIniManger(path, language);
}

std::string& GetLangText(const std::string& key, const std::string& defaultText,
                         std::string& result) {
    if (&key == &result) {
        const std::string ownKey = key; // result is about to be overwritten
        return GetLangText(ownKey, defaultText, result);
    }
    result = defaultText;
    if (g_pLangManager) {
        g_pLangManager->GetText(key, result);
        g_pLangManager->SetText(key, result);
    }
    return result;
}
