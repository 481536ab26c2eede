#include "vmlist/EmulatorInfoDlg.h"

#include "dialog/MessageBox.h"

CEmulatorInfoDlg::CEmulatorInfoDlg(const std::string& title, const std::string& text,
                                   QWidget* parent)
    : CEmulatorErrDlg(text, parent), m_strTitle(title) {}

CEmulatorInfoDlg::~CEmulatorInfoDlg() = default;

bool CEmulatorInfoDlg::OnInitDialog() {
    UpdateData(false);
    setWindowTitle(FromLocal(m_strTitle));
    return true;
}
