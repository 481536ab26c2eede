// Common base of the four configuration pages. A page's controls and its
// OnInitDialog come into being the first time its tab is shown.
#pragma once

#include "dialog/DataExchange.h"
#include "dialog/DialogBuilder.h"

#include <QWidget>

class CEmulPropertyPage : public QWidget {
    Q_OBJECT
public:
    explicit CEmulPropertyPage(int32_t templateId, QWidget* parent = nullptr);
    ~CEmulPropertyPage() override;

    int32_t TemplateId() const { return m_templateId; }
    bool IsCreated() const { return m_created; }
    // Builds the controls and runs OnInitDialog, once (the sheet calls it
    // when the tab is first shown).
    void Create();
    void UpdateData(bool pull);

    // Leaving the page or OK while it is current: false refuses.
    virtual bool OnKillActive() { return true; }
    // The sheet ended with OK and the page was shown: write the block.
    virtual void OnOK() {}

    // The template's size, also before the controls exist, so the sheet can
    // size itself on pages not yet created.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    virtual void DoDataExchange(CDataExchange& dx);
    // Base: push, then the two language passes for the template id. Pages
    // call it first and then fill their lists and load their copies.
    virtual bool OnInitDialog();
    // A widget to create for a control instead of the default one.
    virtual QWidget* CreateControl(const ControlTemplate& c, QWidget* parent);

private:
    int32_t m_templateId;
    bool m_created = false;
};
