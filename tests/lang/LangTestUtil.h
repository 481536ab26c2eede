// File helpers shared by the language-file tests.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <iterator>
#include <string>

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::string& path) {
    return QFileInfo::exists(QString::fromStdString(path));
}

// Every entry of `dir` but `keep`: what a write left behind.
inline QStringList Leftovers(const QTemporaryDir& dir, const QString& keep) {
    QStringList names =
        QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.removeAll(keep);
    return names;
}

inline std::string PathIn(const QTemporaryDir& dir, const char* name) {
    return dir.filePath(QString::fromUtf8(name)).toStdString();
}

// Compares byte strings with readable output on failure.
#define COMPARE_BYTES(actual, expected)                                                            \
    QCOMPARE(QByteArray::fromStdString(actual), QByteArray::fromStdString(expected))
