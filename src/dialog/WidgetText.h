// The language passes over a built window: its widgets seen through the
// window-text interface the passes are written against.
#pragma once

#include "lang/WindowText.h"

#include <cstdint>
#include <vector>

class CLanguageManger;
class QWidget;

class CWidgetText : public IWindowText {
public:
    explicit CWidgetText(QWidget* window);
    std::string Caption() const override;
    void SetCaption(const std::string& text) override;
    int ChildCount() const override;
    int32_t ChildId(int index) const override;
    std::string ChildCaption(int index) const override;
    void SetChildCaption(int index, const std::string& text) override;

private:
    QWidget* m_window;
    std::vector<QWidget*> m_children; // taken once: the passes add none
};

// The passes for `window`; a null window or manager is left alone. Always 1.
int ApplyLangTexts(QWidget* window, CLanguageManger* manager, int32_t id);
int CollectLangTexts(int32_t id, QWidget* window, CLanguageManger* manager);
