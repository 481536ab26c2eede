// The set-up steps every window made from a template shares, in one place:
// the small dialogs, the sheet's pages and the main window all go through
// these, so each builds and translates exactly alike.
#pragma once

#include "dialog/DialogBuilder.h"

#include <cstdint>

class QWidget;

// Builds `window` from template `templateId`; false when there is none (the
// window then stays empty).
bool BuildFromTemplate(QWidget* window, int32_t templateId, const ControlFactory& factory = {});
// ApplyLangTexts, then CollectLangTexts, for `window` under key `id` with the
// process's language manager; nothing without one.
void TranslateWindow(QWidget* window, int32_t id);
