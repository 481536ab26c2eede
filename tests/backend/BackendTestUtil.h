// Helpers shared by the back-end tests.
#pragma once

#include "MachineFile.h"
#include "ScopedEnvironment.h"
#include "TestBytes.h"
#include "TestRecords.h"
#include "Text.h"

#include <QByteArray>
#include <QTest>

namespace bxtest {

// Only `display` as the desktop; none when it is empty.
struct DesktopEnvironment : ScopedEnvironment {
    explicit DesktopEnvironment(const QByteArray& display)
        : ScopedEnvironment({{"DISPLAY", display}, {"WAYLAND_DISPLAY", {}}}) {}
};

// One data row, its values in column order.
template <class... Values> void Row(const char* name, const Values&... values) {
    (QTest::newRow(name) << ... << values);
}

} // namespace bxtest
