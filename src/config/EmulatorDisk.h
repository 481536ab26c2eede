// The Disk page: SD card and hard disk, each a new image or an existing file.
#pragma once

#include "EmulPropertyPage.h"
#include "brevantix.h"

class CEmulatorDisk : public CEmulPropertyPage {
    Q_OBJECT
public:
    explicit CEmulatorDisk(DiskOptions* block, QWidget* parent = nullptr);
    ~CEmulatorDisk() override;

private:
    DiskOptions* m_pBlock;
};
