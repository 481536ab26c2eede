// Shared set-up of the main-window tests: records, scripted machines, the
// language manager, and driving the modal dialogs the window opens.
#pragma once

#include "DialogTestSupport.h"
#include "app/backend/brevantix.h"

#include <QString>
#include <QStringList>
#include <Qt>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAbstractButton;
class QWidget;
class CTarnwickDlg;

namespace VmTest {

// Target, CPU and architecture every scripted machine uses; the back end
// lists them, so the General page keeps them on OK.
inline const char* const kTarget = "versatilepb";
inline const char* const kCpu = "arm926";
inline const char* const kArch = "arm";

EmulatorOptions MakeRecord(const std::string& name, const std::string& arch = kArch,
                           const std::string& target = kTarget, const std::string& cpu = kCpu);

// Loads the test back end and gives the process a language manager on a
// file in a temporary directory. Call once per test program.
bool InitProcess();
// The main window, open, with the back-end calls of its opening forgotten.
std::unique_ptr<CTarnwickDlg> OpenWindow();
// Forgets the back end's script and log and lists the target and CPU above.
void ResetBackend();
// Every name is listed by EnumAllEmulator and readable with a record of its own.
void ScriptMachines(const std::vector<std::string>& names);

// Column texts of every row, "name|arch|target|cpu".
QStringList Rows(const CTarnwickDlg& dlg);
bool ButtonEnabled(const CTarnwickDlg& dlg, int id);
// Edit, delete and start all in the state `enabled`.
bool CommandButtonsEnabled(const CTarnwickDlg& dlg, bool enabled);

void ClickRow(CTarnwickDlg& dlg, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void DoubleClickRow(CTarnwickDlg& dlg, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void ClickBelowRows(CTarnwickDlg& dlg, Qt::MouseButton button = Qt::LeftButton);
void RightClickRow(CTarnwickDlg& dlg, int row);

// The running indicator of a row as shown: "running", "paused" or "" (none);
// "inconsistent" when the kept state and the drawn icon disagree.
QString Indicator(const CTarnwickDlg& dlg, int row);
QStringList Indicators(const CTarnwickDlg& dlg);

// What the next context menu offered: its items in order, an enabled one as
// its text, a disabled one as "(text)".
struct MenuSeen {
    bool appeared = false;
    QStringList items;
};

// What the next report window (a failed start's, or a machine's details)
// showed in its text field, and how it took Enter and Escape.
struct ReportSeen {
    bool appeared = false;
    QString title;
    QString text;
    int lines = 0;
    bool wraps = true;
    bool readOnly = false;
    bool scrollsSideways = false;
    bool hasButtons = true;
    bool closedByEnter = true;
    bool closedByEscape = false;
};

// Reads the next report, tries Enter (must not close it), then Escape.
void ReadNextReport(ReportSeen* seen);

// Arms a handler for the next context menu: records it, then clicks the item
// with the text `choose`, or closes the menu when `choose` is null.
void AnswerNextMenu(MenuSeen* seen, const QString& choose = QString());

// What happened in the next modal dialog.
struct ModalSeen {
    bool appeared = false;
    QString title;
    QString refusal; // text of a message box a page raised on OK
    // Store-changing back-end calls made before the sheet closed.
    std::vector<std::string> changesWhileOpen;
};

// Arms a handler for the sheet (or clone dialog) the next command opens:
// optionally types the machine's name on the General page (or the clone's),
// then presses OK (IDOK) or Cancel (IDCANCEL).
// A page that refuses OK is recorded and the sheet cancelled, so a failure
// never hangs the run.
void AnswerNextSheet(ModalSeen* seen, int buttonId, const QString& newName = QString());

// Runs `action`; any modal or popup menu that opens meanwhile is recorded and
// closed. True when none opened.
bool RunsWithoutModal(const std::function<void()>& action, QString* opened = nullptr);

// Back-end calls that change the store or start a machine.
std::vector<std::string> StoreChangingCalls();

} // namespace VmTest
