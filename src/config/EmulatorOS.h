// The OS page: kernel image, initrd image, kernel command line.
#pragma once

#include "EmulPropertyPage.h"
#include "brevantix.h"

class CEmulatorOS : public CEmulPropertyPage {
    Q_OBJECT
public:
    explicit CEmulatorOS(OsOptions* block, QWidget* parent = nullptr);
    ~CEmulatorOS() override;

private:
    OsOptions* m_pBlock;
};
