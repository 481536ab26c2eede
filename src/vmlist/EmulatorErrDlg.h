// The report of a failed start: the back end's error text in a read-only,
// multi-line field that scrolls instead of wrapping.
#pragma once

#include "dialog/TemplateDialog.h"

#include <string>

class CEmulatorErrDlg : public CTemplateDialog {
    Q_OBJECT
public:
    // `text`: locale bytes; copied.
    explicit CEmulatorErrDlg(const std::string& text, QWidget* parent = nullptr);
    ~CEmulatorErrDlg() override;

    // Builds and initialises the dialog without running it.
    void Open();

    std::string m_strErrText;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    // No buttons: Enter is the field's own; only the close box and Escape end it.
    void OnOK() override;
};
