#include "DialogTestSupport.h"

#include "dialog/DialogBuilder.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

std::unique_ptr<QWidget> Build(int32_t templateId) {
    auto w = std::make_unique<QWidget>();
    if (const DialogTemplate* t = FindDialogTemplate(templateId))
        BuildDialog(w.get(), *t);
    return w;
}

QAbstractButton* Button(const QWidget* dialog, int32_t id) {
    return qobject_cast<QAbstractButton*>(GetDlgItem(dialog, id));
}

QLineEdit* Edit(const QWidget* dialog, int32_t id) {
    return qobject_cast<QLineEdit*>(GetDlgItem(dialog, id));
}

void Click(const QWidget* dialog, int32_t id) {
    QAbstractButton* button = Button(dialog, id);
    QVERIFY2(button, qPrintable(QStringLiteral("button %1 missing").arg(id)));
    button->click();
}

void MouseClick(const QWidget* dialog, int32_t id) {
    QAbstractButton* button = Button(dialog, id);
    QVERIFY2(button, qPrintable(QStringLiteral("button %1 missing").arg(id)));
    QTest::mouseClick(button, Qt::LeftButton);
}

void ClickIndicator(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(4, w->height() / 2));
}

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; combo && i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

QStringList Items(const QWidget* dialog, int32_t id) {
    return Items(qobject_cast<const QComboBox*>(GetDlgItem(dialog, id)));
}
