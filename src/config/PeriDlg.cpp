#include "config/PeriDlg.h"

#include "app/backend/EmulatorLib.h"
#include "config/PageServices.h"

#include <QAbstractButton>

namespace {
constexpr int32_t kIdPeriType = 1062;
constexpr int32_t kIdParam = 1071;
// The template's OK and Cancel are not the standard ids 1 and 2.
constexpr int32_t kIdOk = 1057;
constexpr int32_t kIdCancel = 1059;
} // namespace

CPeriDlg::CPeriDlg(const std::string& periType, const std::string& param, QWidget* parent)
    : CTemplateDialog(135, parent), m_strPeriType(periType), m_strParam(param) {}

CPeriDlg::~CPeriDlg() = default;

void CPeriDlg::DoDataExchange(CDataExchange& dx) {
    CTemplateDialog::DoDataExchange(dx);
    DDX_CBString(dx, kIdPeriType, m_strPeriType);
    DDX_Text(dx, kIdParam, m_strParam);
}

bool CPeriDlg::OnInitDialog() {
    CTemplateDialog::OnInitDialog();
    FillComboFromList(this, kIdPeriType, Emu::GetPeriType);
    UpdateData(false);

    if (auto* ok = qobject_cast<QAbstractButton*>(GetDlgItem(this, kIdOk)))
        connect(ok, &QAbstractButton::clicked, this, [this] { OnOK(); });
    if (auto* cancel = qobject_cast<QAbstractButton*>(GetDlgItem(this, kIdCancel)))
        connect(cancel, &QAbstractButton::clicked, this, [this] { OnCancel(); });
    return true;
}
