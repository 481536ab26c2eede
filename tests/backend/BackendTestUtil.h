// Helpers shared by the back-end tests.
#pragma once

#include "MachineFile.h"
#include "ScopedEnvironment.h"
#include "TestBytes.h"
#include "TestRecords.h"
#include "TestRow.h"
#include "Text.h"

#include <QByteArray>

namespace bxtest {

// Only `display` as the desktop; none when it is empty.
struct DesktopEnvironment : ScopedEnvironment {
    explicit DesktopEnvironment(const QByteArray& display)
        : ScopedEnvironment({{"DISPLAY", display}, {"WAYLAND_DISPLAY", {}}}) {}
};

} // namespace bxtest
