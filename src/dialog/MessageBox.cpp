#include "dialog/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

void ShowMessage(QWidget* parent, const std::string& text) {
    QString title = QApplication::applicationName();
    if (title.isEmpty())
        title = QStringLiteral("Tarnwick");
    QMessageBox box(QMessageBox::Warning, title, FromLocal(text), QMessageBox::Ok, parent);
    // Names and paths in the text are shown as typed, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
