// The Disk page: SD card and hard disk, each a new image or an existing file.
#pragma once

#include "app/backend/brevantix.h"
#include "config/EmulPropertyPage.h"

#include <string>

class CEmulatorDisk : public CEmulPropertyPage {
    Q_OBJECT
public:
    explicit CEmulatorDisk(DiskOptions* block, QWidget* parent = nullptr);
    ~CEmulatorDisk() override;

    bool OnKillActive() override;
    void OnOK() override;

    // The copies of one disk's controls.
    struct DiskCopies {
        std::string strUnit;
        std::string strFile;
        std::string strSize;
        int32_t nChoice = 0; // radio group: 0 "Size:", 1 "File:"
        std::string strSavePath;
    };
    // The control ids of one disk.
    struct DiskControls {
        int32_t sizeChoice, fileChoice, size, unit, file, browseFile, savePath, browseSave;
    };

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    void EnableControls(const DiskControls& ids, const DiskCopies& copies);
    void ConnectButtons(const DiskControls& ids, DiskCopies& copies);

    DiskOptions* m_pBlock;
    DiskCopies m_sd;
    DiskCopies m_hd;
};
