// File helpers shared by the language-file tests.
#pragma once

#include "TestBytes.h"

#include <QDir>
#include <QTemporaryDir>
#include <string>

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
