#include "ModalDriver.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kPollMs = 10;
// Marks a modal OnNextModal has handed to a test, so guards leave it alone.
constexpr char kHandedOver[] = "tarnwickTestHandedOver";

QSet<QWidget*> VisibleModals() {
    QSet<QWidget*> modals;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isModal())
            modals.insert(w);
    return modals;
}

void Fail(const QByteArray& testFunction, const char* what) {
    const char* current = QTest::currentTestFunction();
    // A test that has finished can no longer fail; say so rather than fail
    // whatever test runs now.
    if (current && testFunction == current)
        QTest::qFail(what, __FILE__, __LINE__);
    else
        qCritical("%s (expected by %s)", what, testFunction.constData());
}

void Close(QWidget* w) {
    if (auto* dialog = qobject_cast<QDialog*>(w))
        dialog->done(QDialog::Rejected);
    else
        w->close();
}

QString Describe(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        return box->text();
    QString text =
        QStringLiteral("%1 \"%2\"")
            .arg(QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle());
    // A report such as the start error says what went wrong in its text box.
    if (auto* report = modal->findChild<QPlainTextEdit*>())
        text += QStringLiteral(": ") + report->toPlainText();
    return text;
}

QByteArray CurrentTest() {
    return QByteArray(QTest::currentTestFunction()) + ' ' + QTest::currentDataTag();
}

// Polls until `take` finds its window and has handed it over (true), or
// fails the running test with `failure` after `timeoutMs`. A test that ends
// first takes its handler along: `take` may point into the test's frame.
void PollFor(std::function<bool()> take, int timeoutMs, const char* failure) {
    const QByteArray testFunction = QTest::currentTestFunction();
    const QByteArray test = CurrentTest();
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(kPollMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (CurrentTest() != test) {
            timer->stop();
            timer->deleteLater();
            qWarning("%s (expected by %s)", failure, test.constData());
            return;
        }
        const bool timedOut = clock->elapsed() > timeoutMs;
        if (!timedOut && !take())
            return;
        timer->stop();
        timer->deleteLater();
        if (timedOut)
            Fail(testFunction, failure);
    });
    timer->start();
}

} // namespace

void OnNextModal(std::function<void(QWidget* modal)> fn, int timeoutMs) {
    const QSet<QWidget*> before = VisibleModals();
    PollFor(
        [=] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() || before.contains(modal))
                return false;
            modal->setProperty(kHandedOver, true);
            fn(modal);
            return true;
        },
        timeoutMs, "no modal window appeared in time");
}

void OnNextPopup(std::function<void(QMenu* menu)> fn, int timeoutMs) {
    const QPointer<QWidget> before = QApplication::activePopupWidget();
    PollFor(
        [=] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || !menu->isVisible() || menu == before)
                return false;
            fn(menu);
            return true;
        },
        timeoutMs, "no popup menu appeared in time");
}

void AcceptNextMessageBox(QString* text, int timeoutMs) {
    const QByteArray testFunction = QTest::currentTestFunction();
    OnNextModal(
        [text, testFunction](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                Fail(testFunction, "the modal window that appeared is not a message box");
                Close(modal);
                return;
            }
            if (text)
                *text = box->text();
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            if (!ok && !box->buttons().isEmpty())
                ok = box->buttons().first();
            if (ok)
                ok->click();
            else
                box->accept();
        },
        timeoutMs);
}

bool AnyModalOpen() {
    return QApplication::activeModalWidget() != nullptr;
}

struct UnexpectedModalGuard::State {
    QTimer timer;
    QSet<QWidget*> before = VisibleModals();
    // Seen on the last poll: OnNextModal polls more often, so a modal it is
    // about to take is never closed under it.
    QPointer<QWidget> seen;
    bool opened = false;
    QString text;
};

UnexpectedModalGuard::UnexpectedModalGuard() : d(std::make_unique<State>()) {
    d->timer.setInterval(50);
    QObject::connect(&d->timer, &QTimer::timeout, [s = d.get()] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || s->before.contains(modal) || modal->property(kHandedOver).toBool()) {
            s->seen = nullptr;
            return;
        }
        if (s->seen != modal) {
            s->seen = modal;
            return;
        }
        s->seen = nullptr;
        if (!s->opened) {
            s->opened = true;
            s->text = Describe(modal);
        }
        // As Escape would, so the code that raised it takes its usual way out.
        const QPointer<QWidget> alive(modal);
        modal->close();
        if (alive && alive->isVisible())
            Close(alive);
    });
    d->timer.start();
}

UnexpectedModalGuard::~UnexpectedModalGuard() = default;

bool UnexpectedModalGuard::Opened() const {
    return d->opened;
}

QString UnexpectedModalGuard::Text() const {
    return d->text;
}
