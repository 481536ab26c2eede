#include "config/TapNewNameDlg.h"

#include "res/DialogIds.h"

using Ids = res::RenameTap;

CTapNewNameDlg::CTapNewNameDlg(QWidget* parent) : CTemplateDialog(Ids::id, parent) {}

CTapNewNameDlg::~CTapNewNameDlg() = default;

void CTapNewNameDlg::DoDataExchange(CDataExchange& dx) {
    CTemplateDialog::DoDataExchange(dx);
    DDX_Text(dx, Ids::NewName::id, m_strNewName);
}

bool CTapNewNameDlg::OnInitDialog() {
    // Push of the empty name, then the language passes; nothing to fill.
    return CTemplateDialog::OnInitDialog();
}
