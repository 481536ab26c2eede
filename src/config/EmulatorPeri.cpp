#include "config/EmulatorPeri.h"

#include "app/backend/EmulatorLib.h"
#include "base/Utf8.h"
#include "config/PageServices.h"
#include "config/PeriDlg.h"
#include "config/PeriListCtrl.h"
#include "config/RecordText.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"

#include <QAbstractButton>
#include <algorithm>
#include <cstring>

namespace {
using Ids = res::Peripherals;
constexpr int32_t kIdSerialEnable = Ids::SerialEnable::id;
constexpr int32_t kIdSerialType = Ids::SerialType::id;
constexpr int32_t kIdSerialParam = Ids::SerialParam::id;
constexpr int32_t kIdPeriList = Ids::PeriList::id;
constexpr int32_t kIdAdd = Ids::Add::id;
constexpr int32_t kIdEdit = Ids::Edit::id;
constexpr int32_t kIdDelete = Ids::Delete::id;

// device and param hold 259 bytes and their NUL.
constexpr size_t kRowTextBytes = sizeof(PeriEntry::device) - 1;

// periCount outside 0..MAX_PERI is outside the format: never read past the rows.
int StoredRowCount(int32_t periCount) {
    return std::clamp<int32_t>(periCount, 0, MAX_PERI);
}
} // namespace

CEmulatorPeri::CEmulatorPeri(PeriOptions* block, QWidget* parent)
    : CEmulPropertyPage(Ids::id, parent), m_pBlock(block) {}

CEmulatorPeri::~CEmulatorPeri() = default;

void CEmulatorPeri::DoDataExchange(CDataExchange& dx) {
    CEmulPropertyPage::DoDataExchange(dx);
    DDX_Check(dx, kIdSerialEnable, m_nSerialEnable);
    DDX_CBString(dx, kIdSerialType, m_strSerialType);
    DDX_Text(dx, kIdSerialParam, m_strSerialParam);
}

QWidget* CEmulatorPeri::CreateControl(const ControlTemplate& c, QWidget* parent) {
    if (c.id == kIdPeriList) {
        m_pPeriList = new CPeriListCtrl(parent);
        return m_pPeriList;
    }
    return CEmulPropertyPage::CreateControl(c, parent);
}

bool CEmulatorPeri::OnInitDialog() {
    CEmulPropertyPage::OnInitDialog();
    SetupList();
    FillComboFromList(this, kIdSerialType, Emu::GetSerialType);
    LoadBlock();
    UpdateData(false);

    EnableSerialControls();
    EnableRowButtons(false);

    const auto onClick = [this](int32_t id, void (CEmulatorPeri::*handler)()) {
        if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(this, id)))
            connect(button, &QAbstractButton::clicked, this,
                    [this, handler] { (this->*handler)(); });
    };
    onClick(kIdSerialEnable, &CEmulatorPeri::OnSerialEnable);
    onClick(kIdAdd, &CEmulatorPeri::OnAdd);
    onClick(kIdEdit, &CEmulatorPeri::OnEdit);
    onClick(kIdDelete, &CEmulatorPeri::OnDelete);
    if (m_pPeriList) {
        connect(m_pPeriList, &CListViewCtrl::Clicked, this, &CEmulatorPeri::OnListClick);
        connect(m_pPeriList, &CListViewCtrl::DoubleClicked, this, &CEmulatorPeri::OnListDblClick);
    }
    return true;
}

void CEmulatorPeri::SetupList() {
    if (!m_pPeriList)
        return;
    m_pPeriList->SetHotTrack(true);
    const int width = m_pPeriList->ClientWidth() / 2;
    std::string text;
    m_pPeriList->InsertColumn(0, GetLangText("PERI_DEV", "Device", text), width);
    m_pPeriList->InsertColumn(1, GetLangText("PERI_PARAM", "Parameter", text), width);
}

void CEmulatorPeri::LoadBlock() {
    m_nSerialEnable = m_pBlock->serialEnable;
    if (m_nSerialEnable != 0) {
        m_strSerialType = GetField(m_pBlock->serialType);
        m_strSerialParam = GetField(m_pBlock->serialParam);
    }
    const int rows = StoredRowCount(m_pBlock->periCount);
    for (int i = 0; i < rows; ++i)
        PutRow(i, GetField(m_pBlock->peris[i].device), GetField(m_pBlock->peris[i].param));
}

void CEmulatorPeri::OnOK() {
    UpdateData(true);
    m_pBlock->serialEnable = m_nSerialEnable;
    if (m_nSerialEnable != 0) {
        SetField(m_pBlock->serialType, m_strSerialType);
        SetField(m_pBlock->serialParam, m_strSerialParam);
    }

    const int rows = m_pPeriList ? std::min(m_pPeriList->GetItemCount(), MAX_PERI) : 0;
    m_pBlock->periCount = rows;
    // A count of 0 leaves the old rows in place; any other count zeroes all
    // of them first so nothing stale follows the last row.
    if (rows == 0)
        return;
    std::memset(m_pBlock->peris, 0, sizeof(m_pBlock->peris));
    for (int i = 0; i < rows; ++i) {
        SetField(m_pBlock->peris[i].device, RowText(i, 0));
        SetField(m_pBlock->peris[i].param, RowText(i, 1));
    }
}

void CEmulatorPeri::EnableSerialControls() {
    const bool on = m_nSerialEnable != 0;
    EnableDlgItem(this, kIdSerialType, on);
    EnableDlgItem(this, kIdSerialParam, on);
}

void CEmulatorPeri::EnableRowButtons(bool enable) {
    EnableDlgItem(this, kIdEdit, enable);
    EnableDlgItem(this, kIdDelete, enable);
}

std::string CEmulatorPeri::RowText(int row, int column) const {
    return std::string(base::CutUtf8(m_pPeriList->ListRows().Text(row, column), kRowTextBytes));
}

void CEmulatorPeri::PutRow(int index, const std::string& periType, const std::string& param) {
    if (!m_pPeriList)
        return;
    const int row =
        m_pPeriList->InsertItem(index, std::string(base::CutUtf8(periType, kRowTextBytes)));
    m_pPeriList->SetItemText(row, 1, std::string(base::CutUtf8(param, kRowTextBytes)));
}

void CEmulatorPeri::OnSerialEnable() {
    UpdateData(true);
    EnableSerialControls();
}

// Only a click that hits a row enables Edit and Delete; selecting by keyboard
// or by hovering does not.
void CEmulatorPeri::OnListClick(int row) {
    if (row >= 0)
        EnableRowButtons(true);
}

void CEmulatorPeri::OnListDblClick(int row) {
    if (row < 0)
        return;
    EnableRowButtons(true);
    OnEdit();
}

void CEmulatorPeri::OnAdd() {
    UpdateData(true);
    if (!m_pPeriList)
        return;
    CPeriDlg dlg({}, {}, this);
    if (dlg.DoModal() == IDOK) {
        const int selected = m_pPeriList->GetFirstSelected();
        PutRow(selected >= 0 ? selected : m_pPeriList->GetItemCount(), dlg.m_strPeriType,
               dlg.m_strParam);
    }
    UpdateData(false);
}

void CEmulatorPeri::OnEdit() {
    UpdateData(true);
    if (!m_pPeriList)
        return;
    const int selected = m_pPeriList->GetFirstSelected();
    if (selected < 0)
        return;
    CPeriDlg dlg(RowText(selected, 0), RowText(selected, 1), this);
    if (dlg.DoModal() == IDOK) {
        m_pPeriList->DeleteItem(selected);
        PutRow(selected, dlg.m_strPeriType, dlg.m_strParam);
    }
    UpdateData(false);
}

void CEmulatorPeri::OnDelete() {
    UpdateData(true);
    if (m_pPeriList) {
        const int selected = m_pPeriList->GetFirstSelected();
        if (selected >= 0)
            m_pPeriList->DeleteItem(selected);
    }
    EnableRowButtons(false);
    UpdateData(false);
}
