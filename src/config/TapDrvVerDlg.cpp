#include "config/TapDrvVerDlg.h"

#include "app/backend/EmulatorLib.h"
#include "config/PageServices.h"

namespace {
constexpr int32_t kIdDlg = 136;
constexpr int32_t kIdVersion = 1066;
} // namespace

CTapDrvVerDlg::CTapDrvVerDlg(QWidget* parent) : CTemplateDialog(kIdDlg, parent) {}

CTapDrvVerDlg::~CTapDrvVerDlg() = default;

void CTapDrvVerDlg::DoDataExchange(CDataExchange& dx) {
    CTemplateDialog::DoDataExchange(dx);
    DDX_CBString(dx, kIdVersion, m_strDrvVer);
}

bool CTapDrvVerDlg::OnInitDialog() {
    CTemplateDialog::OnInitDialog();
    FillComboFromList(this, kIdVersion, Emu::GetTapDrvVer);
    // The empty copy matches every item: the first listed version is selected.
    UpdateData(false);
    return true;
}
