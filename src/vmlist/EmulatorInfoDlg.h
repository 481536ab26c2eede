// A machine's details: the back end's info text in the report window of a
// failed start, read-only and scrolled sideways, under a title of its own.
#pragma once

#include "vmlist/EmulatorErrDlg.h"

class CEmulatorInfoDlg : public CEmulatorErrDlg {
    Q_OBJECT
public:
    // `title` and `text`: locale bytes; copied.
    CEmulatorInfoDlg(const std::string& title, const std::string& text, QWidget* parent = nullptr);
    ~CEmulatorInfoDlg() override;

protected:
    // No language passes: the report's caption is not this window's, and the
    // info text must not be collected into the language file as the text of
    // the report's field.
    bool OnInitDialog() override;

private:
    std::string m_strTitle;
};
