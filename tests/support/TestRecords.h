// Machine records for tests, as the back end's exports pass them.
#pragma once

#include "app/backend/brevantix.h"

#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <string>

inline EmulatorOptions ZeroRecord() {
    EmulatorOptions record;
    std::memset(&record, 0, sizeof record);
    return record;
}

// `name` must fit its field.
inline EmulatorOptions NamedRecord(const std::string& name) {
    EmulatorOptions record = ZeroRecord();
    std::memcpy(record.general.name, name.data(),
                std::min(name.size(), sizeof record.general.name - 1));
    return record;
}

inline bool SameRecord(const EmulatorOptions& a, const EmulatorOptions& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

template <class T> QByteArray BytesOf(const T& block) {
    return QByteArray(reinterpret_cast<const char*>(&block), sizeof block);
}
