// Set-up and control access shared by the General page, TAP dialog and
// other page tests.
#pragma once

#include "DialogTestSupport.h"
#include "TestBackendControl.h"
#include "config/RecordText.h"
#include "dialog/DialogBuilder.h"
#include "dialog/DlgItem.h"
#include "dialog/MessageBox.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <string>
#include <vector>

namespace config_test {

// The language map in a scratch file, so no test writes next to the program,
// and the test back end: what each of these test programs runs on.
class ScratchProgram {
public:
    ScratchProgram() = default;
    ScratchProgram(const ScratchProgram&) = delete;
    ScratchProgram& operator=(const ScratchProgram&) = delete;
    ~ScratchProgram() { Stop(); }

    // False when the scratch directory, the language or the back end is missing.
    bool Start() {
        if (!m_dir.isValid())
            return false;
        CreateLanguageManager("English", ToLocal(m_dir.filePath("English.lng")));
        return g_pLangManager != nullptr && TestBackend::Load();
    }
    void Stop() {
        delete g_pLangManager;
        g_pLangManager = nullptr;
    }

private:
    QTemporaryDir m_dir;
};

template <class T> T* Ctl(QWidget* dialog, int32_t id) {
    return qobject_cast<T*>(GetDlgItem(dialog, id));
}

inline QString Current(QWidget* dialog, int32_t id) {
    auto* combo = Ctl<QComboBox>(dialog, id);
    return combo ? combo->currentText() : QStringLiteral("<no combo>");
}

// Texts in the local encoding the back end lists them in.
inline std::vector<std::string> ToLocalList(const QStringList& texts) {
    std::vector<std::string> local;
    for (const QString& text : texts)
        local.push_back(ToLocal(text));
    return local;
}

} // namespace config_test
