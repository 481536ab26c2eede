#include "config/EmulPropertyPage.h"

#include "dialog/TemplateWindow.h"

#include <QSize>

CEmulPropertyPage::CEmulPropertyPage(int32_t templateId, QWidget* parent)
    : QWidget(parent), m_templateId(templateId) {}

CEmulPropertyPage::~CEmulPropertyPage() = default;

void CEmulPropertyPage::Create() {
    if (m_created)
        return;
    // Set first: whatever OnInitDialog triggers must not create the page again.
    m_created = true;
    BuildFromTemplate(this, m_templateId, [this](const ControlTemplate& c, QWidget* parent) {
        return CreateControl(c, parent);
    });
    OnInitDialog();
}

void CEmulPropertyPage::UpdateData(bool pull) {
    CDataExchange dx{this, pull};
    DoDataExchange(dx);
}

void CEmulPropertyPage::DoDataExchange(CDataExchange&) {}

bool CEmulPropertyPage::OnInitDialog() {
    UpdateData(false);
    TranslateWindow(this, m_templateId);
    return true;
}

QWidget* CEmulPropertyPage::CreateControl(const ControlTemplate&, QWidget*) {
    return nullptr;
}

QSize CEmulPropertyPage::sizeHint() const {
    const DialogTemplate* t = FindDialogTemplate(m_templateId);
    if (!t)
        return QWidget::sizeHint();
    return TemplateClientSize(*t);
}

QSize CEmulPropertyPage::minimumSizeHint() const {
    return FindDialogTemplate(m_templateId) ? sizeHint() : QWidget::minimumSizeHint();
}
