#include "EmulatorPeri.h"

CEmulatorPeri::CEmulatorPeri(PeriOptions* block, QWidget* parent)
    : CEmulPropertyPage(131, parent), m_pBlock(block) {}

CEmulatorPeri::~CEmulatorPeri() = default;
