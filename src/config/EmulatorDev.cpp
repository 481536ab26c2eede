#include "config/EmulatorDev.h"

#include "app/TarnwickApp.h"
#include "app/backend/EmulatorLib.h"
#include "base/FormatText.h"
#include "base/Utf8.h"
#include "config/PageServices.h"
#include "config/RecordText.h"
#include "config/TapDrvVerDlg.h"
#include "config/TapNewNameDlg.h"
#include "dialog/DlgItem.h"
#include "dialog/MessageBox.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QValidator>
#include <algorithm>
#include <optional>

namespace {
using Ids = res::General;

// The record keeps 260 bytes of the name; a longer name could collide with a
// stored one only after the cut, so the box never holds more.
constexpr size_t kNameBytes = sizeof(GeneralOptions::name) - 1;

// Keeps an edit's text within a byte bound of the locale encoding, cutting at
// whole characters. What does not fit is dropped from the text just inserted
// (it ends at the cursor), so typing at the bound is refused, a paste is cut
// and the text after the cursor stays.
class CByteBoundValidator : public QValidator {
public:
    CByteBoundValidator(size_t maxBytes, QObject* parent) : QValidator(parent), m_max(maxBytes) {}

    State validate(QString& input, int& pos) const override {
        if (ToLocal(input).size() <= m_max)
            return Acceptable;
        const qsizetype at = std::clamp<qsizetype>(pos, 0, input.size());
        const std::string before = ToLocal(input.left(at));
        const std::string after = ToLocal(input.mid(at));
        if (after.size() > m_max) {
            input = FromLocal(std::string(base::CutUtf8(before + after, m_max)));
            pos = static_cast<int>(input.size());
            return Acceptable;
        }
        const QString kept = FromLocal(std::string(base::CutUtf8(before, m_max - after.size())));
        input = kept + FromLocal(after);
        pos = static_cast<int>(kept.size());
        return Acceptable;
    }

private:
    size_t m_max;
};

} // namespace

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
        name->setValidator(new CByteBoundValidator(kNameBytes, name));
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

bool CEmulatorDev::NameTaken() const {
    // Editing keeps the machine in the store: its own name is free.
    if (!m_strOwnName.empty() && m_strName == m_strOwnName)
        return false;
    const auto names = FetchList([](char* buffer, uint32_t capacity, uint32_t slotSize) {
        return Emu::EnumAllEmulator(nullptr, buffer, capacity, slotSize);
    });
    if (!names)
        return false;
    for (const std::string& stored : *names) {
        if (stored == m_strName)
            return true;
    }
    return false;
}

bool CEmulatorDev::OnKillActive() {
    UpdateData(true);
    std::string text;
    if (m_strName.empty())
        return RefuseName(
            GetLangText("GEN_NAME_SPACE_ERR", "Please enter the Virtual Machine name", text));
    if (NameTaken())
        return RefuseName(base::FormatWithText(
            GetLangText("GEN_NAME_ERR", "Virtual Machine Name %s have exist!", text), m_strName));
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
