#include "config/TapDrvVerDlg.h"

#include "app/backend/EmulatorLib.h"
#include "config/PageServices.h"
#include "res/DialogIds.h"

using Ids = res::InstallTap;

CTapDrvVerDlg::CTapDrvVerDlg(QWidget* parent) : CTemplateDialog(Ids::id, parent) {}

CTapDrvVerDlg::~CTapDrvVerDlg() = default;

void CTapDrvVerDlg::DoDataExchange(CDataExchange& dx) {
    CTemplateDialog::DoDataExchange(dx);
    DDX_CBString(dx, Ids::Version::id, m_strDrvVer);
}

bool CTapDrvVerDlg::OnInitDialog() {
    CTemplateDialog::OnInitDialog();
    FillComboFromList(this, Ids::Version::id, Emu::GetTapDrvVer);
    // The empty copy matches every item: the first listed version is selected.
    UpdateData(false);
    return true;
}
