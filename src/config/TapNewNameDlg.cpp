#include "config/TapNewNameDlg.h"

namespace {
constexpr int32_t kIdDlg = 137;
constexpr int32_t kIdNewName = 1072;
} // namespace

CTapNewNameDlg::CTapNewNameDlg(QWidget* parent) : CTemplateDialog(kIdDlg, parent) {}

CTapNewNameDlg::~CTapNewNameDlg() = default;

void CTapNewNameDlg::DoDataExchange(CDataExchange& dx) {
    CTemplateDialog::DoDataExchange(dx);
    DDX_Text(dx, kIdNewName, m_strNewName);
}

bool CTapNewNameDlg::OnInitDialog() {
    // Push of the empty name, then the language passes; nothing to fill.
    return CTemplateDialog::OnInitDialog();
}
