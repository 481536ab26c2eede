#include "vmlist/EmulatorErrDlg.h"

#include "res/DialogIds.h"

using Ids = res::StartError;

CEmulatorErrDlg::CEmulatorErrDlg(const std::string& text, QWidget* parent)
    : CTemplateDialog(Ids::id, parent), m_strErrText(text) {}

CEmulatorErrDlg::~CEmulatorErrDlg() = default;

void CEmulatorErrDlg::Open() {
    EnsureBuilt();
    OnInitDialog();
}

void CEmulatorErrDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, Ids::Text::id, m_strErrText);
}

bool CEmulatorErrDlg::OnInitDialog() {
    CTemplateDialog::OnInitDialog();
    // A text under the text box's id in the language file must not replace the error.
    UpdateData(false);
    return true;
}

void CEmulatorErrDlg::OnOK() {}
