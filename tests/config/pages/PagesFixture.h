// Shared set-up of the Disk, Peripherals and OS page tests.
#pragma once

#include "../ConfigFixture.h"
#include "ModalDriver.h"
#include "TestRecords.h"
#include "app/backend/EmulatorLib.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstring>
#include <memory>

namespace pages_test {

using namespace config_test;

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

inline std::string Repeat(char c, size_t n) {
    return std::string(n, c);
}

// One page on its block of a scratch record, created and shown on its own;
// a test class derives from it beside QObject.
template <class Page, auto Block> class PageHarness {
protected:
    ScratchProgram m_program;
    EmulatorOptions m_rec{};
    std::unique_ptr<Page> m_page;

    Page* Open(const EmulatorOptions& rec) {
        m_page.reset();
        m_rec = rec;
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

} // namespace pages_test
