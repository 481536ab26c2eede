// Chooses the TAP driver version to install; the General page makes the call.
#pragma once

#include "dialog/TemplateDialog.h"

#include <string>

class CTapDrvVerDlg : public CTemplateDialog {
    Q_OBJECT
public:
    explicit CTapDrvVerDlg(QWidget* parent = nullptr);
    ~CTapDrvVerDlg() override;

    // The version selected when Install was pressed; empty when none was listed.
    std::string GetDrvVer() const { return m_strDrvVer; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    std::string m_strDrvVer;
};
