// The General page: name, target, CPU, memory, TAP adapter, display flag.
#pragma once

#include "app/backend/brevantix.h"
#include "config/EmulPropertyPage.h"

#include <cstdint>
#include <string>

class CEmulatorDev : public CEmulPropertyPage {
    Q_OBJECT
public:
    // The whole record: the page also has the back end fill `arch`.
    explicit CEmulatorDev(EmulatorOptions* options, QWidget* parent = nullptr);
    ~CEmulatorDev() override;

    // While editing: the machine's original name counts as free in the
    // taken-name check.
    void SetOwnName(const std::string& name) { m_strOwnName = name; }

    bool OnKillActive() override;
    void OnOK() override;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    void OnSelchangeTarget();
    void OnInstall();
    void OnRefresh();
    void OnRename();

    void ConnectControls();
    void FillCpus();
    void FillAdapters();
    // Shows `text`, puts the focus on the Name edit; always false (refuse).
    bool RefuseName(const std::string& text);

    EmulatorOptions* m_pOptions;
    int32_t m_nDisplayEnable = 1;
    std::string m_strCpu;
    std::string m_strMemType;
    std::string m_strTapAdapter;
    std::string m_strTarget;
    std::string m_strMemSize;
    std::string m_strName;
    std::string m_strOwnName;
};
