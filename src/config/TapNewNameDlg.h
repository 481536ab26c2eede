// Takes a new name for the selected TAP adapter; the General page renames it.
#pragma once

#include "dialog/TemplateDialog.h"

#include <string>

class CTapNewNameDlg : public CTemplateDialog {
    Q_OBJECT
public:
    explicit CTapNewNameDlg(QWidget* parent = nullptr);
    ~CTapNewNameDlg() override;

    // Exactly as typed: blanks kept, possibly empty.
    std::string GetNewName() const { return m_strNewName; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    std::string m_strNewName;
};
