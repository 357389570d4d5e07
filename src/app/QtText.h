#pragma once

#include <string>

#include <QByteArray>
#include <QString>

namespace nuv {

// Browser and widget strings arrive as UTF-16; the program's text is UTF-8 bytes.
inline std::string ToUtf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

}  // namespace nuv
