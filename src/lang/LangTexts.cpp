#include "lang/LangTexts.h"

#include "lang/LanguageManager.h"
#include "lang/WindowText.h"

#include <string>

int ApplyLangTexts(IWindowText& window, CLanguageManger* manager, int32_t id) {
    if (!manager)
        return 1;
    std::string text;
    if (manager->GetTextById(id, text))
        window.SetCaption(text);
    for (int i = 0; i < window.ChildCount(); ++i) {
        std::string childText;
        if (manager->GetTextById(window.ChildId(i), childText))
            window.SetChildCaption(i, childText);
    }
    return 1;
}

int CollectLangTexts(int32_t id, IWindowText& window, CLanguageManger* manager) {
    if (!manager)
        return 1;
    if (id != -1) {
        const std::string caption = window.Caption();
        if (!caption.empty())
            manager->SetTextById(id, caption);
    }
    for (int i = 0; i < window.ChildCount(); ++i) {
        const std::string caption = window.ChildCaption(i);
        if (!caption.empty())
            manager->SetTextById(window.ChildId(i), caption);
    }
    return 1;
}
