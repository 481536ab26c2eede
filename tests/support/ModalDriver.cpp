#include "ModalDriver.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kPollMs = 10;

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

} // namespace

void OnNextModal(std::function<void(QWidget* modal)> fn, int timeoutMs) {
    const QSet<QWidget*> before = VisibleModals();
    const QByteArray testFunction = QTest::currentTestFunction();
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(kPollMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && !before.contains(modal)) {
            timer->stop();
            timer->deleteLater();
            fn(modal);
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            Fail(testFunction, "no modal window appeared in time");
        }
    });
    timer->start();
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
