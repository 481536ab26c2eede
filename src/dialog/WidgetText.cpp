#include "dialog/WidgetText.h"

#include "dialog/DialogBuilder.h"
#include "lang/LangTexts.h"

#include <QWidget>

CWidgetText::CWidgetText(QWidget* window) : m_window(window), m_children(DirectChildren(window)) {}

std::string CWidgetText::Caption() const {
    return GetWindowText(m_window);
}

void CWidgetText::SetCaption(const std::string& text) {
    SetWindowText(m_window, text);
}

int CWidgetText::ChildCount() const {
    return static_cast<int>(m_children.size());
}

int32_t CWidgetText::ChildId(int index) const {
    return GetDlgCtrlID(m_children[index]);
}

std::string CWidgetText::ChildCaption(int index) const {
    return GetWindowText(m_children[index]);
}

void CWidgetText::SetChildCaption(int index, const std::string& text) {
    SetWindowText(m_children[index], text);
}

int ApplyLangTexts(QWidget* window, CLanguageManger* manager, int32_t id) {
    if (!window)
        return 1;
    CWidgetText text(window);
    return ApplyLangTexts(text, manager, id);
}

int CollectLangTexts(int32_t id, QWidget* window, CLanguageManger* manager) {
    if (!window)
        return 1;
    CWidgetText text(window);
    return CollectLangTexts(id, text, manager);
}
