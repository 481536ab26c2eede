#include "VmTestUtil.h"

#include "DialogTestSupport.h"
#include "ListTestUtil.h"
#include "ModalDriver.h"
#include "TestBackendControl.h"
#include "config/RecordText.h"
#include "dialog/DialogBuilder.h"
#include "dialog/DlgItem.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"
#include "vmlist/TarnwickDlg.h"
#include "vmlist/VmListCtrl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstring>

namespace VmTest {

EmulatorOptions MakeRecord(const std::string& name, const std::string& arch,
                           const std::string& target, const std::string& cpu) {
    EmulatorOptions r;
    std::memset(&r, 0, sizeof r);
    SetField(r.general.name, name);
    SetField(r.general.arch, arch);
    SetField(r.general.target, target);
    SetField(r.general.cpu, cpu);
    // Marks the blocks no page touches unless it is opened, so a test sees
    // whether the fetched record is the one stored.
    SetField(r.os.osImage, "zImage-" + name);
    r.disk.sdSize = 64;
    return r;
}

bool InitProcess() {
    static QTemporaryDir dir;
    if (!dir.isValid() || !TestBackend::Load())
        return false;
    const std::string path = dir.filePath(QStringLiteral("English.lng")).toStdString();
    CreateLanguageManager("English", path);
    return g_pLangManager != nullptr;
}

void ResetBackend() {
    TestBackend::Reset();
    TestBackend::SetList("GetEmulatorTarget", {kTarget});
    TestBackend::SetList("GetEmulatorCPU", {kCpu});
    TestBackend::SetArch(kTarget, kArch);
}

void ScriptMachines(const std::vector<std::string>& names) {
    TestBackend::SetList("EnumAllEmulator", names);
    for (const std::string& name : names)
        TestBackend::SetRecord(name, MakeRecord(name));
}

QStringList Rows(const CTarnwickDlg& dlg) {
    return ListTest::Rows(dlg.ListCtrl());
}

std::unique_ptr<CTarnwickDlg> OpenWindow() {
    auto dlg = std::make_unique<CTarnwickDlg>();
    dlg->Open();
    TestBackend::ClearLog();
    return dlg;
}

bool ButtonEnabled(const CTarnwickDlg& dlg, int id) {
    const QAbstractButton* b = Button(&dlg, id);
    return b && b->isEnabled();
}

bool CommandButtonsEnabled(const CTarnwickDlg& dlg, bool enabled) {
    return ButtonEnabled(dlg, res::Main::Edit::id) == enabled &&
           ButtonEnabled(dlg, res::Main::Delete::id) == enabled &&
           ButtonEnabled(dlg, res::Main::Start::id) == enabled;
}

using ListTest::RowCentre;

void ClickRow(CTarnwickDlg& dlg, int row, Qt::KeyboardModifiers modifiers) {
    ListTest::ClickRow(dlg.ListCtrl(), row, modifiers);
}

void DoubleClickRow(CTarnwickDlg& dlg, int row, Qt::KeyboardModifiers modifiers) {
    QTest::mouseDClick(dlg.ListCtrl()->viewport(), Qt::LeftButton, modifiers,
                       RowCentre(dlg.ListCtrl(), row));
}

// A right click goes through the window, as the window system's would: only
// that way does it become a context menu request.
static void ClickInList(CTarnwickDlg& dlg, Qt::MouseButton button, QPoint at) {
    QWidget* viewport = dlg.ListCtrl()->viewport();
    if (button == Qt::RightButton && dlg.windowHandle())
        QTest::mouseClick(dlg.windowHandle(), button, Qt::NoModifier, viewport->mapTo(&dlg, at));
    else
        QTest::mouseClick(viewport, button, Qt::NoModifier, at);
}

void ClickBelowRows(CTarnwickDlg& dlg, Qt::MouseButton button) {
    CVmListCtrl* list = dlg.ListCtrl();
    const int last = list->GetItemCount() - 1;
    const int y = last < 0 ? 5 : list->visualRect(list->model()->index(last, 0)).bottom() + 10;
    ClickInList(dlg, button, QPoint(10, y));
}

void RightClickRow(CTarnwickDlg& dlg, int row) {
    ClickInList(dlg, Qt::RightButton, RowCentre(dlg.ListCtrl(), row));
}

QString Indicator(const CTarnwickDlg& dlg, int row) {
    const CVmListCtrl* list = dlg.ListCtrl();
    const VmRunState state = list->RunIndicator(row);
    const bool drawn =
        !list->model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull();
    const QString shown = state == VmRunState::Running  ? QStringLiteral("running")
                          : state == VmRunState::Paused ? QStringLiteral("paused")
                                                        : QString();
    return drawn == !shown.isEmpty() ? shown : QStringLiteral("inconsistent");
}

QStringList Indicators(const CTarnwickDlg& dlg) {
    QStringList all;
    for (int r = 0; r < dlg.ListCtrl()->GetItemCount(); ++r)
        all << Indicator(dlg, r);
    return all;
}

void ReadNextReport(ReportSeen* seen) {
    OnNextModal([seen](QWidget* modal) {
        seen->appeared = true;
        seen->title = modal->windowTitle();
        seen->hasButtons = !modal->findChildren<QAbstractButton*>().isEmpty();
        auto* field = GetDlgItem<res::StartError::Text>(modal);
        if (field) {
            seen->text = field->toPlainText();
            seen->lines = field->document()->blockCount();
            seen->wraps = field->lineWrapMode() != QPlainTextEdit::NoWrap;
            seen->readOnly = field->isReadOnly();
            seen->scrollsSideways = field->horizontalScrollBar()->maximum() > 0;
            field->setFocus();
            QTest::keyClick(field, Qt::Key_Return);
        }
        seen->closedByEnter = !modal->isVisible();
        if (modal->isVisible()) {
            QTest::keyClick(field ? static_cast<QWidget*>(field) : modal, Qt::Key_Escape);
            seen->closedByEscape = !modal->isVisible();
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible())
            dialog->reject();
    });
}

void AnswerNextMenu(MenuSeen* seen, const QString& choose) {
    OnNextPopup([seen, choose](QMenu* menu) {
        seen->appeared = true;
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            if (!action->isVisible() || action->isSeparator())
                continue;
            seen->items << (action->isEnabled() ? action->text()
                                                : QStringLiteral("(%1)").arg(action->text()));
            if (action->text() == choose)
                chosen = action;
        }
        if (chosen) {
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                              menu->actionGeometry(chosen).center());
        }
        if (menu->isVisible())
            menu->close();
    });
}

void AnswerNextSheet(ModalSeen* seen, int buttonId, const QString& newName) {
    OnNextModal([seen, buttonId, newName](QWidget* modal) {
        seen->appeared = true;
        seen->title = modal->windowTitle();
        seen->changesWhileOpen = StoreChangingCalls();
        if (!newName.isNull()) {
            for (QLineEdit* edit : modal->findChildren<QLineEdit*>()) {
                const int32_t id = GetDlgCtrlID(edit);
                if (id == res::General::Name::id || id == res::CloneVm::Name::id)
                    edit->setText(newName);
            }
        }
        QPointer<QWidget> guarded(modal);
        const UnexpectedModalGuard guard;
        if (QAbstractButton* b = Button(modal, buttonId))
            b->click();
        if (guard.Opened())
            seen->refusal = guard.Text();
        if (guarded && guarded->isVisible()) {
            if (auto* dialog = qobject_cast<QDialog*>(guarded.data()))
                dialog->reject();
        }
    });
}

bool RunsWithoutModal(const std::function<void()>& action, QString* opened) {
    QWidget* before = QApplication::activeModalWidget();
    bool none = true;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            none = false;
            if (opened)
                *opened = QStringLiteral("popup menu");
            popup->close();
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == before)
            return;
        none = false;
        if (opened)
            *opened = modal->windowTitle();
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    watch.start(50);
    action();
    // A modal opened by a queued event would show up only now.
    QTest::qWait(100);
    return none;
}

std::vector<std::string> StoreChangingCalls() {
    static const char* const kChanging[] = {"SaveEmulatorOptions", "DelEmulatorOptions",
                                            "StartEmulator", "InstallTapNetWork",
                                            "ReNameTapNetWork"};
    std::vector<std::string> found;
    for (const std::string& name : TestBackend::CallNames()) {
        for (const char* c : kChanging) {
            if (name == c)
                found.push_back(name);
        }
    }
    return found;
}

} // namespace VmTest
