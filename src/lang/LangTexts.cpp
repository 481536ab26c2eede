#include "LangTexts.h"

#include "DialogBuilder.h"
#include "LanguageManager.h"

#include <QWidget>
#include <string>

int ApplyLangTexts(QWidget* window, CLanguageManger* manager, int32_t id) {
    if (!window || !manager)
        return 1;
    std::string text;
    if (manager->GetTextById(id, text))
        SetWindowText(window, text);
    for (QWidget* child : DirectChildren(window)) {
        std::string childText;
        if (manager->GetTextById(GetDlgCtrlID(child), childText))
            SetWindowText(child, childText);
    }
    return 1;
}

int CollectLangTexts(int32_t id, QWidget* window, CLanguageManger* manager) {
    if (!window || !manager)
        return 1;
    if (id != -1) {
        const std::string caption = GetWindowText(window);
        if (!caption.empty())
            manager->SetTextById(id, caption);
    }
    for (QWidget* child : DirectChildren(window)) {
        const std::string caption = GetWindowText(child);
        if (!caption.empty())
            manager->SetTextById(GetDlgCtrlID(child), caption);
    }
    return 1;
}
