#include "EmulatorOS.h"

CEmulatorOS::CEmulatorOS(OsOptions* block, QWidget* parent)
    : CEmulPropertyPage(132, parent), m_pBlock(block) {}

CEmulatorOS::~CEmulatorOS() = default;
