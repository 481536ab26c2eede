#include "vmlist/EmulatorErrDlg.h"

namespace {
constexpr int32_t kErrTextId = 1063;
}

CEmulatorErrDlg::CEmulatorErrDlg(const std::string& text, QWidget* parent)
    : CTemplateDialog(138, parent), m_strErrText(text) {}

CEmulatorErrDlg::~CEmulatorErrDlg() = default;

void CEmulatorErrDlg::Open() {
    EnsureBuilt();
    OnInitDialog();
}

void CEmulatorErrDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, kErrTextId, m_strErrText);
}

bool CEmulatorErrDlg::OnInitDialog() {
    CTemplateDialog::OnInitDialog();
    // A text under "1063" in the language file must not replace the error.
    UpdateData(false);
    return true;
}

void CEmulatorErrDlg::OnOK() {}
