// The General page: name, target, CPU, memory, TAP adapter, display flag.
#pragma once

#include "EmulPropertyPage.h"
#include "brevantix.h"

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

private:
    EmulatorOptions* m_pOptions;
    std::string m_strOwnName;
};
