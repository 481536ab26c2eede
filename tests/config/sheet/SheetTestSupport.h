// Shared pieces of the sheet and page-service tests.
#pragma once

#include "DialogTestSupport.h"
#include "MapLangManager.h"
#include "TestRow.h"
#include "dialog/DialogBuilder.h"
#include "lang/LanguageManager.h"

#include <QAbstractButton>
#include <map>
#include <string>

namespace sheet_test {

// The in-memory language map, installed as the process's manager for the
// lifetime of the object.
class CMapLanguage : public CMapLangManager {
public:
    explicit CMapLanguage(std::map<std::string, std::string> initial = {})
        : m_previous(g_pLangManager) {
        texts = std::move(initial);
        g_pLangManager = this;
    }
    ~CMapLanguage() override { g_pLangManager = m_previous; }

    bool Has(const std::string& key) const { return texts.count(key) != 0; }
    std::string Text(const std::string& key) const {
        const auto it = texts.find(key);
        return it == texts.end() ? std::string("<absent>") : it->second;
    }

private:
    CLanguageManger* m_previous;
};

} // namespace sheet_test
