#include "dialog/KeyFilter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

CEnterEscapeFilter::CEnterEscapeFilter(QWidget* window) : QObject(window), m_window(window) {
    qApp->installEventFilter(this);
}

CEnterEscapeFilter::~CEnterEscapeFilter() {
    if (qApp)
        qApp->removeEventFilter(this);
}

bool CEnterEscapeFilter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape)
        return false;
    auto* target = qobject_cast<QWidget*>(watched);
    // isAncestorOf stops at window boundaries: message boxes keep their keys.
    if (!target || !m_window || (target != m_window && !m_window->isAncestorOf(target)))
        return false;
    // Claiming the override keeps shortcuts from taking the key; the press
    // that follows is then dropped.
    event->accept();
    return true;
}
