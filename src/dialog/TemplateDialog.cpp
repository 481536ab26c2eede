#include "dialog/TemplateDialog.h"

#include "dialog/TemplateWindow.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

CTemplateDialog::CTemplateDialog(int32_t templateId, QWidget* parent)
    : QDialog(parent), m_templateId(templateId) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

CTemplateDialog::~CTemplateDialog() = default;

int CTemplateDialog::DoModal() {
    EnsureBuilt();
    OnInitDialog();
    return exec() == IDOK ? IDOK : IDCANCEL;
}

void CTemplateDialog::UpdateData(bool pull) {
    CDataExchange dx{this, pull};
    DoDataExchange(dx);
}

void CTemplateDialog::DoDataExchange(CDataExchange&) {}

bool CTemplateDialog::OnInitDialog() {
    UpdateData(false);
    TranslateTexts();
    return true;
}

void CTemplateDialog::OnOK() {
    UpdateData(true);
    done(IDOK);
}

void CTemplateDialog::OnCancel() {
    done(IDCANCEL);
}

QWidget* CTemplateDialog::CreateControl(const ControlTemplate&, QWidget*) {
    return nullptr;
}

void CTemplateDialog::TranslateTexts() {
    TranslateWindow(this, m_templateId);
}

void CTemplateDialog::EnsureBuilt() {
    if (m_built)
        return;
    m_built = true;
    BuildFromTemplate(this, m_templateId, [this](const ControlTemplate& c, QWidget* parent) {
        return CreateControl(c, parent);
    });
    for (QWidget* child : DirectChildren(this)) {
        auto* button = qobject_cast<QAbstractButton*>(child);
        if (!button)
            continue;
        const int32_t id = GetDlgCtrlID(button);
        if (id == IDOK)
            connect(button, &QAbstractButton::clicked, this, [this] { OnOK(); });
        else if (id == IDCANCEL)
            connect(button, &QAbstractButton::clicked, this, [this] { OnCancel(); });
    }
}

void CTemplateDialog::keyPressEvent(QKeyEvent* event) {
    const bool plainModifiers = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!plainModifiers)
            break;
        event->accept();
        // A multi-line edit takes Enter itself, even a read-only one; a
        // focused push button is the default for the moment and is pressed.
        if (qobject_cast<QPlainTextEdit*>(focusWidget()))
            return;
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button && button->isEnabled() && isAncestorOf(button)) {
            button->click();
            return;
        }
        OnOK();
        return;
    case Qt::Key_Escape:
        if (!plainModifiers)
            break;
        event->accept();
        OnCancel();
        return;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void CTemplateDialog::reject() {
    OnCancel();
}
