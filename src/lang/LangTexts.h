// The two passes by which a window translates its caption and its direct
// children's captions (keys: decimal ids), and records them back.
#pragma once

#include <cstdint>

class CLanguageManger;
class IWindowText;

// Sets the caption of `window` (key `id`) and of each direct child (key: its
// control id) for which the manager has a text, even an empty one. Always 1.
int ApplyLangTexts(IWindowText& window, CLanguageManger* manager, int32_t id);
// Stores every non-empty caption: the window's under `id` unless id is -1,
// each direct child's under its control id. Always 1.
int CollectLangTexts(int32_t id, IWindowText& window, CLanguageManger* manager);
