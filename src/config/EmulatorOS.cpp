#include "config/EmulatorOS.h"

#include "config/PageServices.h"
#include "config/RecordText.h"
#include "dialog/MessageBox.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"

#include <QAbstractButton>

namespace {
using Ids = res::Os;

struct Check {
    bool failed;
    const char* key;
    const char* defaultText;
};
} // namespace

CEmulatorOS::CEmulatorOS(OsOptions* block, QWidget* parent)
    : CEmulPropertyPage(Ids::id, parent), m_pBlock(block) {}

CEmulatorOS::~CEmulatorOS() = default;

void CEmulatorOS::DoDataExchange(CDataExchange& dx) {
    CEmulPropertyPage::DoDataExchange(dx);
    DDX_Text(dx, Ids::OsImage::id, m_strOsImage);
    DDX_Text(dx, Ids::InitrdImage::id, m_strInitrdImage);
    DDX_Text(dx, Ids::CmdLine::id, m_strCmdLine);
}

bool CEmulatorOS::OnInitDialog() {
    CEmulPropertyPage::OnInitDialog();
    m_strOsImage = GetField(m_pBlock->osImage);
    m_strInitrdImage = GetField(m_pBlock->initrdImage);
    m_strCmdLine = GetField(m_pBlock->cmdLine);
    UpdateData(false);

    const auto onClick = [this](int32_t id, std::string& copy) {
        if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(this, id)))
            connect(button, &QAbstractButton::clicked, this,
                    [this, &copy] { BrowseForFile(this, BrowseKind::Open, copy); });
    };
    onClick(Ids::BrowseOs::id, m_strOsImage);
    onClick(Ids::BrowseInitrd::id, m_strInitrdImage);
    return true;
}

bool CEmulatorOS::OnKillActive() {
    UpdateData(true);
    // Both emptiness checks come before either existence test.
    const auto fails = [this](const Check& check) {
        if (!check.failed)
            return false;
        std::string text;
        ShowMessage(this, GetLangText(check.key, check.defaultText, text));
        return true;
    };
    if (fails({m_strOsImage.empty(), "OS_OS_NO", "please choice OS file path"}) ||
        fails({m_strInitrdImage.empty(), "OS_INITRD_NO", "please choice Initrd file path"}) ||
        fails({!PathExists(m_strOsImage), "OS_OS_ERR", "OS file not exist"}) ||
        fails({!PathExists(m_strInitrdImage), "OS_INITRD_ERR", "Initrd file not exist"}))
        return false;
    UpdateData(true);
    return true;
}

void CEmulatorOS::OnOK() {
    UpdateData(true);
    SetField(m_pBlock->osImage, m_strOsImage);
    SetField(m_pBlock->initrdImage, m_strInitrdImage);
    SetField(m_pBlock->cmdLine, m_strCmdLine);
}
