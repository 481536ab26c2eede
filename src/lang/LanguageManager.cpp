#include "LanguageManager.h"

#include <exception>
#include <utility>
#include <vector>

CLanguageManger* g_pLangManager = nullptr;

CLanguageIniManger::CLanguageIniManger(const std::string& path, const std::string& language)
    : m_ini(path), m_section(language) {
    try {
        std::vector<std::string> names;
        m_ini.ListKeys(m_section, names);
        for (auto& name : names) {
            // ReadValue gives the first line of a name, so duplicates agree.
            std::string value = m_ini.ReadValue(m_section, name);
            m_texts.insert_or_assign(std::move(name), std::move(value));
        }
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
        std::vector<std::pair<std::string, std::string>> entries(m_texts.begin(), m_texts.end());
        m_ini.WriteValues(m_section, entries);
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
