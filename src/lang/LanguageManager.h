// Language texts: the abstract provider, its INI implementation and the one
// lookup every visible text goes through.
#pragma once

#include "lang/Ini.h"

#include <cstdint>
#include <map>
#include <string>

class CLanguageManger {
public:
    virtual ~CLanguageManger() = default;
    // Nonzero when the key is present; then `text` receives it, else it is untouched.
    virtual int GetText(const std::string& key, std::string& text) = 0;
    virtual int GetTextById(int32_t id, std::string& text) = 0;
    // Inserts or replaces; always 1.
    virtual int SetText(const std::string& key, const std::string& text) = 0;
    virtual int SetTextById(int32_t id, const std::string& text) = 0;
};

class CLanguageIniManger : public CLanguageManger {
public:
    // Loads the section `language` of the file at `path` at once.
    CLanguageIniManger(const std::string& path, const std::string& language);
    // Writes the whole map back into the file, in ascending key order.
    ~CLanguageIniManger() override;

    int GetText(const std::string& key, std::string& text) override;
    int GetTextById(int32_t id, std::string& text) override;
    int SetText(const std::string& key, const std::string& text) override;
    int SetTextById(int32_t id, const std::string& text) override;

    const std::map<std::string, std::string>& Texts() const { return m_texts; }

private:
    CIni m_ini;
    std::string m_section;
    std::map<std::string, std::string> m_texts;
    int32_t m_writeBack = 1;
};

extern CLanguageManger* g_pLangManager;

// Creates the one manager for `path`, section `language`, into g_pLangManager.
void CreateLanguageManager(const std::string& language, const std::string& path);

// The file's text for `key` when it has one, else `defaultText`; records the
// key in the map either way. Fills and returns `result`.
std::string& GetLangText(const std::string& key, const std::string& defaultText,
                         std::string& result);
