// Shared set-up of the General page and TAP dialog tests.
#pragma once

#include "../ConfigFixture.h"
#include "app/backend/EmulatorLib.h"

#include <QLineEdit>
#include <memory>

namespace general_test {

using namespace config_test;

inline QStringList ArgsOf(const std::string& function, size_t arg) {
    QStringList out;
    for (const BackendCall& call : TestBackend::CallsOf(function))
        out << (arg < call.args.size() ? FromLocal(call.args[arg]) : QStringLiteral("<none>"));
    return out;
}

inline int CountOf(const std::string& function) {
    return static_cast<int>(TestBackend::CallsOf(function).size());
}

} // namespace general_test
