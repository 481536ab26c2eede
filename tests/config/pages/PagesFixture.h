// Shared set-up of the Disk, Peripherals and OS page tests.
#pragma once

#include "DialogBuilder.h"
#include "EmulatorLib.h"
#include "LanguageManager.h"
#include "MessageBox.h"
#include "ModalDriver.h"
#include "RecordText.h"
#include "TestBackendControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
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

namespace pages_test {

// Language map in a scratch file, so no test writes next to the program.
class ScratchLanguage {
public:
    ScratchLanguage() { CreateLanguageManager("English", ToLocal(m_dir.filePath("English.lng"))); }
    ~ScratchLanguage() {
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

inline void Click(QWidget* dialog, int32_t id) {
    auto* button = Ctl<QAbstractButton>(dialog, id);
    QVERIFY2(button, qPrintable(QStringLiteral("button %1 missing").arg(id)));
    button->click();
}

inline EmulatorOptions ZeroRecord() {
    EmulatorOptions rec;
    std::memset(&rec, 0, sizeof rec);
    return rec;
}

template <class T> QByteArray BytesOf(const T& block) {
    return QByteArray(reinterpret_cast<const char*>(&block), sizeof block);
}

inline std::string Repeat(char c, size_t n) {
    return std::string(n, c);
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

// Closes any modal that appears while alive, so a test fails instead of hanging.
class UnexpectedModalGuard {
public:
    UnexpectedModalGuard() {
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                m_opened = true;
                modal->close();
            }
        });
        m_timer.start();
    }
    bool Opened() const { return m_opened; }

private:
    QTimer m_timer;
    bool m_opened = false;
};

} // namespace pages_test
