// The OS page: kernel image, initrd image, kernel command line.
#pragma once

#include "app/backend/brevantix.h"
#include "config/EmulPropertyPage.h"

#include <string>

class CEmulatorOS : public CEmulPropertyPage {
    Q_OBJECT
public:
    explicit CEmulatorOS(OsOptions* block, QWidget* parent = nullptr);
    ~CEmulatorOS() override;

    bool OnKillActive() override;
    void OnOK() override;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    OsOptions* m_pBlock;
    std::string m_strOsImage;
    std::string m_strInitrdImage;
    std::string m_strCmdLine;
};
