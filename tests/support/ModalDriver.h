// Drives modal dialogs from a test: the callback runs inside the dialog's own
// event loop once it is the active modal widget.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// Calls `fn` with the next modal widget that becomes active (one that is not
// active now). Fails the running test when none appears within `timeoutMs`.
void OnNextModal(std::function<void(QWidget* modal)> fn, int timeoutMs = 10000);
// The next modal must be a QMessageBox: its text goes into *text (when given)
// and its OK button is pressed.
void AcceptNextMessageBox(QString* text = nullptr, int timeoutMs = 10000);
// True when a modal that is not `except` is active.
bool AnyModalOpen();
