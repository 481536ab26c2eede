// Asks the name of a machine's clone, under the rules of the General page.
#pragma once

#include "dialog/TemplateDialog.h"

#include <string>

class CCloneDlg : public CTemplateDialog {
    Q_OBJECT
public:
    // `from`: the stored name of the machine to clone (locale bytes).
    explicit CCloneDlg(const std::string& from, QWidget* parent = nullptr);
    ~CCloneDlg() override;

    // After IDOK a name that meets the rules.
    const std::string& GetNewName() const { return m_strNewName; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    // Texts by key rather than by control id: the buttons' ids are shared
    // with other dialogs whose texts differ.
    bool OnInitDialog() override;
    // A refused name keeps the dialog open, with the reason shown.
    void OnOK() override;

private:
    std::string m_strFrom;
    std::string m_strNewName;
};
