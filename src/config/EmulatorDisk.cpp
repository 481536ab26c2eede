#include "EmulatorDisk.h"

CEmulatorDisk::CEmulatorDisk(DiskOptions* block, QWidget* parent)
    : CEmulPropertyPage(130, parent), m_pBlock(block) {}

CEmulatorDisk::~CEmulatorDisk() = default;
