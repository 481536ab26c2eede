// Helpers shared by the back-end tests.
#pragma once

#include "MachineFile.h"
#include "Text.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <cstring>
#include <string>

namespace bxtest {

inline EmulatorOptions ZeroRecord() {
    EmulatorOptions record;
    std::memset(&record, 0, sizeof record);
    return record;
}

inline EmulatorOptions NamedRecord(const std::string& name) {
    EmulatorOptions record = ZeroRecord();
    bx::WriteField(record.general.name, name);
    return record;
}

inline bool SameRecord(const EmulatorOptions& a, const EmulatorOptions& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline std::string ToStd(const QString& s) {
    return s.toStdString();
}

} // namespace bxtest
