#include "config/EmulatorDev.h"

#include "app/TarnwickApp.h"
#include "app/backend/EmulatorLib.h"
#include "config/MachineName.h"
#include "config/PageServices.h"
#include "config/RecordText.h"
#include "config/TapDrvVerDlg.h"
#include "config/TapNewNameDlg.h"
#include "dialog/DlgItem.h"
#include "dialog/MessageBox.h"
#include "res/DialogIds.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

using Ids = res::General;

CEmulatorDev::CEmulatorDev(EmulatorOptions* options, QWidget* parent)
    : CEmulPropertyPage(Ids::id, parent), m_pOptions(options) {}

CEmulatorDev::~CEmulatorDev() = default;

void CEmulatorDev::DoDataExchange(CDataExchange& dx) {
    CEmulPropertyPage::DoDataExchange(dx);
    DDX_Check(dx, Ids::Display::id, m_nDisplayEnable);
    DDX_CBString(dx, Ids::Cpu::id, m_strCpu);
    DDX_CBString(dx, Ids::MemType::id, m_strMemType);
    DDX_CBString(dx, Ids::Adapter::id, m_strTapAdapter);
    DDX_CBString(dx, Ids::Target::id, m_strTarget);
    DDX_Text(dx, Ids::MemSize::id, m_strMemSize);
    DDX_Text(dx, Ids::Name::id, m_strName);
}

bool CEmulatorDev::OnInitDialog() {
    CEmulPropertyPage::OnInitDialog();
    ConnectControls();

    FillComboFromList(
        this, Ids::Target::id, [](char* buffer, uint32_t capacity, uint32_t slotSize) {
            return Emu::GetEmulatorTarget(theApp.ExtraArgOrNull(), buffer, capacity, slotSize);
        });
    FillComboFromList(this, Ids::MemType::id, Emu::GetMemType);
    FillAdapters();

    const GeneralOptions& g = m_pOptions->general;
    m_strName = GetField(g.name);
    if (const std::string target = GetField(g.target); !target.empty())
        m_strTarget = target;
    if (g.memSize != 0)
        m_strMemSize = std::to_string(g.memSize);
    if (const std::string memType = GetField(g.memType); !memType.empty())
        m_strMemType = memType;
    if (const std::string adapter = GetField(g.tapAdapter); !adapter.empty())
        m_strTapAdapter = adapter;
    m_nDisplayEnable = g.displayEnable;
    UpdateData(false);

    if (m_strTarget.empty()) {
        if (const auto* targets = GetDlgItem<Ids::Target>(this))
            m_strTarget = GetComboText(targets);
    }
    FillCpus();
    if (const std::string cpu = GetField(g.cpu); !cpu.empty())
        m_strCpu = cpu;
    UpdateData(false);
    return true;
}

void CEmulatorDev::ConnectControls() {
    if (auto* name = GetDlgItem<Ids::Name>(this))
        BoundMachineNameEdit(name);
    // The display flag is shown, never changed.
    EnableDlgItem(this, Ids::Display::id, false);
    // activated: the user's choice only, not the page's own filling.
    if (auto* targets = GetDlgItem<Ids::Target>(this))
        connect(targets, &QComboBox::activated, this, &CEmulatorDev::OnSelchangeTarget);
    if (auto* button = GetDlgItem<Ids::Install>(this))
        connect(button, &QAbstractButton::clicked, this, &CEmulatorDev::OnInstall);
    if (auto* button = GetDlgItem<Ids::Refresh>(this))
        connect(button, &QAbstractButton::clicked, this, &CEmulatorDev::OnRefresh);
    if (auto* button = GetDlgItem<Ids::Rename>(this))
        connect(button, &QAbstractButton::clicked, this, &CEmulatorDev::OnRename);
}

void CEmulatorDev::FillCpus() {
    const std::string target = m_strTarget;
    FillComboFromList(this, Ids::Cpu::id,
                      [&target](char* buffer, uint32_t capacity, uint32_t slotSize) {
                          return Emu::GetEmulatorCPU(target.c_str(), buffer, capacity, slotSize);
                      });
}

void CEmulatorDev::FillAdapters() {
    FillComboFromList(this, Ids::Adapter::id, Emu::RefreshTapNetWork);
}

void CEmulatorDev::OnSelchangeTarget() {
    UpdateData(true);
    // Push keeps the CPU when the new list has an entry beginning with it;
    // otherwise the refill's first entry stays selected.
    FillCpus();
    UpdateData(false);
}

void CEmulatorDev::OnInstall() {
    UpdateData(true);
    CTapDrvVerDlg dlg(this);
    if (dlg.DoModal() != IDOK)
        return;
    Emu::InstallTapNetWork(dlg.GetDrvVer().c_str());
    UpdateData(true);
    FillAdapters();
}

void CEmulatorDev::OnRefresh() {
    UpdateData(true);
    FillAdapters();
}

void CEmulatorDev::OnRename() {
    UpdateData(true);
    if (m_strTapAdapter.empty())
        return;
    CTapNewNameDlg dlg(this);
    if (dlg.DoModal() != IDOK)
        return;
    const std::string newName = dlg.GetNewName();
    if (newName.empty())
        return;
    Emu::ReNameTapNetWork(m_strTapAdapter.c_str(), newName.c_str());
    UpdateData(true);
    FillAdapters();
    m_strTapAdapter = newName;
    UpdateData(false);
}

bool CEmulatorDev::RefuseName(const std::string& text) {
    ShowMessage(this, text);
    if (QWidget* name = GetDlgItem(this, Ids::Name::id))
        name->setFocus();
    return false;
}

bool CEmulatorDev::OnKillActive() {
    UpdateData(true);
    if (const auto refusal = MachineNameRefusal(m_strName, m_strOwnName))
        return RefuseName(*refusal);
    UpdateData(true);
    return true;
}

void CEmulatorDev::OnOK() {
    UpdateData(true);
    GeneralOptions& g = m_pOptions->general;
    SetField(g.name, m_strName);
    SetField(g.target, m_strTarget);
    Emu::GetArch(m_strTarget.c_str(), g.arch, sizeof(g.arch));
    SetField(g.cpu, m_strCpu);
    if (const auto memSize = ReadSignedDecimal(m_strMemSize))
        g.memSize = *memSize;
    SetField(g.memType, m_strMemType);
    SetField(g.tapAdapter, m_strTapAdapter);
    g.displayEnable = m_nDisplayEnable;
}
