// Common base of the program's modal dialogs built from a template.
#pragma once

#include "dialog/DataExchange.h"
#include "dialog/DialogBuilder.h"

#include <QDialog>

// DoModal results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

class CTemplateDialog : public QDialog {
    Q_OBJECT
public:
    explicit CTemplateDialog(int32_t templateId, QWidget* parent = nullptr);
    ~CTemplateDialog() override;

    // Builds the controls, runs OnInitDialog, then runs modally. IDOK when
    // the dialog ended with OK, IDCANCEL otherwise.
    int DoModal();
    // Runs DoDataExchange: pull (true) or push (false).
    void UpdateData(bool pull);
    int32_t TemplateId() const { return m_templateId; }

protected:
    virtual void DoDataExchange(CDataExchange& dx);
    // Base: push, then ApplyLangTexts and CollectLangTexts for the template id.
    virtual bool OnInitDialog();
    // Base: pull and end with IDOK. Buttons with id 1 and Enter call it.
    virtual void OnOK();
    // Base: end with IDCANCEL. Buttons with id 2, Escape and the close box.
    virtual void OnCancel();
    // A widget to create for a control instead of the default one.
    virtual QWidget* CreateControl(const ControlTemplate& c, QWidget* parent);

    // The two language passes for this dialog's template id.
    void TranslateTexts();
    // Builds the controls once (DoModal does it; tests may call it early).
    void EnsureBuilt();

    void keyPressEvent(QKeyEvent* event) override;
    void reject() override; // close box -> OnCancel

private:
    int32_t m_templateId;
    bool m_built = false;
};
