// Shared set-up of the General page and TAP dialog tests.
#pragma once

#include "DialogBuilder.h"
#include "EmulatorLib.h"
#include "LanguageManager.h"
#include "MessageBox.h"
#include "RecordText.h"
#include "TestBackendControl.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace general_test {

// Language map in a scratch file, so no test writes next to the program.
inline void CreateScratchLanguage(QTemporaryDir& dir) {
    const std::string path = ToLocal(dir.filePath("English.lng"));
    CreateLanguageManager("English", path);
}

inline void DestroyLanguage() {
    delete g_pLangManager;
    g_pLangManager = nullptr;
}

template <class T> T* Ctl(QWidget* dialog, int32_t id) {
    return qobject_cast<T*>(GetDlgItem(dialog, id));
}

inline QStringList Items(QWidget* dialog, int32_t id) {
    QStringList items;
    if (auto* combo = Ctl<QComboBox>(dialog, id)) {
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
    }
    return items;
}

inline QString Current(QWidget* dialog, int32_t id) {
    auto* combo = Ctl<QComboBox>(dialog, id);
    return combo ? combo->currentText() : QStringLiteral("<no combo>");
}

inline void Click(QWidget* dialog, int32_t id) {
    auto* button = Ctl<QAbstractButton>(dialog, id);
    QVERIFY2(button, "button missing");
    button->click();
}

inline QStringList ArgsOf(const std::string& function, size_t arg) {
    QStringList out;
    for (const BackendCall& call : TestBackend::CallsOf(function))
        out << (arg < call.args.size() ? FromLocal(call.args[arg]) : QStringLiteral("<none>"));
    return out;
}

inline int CountOf(const std::string& function) {
    return static_cast<int>(TestBackend::CallsOf(function).size());
}

} // namespace general_test
