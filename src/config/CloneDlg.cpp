#include "config/CloneDlg.h"

#include "base/FormatText.h"
#include "base/Utf8.h"
#include "config/MachineName.h"
#include "dialog/DlgItem.h"
#include "dialog/MessageBox.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

using Ids = res::CloneVm;

CCloneDlg::CCloneDlg(const std::string& from, QWidget* parent)
    : CTemplateDialog(Ids::id, parent), m_strFrom(from) {}

CCloneDlg::~CCloneDlg() = default;

void CCloneDlg::DoDataExchange(CDataExchange& dx) {
    CTemplateDialog::DoDataExchange(dx);
    DDX_Text(dx, Ids::Name::id, m_strNewName);
}

bool CCloneDlg::OnInitDialog() {
    std::string text;
    setWindowTitle(FromLocal(
        base::FormatWithText(GetLangText("VM_CLONE_TITLE", "Clone %s", text), m_strFrom)));
    if (auto* label = GetDlgItem<Ids::NameLabel>(this))
        label->setText(FromLocal(GetLangText("VM_CLONE_NAME", "Name of the clone:", text)));
    if (auto* ok = GetDlgItem<Ids::Ok>(this))
        ok->setText(FromLocal(GetLangText("VM_CLONE_OK", "OK", text)));
    if (auto* cancel = GetDlgItem<Ids::Cancel>(this))
        cancel->setText(FromLocal(GetLangText("VM_CLONE_CANCEL", "Cancel", text)));

    // A proposal, cut as the edit would cut it; whether it is free is
    // checked on OK, as any typed name.
    const std::string proposal =
        base::FormatWithText(GetLangText("VM_CLONE_COPY", "%s copy", text), m_strFrom);
    m_strNewName = std::string(base::CutUtf8(proposal, kMachineNameBytes));
    UpdateData(false);
    if (auto* name = GetDlgItem<Ids::Name>(this)) {
        BoundMachineNameEdit(name);
        name->selectAll();
        name->setFocus();
    }
    return true;
}

void CCloneDlg::OnOK() {
    UpdateData(true);
    if (const auto refusal = MachineNameRefusal(m_strNewName)) {
        ShowMessage(this, *refusal);
        if (QWidget* name = GetDlgItem(this, Ids::Name::id))
            name->setFocus();
        return;
    }
    CTemplateDialog::OnOK();
}
