#include "dialog/TemplateWindow.h"

#include "dialog/WidgetText.h"
#include "lang/LanguageManager.h"

bool BuildFromTemplate(QWidget* window, int32_t templateId, const ControlFactory& factory) {
    const DialogTemplate* t = FindDialogTemplate(templateId);
    if (!window || !t)
        return false;
    BuildDialog(window, *t, factory);
    return true;
}

void TranslateWindow(QWidget* window, int32_t id) {
    if (!window || !g_pLangManager)
        return;
    // Apply first: what is collected back is what the window then shows.
    ApplyLangTexts(window, g_pLangManager, id);
    CollectLangTexts(id, window, g_pLangManager);
}
