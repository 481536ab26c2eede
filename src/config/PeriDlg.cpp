#include "config/PeriDlg.h"

#include "app/backend/EmulatorLib.h"
#include "config/PageServices.h"
#include "dialog/DlgItem.h"
#include "res/DialogIds.h"

// The template's OK and Cancel are not the standard ids 1 and 2.
using Ids = res::Peripheral;

CPeriDlg::CPeriDlg(const std::string& periType, const std::string& param, QWidget* parent)
    : CTemplateDialog(Ids::id, parent), m_strPeriType(periType), m_strParam(param) {}

CPeriDlg::~CPeriDlg() = default;

void CPeriDlg::DoDataExchange(CDataExchange& dx) {
    CTemplateDialog::DoDataExchange(dx);
    DDX_CBString(dx, Ids::Type::id, m_strPeriType);
    DDX_Text(dx, Ids::Param::id, m_strParam);
}

bool CPeriDlg::OnInitDialog() {
    CTemplateDialog::OnInitDialog();
    FillComboFromList(this, Ids::Type::id, Emu::GetPeriType);
    UpdateData(false);

    if (auto* ok = GetDlgItem<Ids::Ok>(this))
        connect(ok, &QAbstractButton::clicked, this, [this] { OnOK(); });
    if (auto* cancel = GetDlgItem<Ids::Cancel>(this))
        connect(cancel, &QAbstractButton::clicked, this, [this] { OnCancel(); });
    return true;
}
