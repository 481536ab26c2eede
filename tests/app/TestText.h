// Byte texts of the binding in a form QCOMPARE can print.
#pragma once

#include <QByteArray>
#include <QList>
#include <string>
#include <vector>

inline QByteArray Bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

inline QList<QByteArray> Bytes(const std::vector<std::string>& texts) {
    QList<QByteArray> out;
    for (const std::string& text : texts) {
        out << Bytes(text);
    }
    return out;
}
