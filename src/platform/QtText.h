#pragma once

#include <string>

#include <QByteArray>
#include <QString>

// The one conversion between the program's text (UTF-8 bytes in std::string) and the
// UTF-16 strings of Qt and the browser.
namespace nuv {

inline std::string ToUtf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

inline QString FromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The text of an edit box to store: `restored`, the bytes the box was filled from, while
// the box still shows them (bytes that are no UTF-8 included); else the box's own text.
inline std::string StoredText(const QString& shown, const std::string& restored) {
    return shown == FromUtf8(restored) ? restored : ToUtf8(shown);
}

}  // namespace nuv
