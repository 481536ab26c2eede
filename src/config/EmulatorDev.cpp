#include "EmulatorDev.h"

CEmulatorDev::CEmulatorDev(EmulatorOptions* options, QWidget* parent)
    : CEmulPropertyPage(129, parent), m_pOptions(options) {}

CEmulatorDev::~CEmulatorDev() = default;
