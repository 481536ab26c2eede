// One page under test on a scratch record, the program it runs in, and
// access to template-built controls.
#pragma once

#include "DialogTestSupport.h"
#include "ModalDriver.h"
#include "TestBackendControl.h"
#include "TestRecords.h"
#include "TestRow.h"
#include "app/backend/EmulatorLib.h"
#include "config/RecordText.h"
#include "dialog/DialogBuilder.h"
#include "dialog/DlgItem.h"
#include "dialog/MessageBox.h"
#include "dialog/TemplateDialog.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
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

// Files beneath the program directory (that of the test binary), removed
// afterwards; Rel() gives the program-relative form the pages store.
class ProgramDirFiles {
public:
    ProgramDirFiles()
        : m_dir(QCoreApplication::applicationDirPath() + QStringLiteral("/pages-XXXXXX")) {}
    bool IsValid() const { return m_dir.isValid(); }
    QString Rel(const QString& name) const {
        return QDir(QCoreApplication::applicationDirPath()).relativeFilePath(m_dir.filePath(name));
    }
    QString Abs(const QString& name) const { return m_dir.filePath(name); }
    // Creates the file and the directories on its way; false on failure.
    bool Touch(const QString& name) const {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        return f.open(QIODevice::WriteOnly);
    }

private:
    QTemporaryDir m_dir;
};

// One page on a scratch record (on its block when `Block` names one),
// created and shown on its own; a test class derives from it beside QObject.
template <class Page, auto Block = nullptr> class PageHarness {
protected:
    ScratchProgram m_program;
    EmulatorOptions m_rec{};
    std::unique_ptr<Page> m_page;

    Page* Open(const EmulatorOptions& rec) {
        m_page.reset();
        m_rec = rec;
        if constexpr (std::is_null_pointer_v<decltype(Block)>)
            m_page = std::make_unique<Page>(&m_rec);
        else
            m_page = std::make_unique<Page>(&(m_rec.*Block));
        m_page->Create();
        m_page->resize(m_page->sizeHint());
        m_page->show();
        return m_page.get();
    }
    // The page's controls go before the language they were translated with.
    void Stop() {
        m_page.reset();
        m_program.Stop();
    }
};

template <class T> T* Ctl(QWidget* dialog, int32_t id) {
    return qobject_cast<T*>(GetDlgItem(dialog, id));
}

inline QString Current(QWidget* dialog, int32_t id) {
    auto* combo = Ctl<QComboBox>(dialog, id);
    return combo ? combo->currentText() : QStringLiteral("<no combo>");
}

inline bool IsEnabled(QWidget* dialog, int32_t id) {
    QWidget* w = GetDlgItem(dialog, id);
    return w && w->isEnabled();
}

// Sets the text of an edit box, single- or multi-line.
inline void SetText(QWidget* dialog, int32_t id, const QString& text) {
    QWidget* w = GetDlgItem(dialog, id);
    if (auto* line = qobject_cast<QLineEdit*>(w))
        line->setText(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        plain->setPlainText(text);
    else
        QFAIL(qPrintable(QStringLiteral("no edit box %1").arg(id)));
}

inline QString Text(QWidget* dialog, int32_t id) {
    QWidget* w = GetDlgItem(dialog, id);
    if (auto* line = qobject_cast<QLineEdit*>(w))
        return line->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        return plain->toPlainText();
    return QStringLiteral("<no edit %1>").arg(id);
}

// Texts in the local encoding the back end lists them in.
inline std::vector<std::string> ToLocalList(const QStringList& texts) {
    std::vector<std::string> local;
    for (const QString& text : texts)
        local.push_back(ToLocal(text));
    return local;
}

// Argument `arg` of each logged call of `function`.
inline QStringList ArgsOf(const std::string& function, size_t arg) {
    QStringList out;
    for (const BackendCall& call : TestBackend::CallsOf(function))
        out << (arg < call.args.size() ? FromLocal(call.args[arg]) : QStringLiteral("<none>"));
    return out;
}

inline int CountOf(const std::string& function) {
    return static_cast<int>(TestBackend::CallsOf(function).size());
}

// Answers the next file dialog with `path`; `acceptMode` receives its kind.
inline void ChooseInNextFileDialog(const QString& path, QFileDialog::AcceptMode* acceptMode) {
    OnNextModal([=](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        *acceptMode = dialog->acceptMode();
        // selectFile() leaves the name box alone while it has the focus, and
        // the dialog's model reads directories in the background: type the
        // path as a user would, and retry until accept() takes it.
        auto* retry = new QTimer(dialog);
        retry->setInterval(20);
        auto tries = std::make_shared<int>(0);
        const auto attempt = [=] {
            if (QWidget* other = QApplication::activeModalWidget(); other && other != dialog)
                other->close();
            if (!dialog->isVisible())
                return;
            dialog->selectFile(path);
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept checks the choice
            if (dialog->isVisible() && ++*tries > 250)
                dialog->reject();
        };
        QObject::connect(retry, &QTimer::timeout, dialog, attempt);
        retry->start();
        attempt();
    });
}

} // namespace config_test
