// One peripheral row: its kind from the back end's list and a free parameter.
#pragma once

#include "dialog/TemplateDialog.h"

#include <string>

class CPeriDlg : public CTemplateDialog {
    Q_OBJECT
public:
    // Texts in locale bytes; after IDOK they hold the chosen kind and the
    // typed parameter, after Cancel what was given here.
    explicit CPeriDlg(const std::string& periType = {}, const std::string& param = {},
                      QWidget* parent = nullptr);
    ~CPeriDlg() override;

    std::string m_strPeriType;
    std::string m_strParam;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
};
