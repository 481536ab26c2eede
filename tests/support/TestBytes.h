// Byte texts in the forms QCOMPARE prints, and whole files as bytes. Qt Core
// only, for the back-end tests as well.
#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

inline QByteArray Bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

inline QList<QByteArray> Bytes(const std::vector<std::string>& texts) {
    QList<QByteArray> out;
    for (const std::string& text : texts)
        out << Bytes(text);
    return out;
}

inline std::string Bytes(const QByteArray& data) {
    return data.toStdString();
}

inline std::string ToStd(const QString& text) {
    return text.toStdString();
}

inline std::vector<std::string> ToStd(const QStringList& texts) {
    std::vector<std::string> out;
    for (const QString& text : texts)
        out.push_back(ToStd(text));
    return out;
}

// Empty when the file cannot be read.
inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bool(out.flush());
}

inline bool Exists(const std::string& path) {
    return QFileInfo::exists(QString::fromStdString(path));
}

// Compares byte strings with readable output on failure.
#define COMPARE_BYTES(actual, expected)                                                            \
    QCOMPARE(Bytes(std::string(actual)), Bytes(std::string(expected)))
