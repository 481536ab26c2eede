// Drives modal dialogs and popup menus from a test: the callback runs inside
// the dialog's or menu's own event loop once it is the active one.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QMenu;
class QWidget;

// Calls `fn` with the next modal widget that becomes active (one that is not
// active now). Fails the running test when none appears within `timeoutMs`.
void OnNextModal(std::function<void(QWidget* modal)> fn, int timeoutMs = 10000);
// Calls `fn` with the next popup menu that becomes active. Fails the running
// test when none appears within `timeoutMs`.
void OnNextPopup(std::function<void(QMenu* menu)> fn, int timeoutMs = 10000);
// The next modal must be a QMessageBox: its text goes into *text (when given)
// and its OK button is pressed.
void AcceptNextMessageBox(QString* text = nullptr, int timeoutMs = 10000);
// True when a modal that is not `except` is active.
bool AnyModalOpen();

// While alive, closes every modal window that becomes active, but for those
// open at its creation and those OnNextModal hands to a test, and keeps what
// the first one said: a test that meets an unexpected dialog fails with its
// text instead of waiting for the timeout.
class UnexpectedModalGuard {
public:
    UnexpectedModalGuard();
    ~UnexpectedModalGuard();
    UnexpectedModalGuard(const UnexpectedModalGuard&) = delete;
    UnexpectedModalGuard& operator=(const UnexpectedModalGuard&) = delete;

    bool Opened() const;
    // The first one closed: a message box's text, else its kind and title
    // and the text of its text box, if it has one.
    QString Text() const;

private:
    struct State;
    std::unique_ptr<State> d;
};
