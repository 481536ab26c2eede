// Shared set-up of the main-window tests: records, scripted machines, the
// language manager, and driving the modal dialogs the window opens.
#pragma once

#include "brevantix.h"

#include <QString>
#include <QStringList>
#include <Qt>
#include <functional>
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
// Forgets the back end's script and log and lists the target and CPU above.
void ResetBackend();
// Every name is listed by EnumAllEmulator and readable with a record of its own.
void ScriptMachines(const std::vector<std::string>& names);

// Column texts of every row, "name|arch|target|cpu".
QStringList Rows(const CTarnwickDlg& dlg);
bool ButtonEnabled(const CTarnwickDlg& dlg, int id);
QAbstractButton* Button(const QWidget* dlg, int id);

void ClickRow(CTarnwickDlg& dlg, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void DoubleClickRow(CTarnwickDlg& dlg, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void ClickBelowRows(CTarnwickDlg& dlg);

// What happened in the next modal dialog.
struct ModalSeen {
    bool appeared = false;
    QString title;
    QString refusal; // text of a message box a page raised on OK
    // Store-changing back-end calls made before the sheet closed.
    std::vector<std::string> changesWhileOpen;
};

// Arms a handler for the sheet the next command opens: optionally renames
// the machine on the General page, then presses OK (id 1) or Cancel (id 2).
// A page that refuses OK is recorded and the sheet cancelled, so a failure
// never hangs the run.
void AnswerNextSheet(ModalSeen* seen, int buttonId, const QString& newName = QString());

// Runs `action`; any modal that opens meanwhile is recorded and closed.
// True when none opened.
bool RunsWithoutModal(const std::function<void()>& action, QString* opened = nullptr);

// Back-end calls that change the store or start a machine.
std::vector<std::string> StoreChangingCalls();

} // namespace VmTest
