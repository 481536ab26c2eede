// The Peripherals page: serial port and up to MAX_PERI further peripherals.
#pragma once

#include "EmulPropertyPage.h"
#include "brevantix.h"

class CEmulatorPeri : public CEmulPropertyPage {
    Q_OBJECT
public:
    explicit CEmulatorPeri(PeriOptions* block, QWidget* parent = nullptr);
    ~CEmulatorPeri() override;

private:
    PeriOptions* m_pBlock;
};
