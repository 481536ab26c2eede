// Environment variables set for one scope and restored after it. Qt Core only.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <initializer_list>
#include <utility>
#include <vector>

class ScopedEnvironment {
public:
    // An empty value clears the variable.
    ScopedEnvironment(std::initializer_list<std::pair<const char*, QByteArray>> values) {
        for (const auto& [name, value] : values) {
            m_saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            if (value.isEmpty())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (const Saved& saved : m_saved) {
            if (saved.wasSet)
                qputenv(saved.name, saved.value);
            else
                qunsetenv(saved.name);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    std::vector<Saved> m_saved;
};
