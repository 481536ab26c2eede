#include "config/EmulatorDisk.h"

#include "app/backend/EmulatorLib.h"
#include "config/PageServices.h"
#include "config/RecordText.h"
#include "dialog/MessageBox.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"

#include <QAbstractButton>
#include <cstdint>

namespace {
using Ids = res::Disk;
constexpr CEmulatorDisk::DiskControls kSd{
    Ids::SdSizeChoice::id, Ids::SdFileChoice::id, Ids::SdSize::id,     Ids::SdUnit::id,
    Ids::SdFile::id,       Ids::SdBrowseFile::id, Ids::SdSavePath::id, Ids::SdBrowseSave::id};
constexpr CEmulatorDisk::DiskControls kHd{
    Ids::HdSizeChoice::id, Ids::HdFileChoice::id, Ids::HdSize::id,     Ids::HdUnit::id,
    Ids::HdFile::id,       Ids::HdBrowseFile::id, Ids::HdSavePath::id, Ids::HdBrowseSave::id};

constexpr int32_t kChoiceSize = 0;
constexpr int32_t kChoiceFile = 1;

// One disk's fields in the record: a size above 0 asks for a new image saved
// at `file`; a size of 0 names an existing image in `file`, or no disk.
struct DiskFields {
    int32_t& size;
    char (&memType)[261];
    char (&file)[261];
};

void LoadDisk(const DiskFields& f, CEmulatorDisk::DiskCopies& c) {
    if (f.size != 0) {
        c.nChoice = kChoiceSize;
        c.strSize = std::to_string(f.size);
        c.strUnit = GetField(f.memType);
        c.strSavePath = GetField(f.file);
    } else if (f.file[0] != '\0') {
        c.nChoice = kChoiceFile;
        c.strFile = GetField(f.file);
    } else {
        c.nChoice = kChoiceSize;
    }
}

void StoreDisk(const DiskFields& f, const CEmulatorDisk::DiskCopies& c) {
    f.size = 0;
    if (c.nChoice != kChoiceSize) {
        SetField(f.file, c.strFile); // the unit keeps its last value
        return;
    }
    // Signed, as the record holds it: a size the back end gave, even a
    // negative one it will refuse, comes back with its save path.
    f.size = ReadSignedDecimal(c.strSize).value_or(0);
    SetField(f.memType, c.strUnit);
    if (f.size != 0)
        SetField(f.file, c.strSavePath);
    else
        f.file[0] = '\0';
}

// "File:" with a named image that the existence test cannot find.
bool MissingImage(const CEmulatorDisk::DiskCopies& c) {
    return c.nChoice == kChoiceFile && !c.strFile.empty() && !PathExists(c.strFile);
}
} // namespace

CEmulatorDisk::CEmulatorDisk(DiskOptions* block, QWidget* parent)
    : CEmulPropertyPage(Ids::id, parent), m_pBlock(block) {}

CEmulatorDisk::~CEmulatorDisk() = default;

void CEmulatorDisk::DoDataExchange(CDataExchange& dx) {
    CEmulPropertyPage::DoDataExchange(dx);
    DDX_CBString(dx, kHd.unit, m_hd.strUnit);
    DDX_CBString(dx, kSd.unit, m_sd.strUnit);
    DDX_Text(dx, kHd.file, m_hd.strFile);
    DDX_Text(dx, kHd.size, m_hd.strSize);
    DDX_Text(dx, kSd.file, m_sd.strFile);
    DDX_Text(dx, kSd.size, m_sd.strSize);
    DDX_Radio(dx, kHd.sizeChoice, m_hd.nChoice);
    DDX_Radio(dx, kSd.sizeChoice, m_sd.nChoice);
    DDX_Text(dx, kSd.savePath, m_sd.strSavePath);
    DDX_Text(dx, kHd.savePath, m_hd.strSavePath);
}

bool CEmulatorDisk::OnInitDialog() {
    CEmulPropertyPage::OnInitDialog();
    FillComboFromList(this, kHd.unit, Emu::GetMemType);
    FillComboFromList(this, kSd.unit, Emu::GetMemType);
    LoadDisk({m_pBlock->sdSize, m_pBlock->sdMemType, m_pBlock->sdFile}, m_sd);
    LoadDisk({m_pBlock->hdSize, m_pBlock->hdMemType, m_pBlock->hdFile}, m_hd);
    UpdateData(false);
    EnableControls(kSd, m_sd);
    EnableControls(kHd, m_hd);
    ConnectButtons(kSd, m_sd);
    ConnectButtons(kHd, m_hd);
    return true;
}

void CEmulatorDisk::ConnectButtons(const DiskControls& ids, DiskCopies& copies) {
    const auto onClick = [this](int32_t id, auto handler) {
        if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(this, id)))
            connect(button, &QAbstractButton::clicked, this, handler);
    };
    onClick(ids.sizeChoice, [this, ids, &copies] { EnableControls(ids, copies); });
    onClick(ids.fileChoice, [this, ids, &copies] { EnableControls(ids, copies); });
    onClick(ids.browseFile,
            [this, &copies] { BrowseForFile(this, BrowseKind::Open, copies.strFile); });
    onClick(ids.browseSave,
            [this, &copies] { BrowseForFile(this, BrowseKind::Save, copies.strSavePath); });
}

// Disabled boxes keep their texts; only those of the current choice are stored.
void CEmulatorDisk::EnableControls(const DiskControls& ids, const DiskCopies& copies) {
    UpdateData(true);
    const bool file = copies.nChoice != kChoiceSize;
    for (int32_t id : {ids.file, ids.browseFile})
        EnableDlgItem(this, id, file);
    for (int32_t id : {ids.size, ids.unit, ids.savePath, ids.browseSave})
        EnableDlgItem(this, id, !file);
}

bool CEmulatorDisk::OnKillActive() {
    UpdateData(true);
    std::string text;
    if (MissingImage(m_sd)) {
        ShowMessage(this, GetLangText("SD_FILE_ERR", "SD File no exist!!!", text));
        return false;
    }
    if (MissingImage(m_hd)) {
        ShowMessage(this, GetLangText("HD_FILE_ERR", "HardDisk File no exist!!!", text));
        return false;
    }
    UpdateData(true);
    return true;
}

void CEmulatorDisk::OnOK() {
    UpdateData(true);
    StoreDisk({m_pBlock->sdSize, m_pBlock->sdMemType, m_pBlock->sdFile}, m_sd);
    StoreDisk({m_pBlock->hdSize, m_pBlock->hdMemType, m_pBlock->hdFile}, m_hd);
}
