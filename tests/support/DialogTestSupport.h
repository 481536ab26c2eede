// Reaching and driving the controls of template-built dialogs in GUI tests.
#pragma once

#include <QStringList>
#include <cstdint>
#include <memory>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QWidget;

// A plain widget built from the template; empty when there is none.
std::unique_ptr<QWidget> Build(int32_t templateId);

QAbstractButton* Button(const QWidget* dialog, int32_t id);
QLineEdit* Edit(const QWidget* dialog, int32_t id);
// Fails the running test when the dialog has no such button.
void Click(const QWidget* dialog, int32_t id);
// The same through a real mouse press and release on the button.
void MouseClick(const QWidget* dialog, int32_t id);
// Check boxes and radio buttons take clicks on their indicator and label only.
void ClickIndicator(QWidget* w);

// A combo box's entries in order; none when there is no combo box.
QStringList Items(const QComboBox* combo);
QStringList Items(const QWidget* dialog, int32_t id);
