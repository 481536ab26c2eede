// Helpers shared by the back-end tests.
#pragma once

#include "MachineFile.h"
#include "TestBytes.h"
#include "TestRecords.h"
#include "Text.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>
#include <cstring>
#include <string>
#include <vector>

namespace bxtest {

// Sets or clears the desktop variables for one scope.
class DesktopEnvironment {
public:
    explicit DesktopEnvironment(const QByteArray& display) {
        for (const char* name : kNames) {
            m_saved.push_back(qgetenv(name));
            m_had.push_back(qEnvironmentVariableIsSet(name));
            qunsetenv(name);
        }
        if (!display.isEmpty())
            qputenv("DISPLAY", display);
    }
    ~DesktopEnvironment() {
        for (size_t i = 0; i < std::size(kNames); ++i) {
            if (m_had[i])
                qputenv(kNames[i], m_saved[i]);
            else
                qunsetenv(kNames[i]);
        }
    }

private:
    static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY"};
    std::vector<QByteArray> m_saved;
    std::vector<bool> m_had;
};

} // namespace bxtest
