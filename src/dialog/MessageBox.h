#pragma once

#include <string>

class QWidget;

// A message box with `text` (locale bytes), one OK button, titled with the
// application's name.
void ShowMessage(QWidget* parent, const std::string& text);
// Qt strings from locale bytes and back: the one conversion at the toolkit
// boundary.
#include <QString>
inline QString FromLocal(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string ToLocal(const QString& s) {
    const QByteArray b = s.toLocal8Bit();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}
