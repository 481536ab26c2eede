// Shared pieces of the sheet and page-service tests.
#pragma once

#include "DialogBuilder.h"
#include "LanguageManager.h"

#include <QAbstractButton>
#include <map>
#include <string>

namespace sheet_test {

// A language map that lives in memory only, installed as the process's
// manager for the lifetime of the object.
class CMapLanguage : public CLanguageManger {
public:
    explicit CMapLanguage(std::map<std::string, std::string> texts = {})
        : m_texts(std::move(texts)), m_previous(g_pLangManager) {
        g_pLangManager = this;
    }
    ~CMapLanguage() override { g_pLangManager = m_previous; }

    int GetText(const std::string& key, std::string& text) override {
        const auto it = m_texts.find(key);
        if (it == m_texts.end())
            return 0;
        text = it->second;
        return 1;
    }
    int GetTextById(int32_t id, std::string& text) override {
        return GetText(std::to_string(id), text);
    }
    int SetText(const std::string& key, const std::string& text) override {
        m_texts[key] = text;
        return 1;
    }
    int SetTextById(int32_t id, const std::string& text) override {
        return SetText(std::to_string(id), text);
    }

    bool Has(const std::string& key) const { return m_texts.count(key) != 0; }
    std::string Text(const std::string& key) const {
        const auto it = m_texts.find(key);
        return it == m_texts.end() ? std::string("<absent>") : it->second;
    }

private:
    std::map<std::string, std::string> m_texts;
    CLanguageManger* m_previous;
};

inline QAbstractButton* Button(QWidget* dialog, int32_t id) {
    return qobject_cast<QAbstractButton*>(GetDlgItem(dialog, id));
}

} // namespace sheet_test
