#pragma once

#include <string_view>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include "support/Files.h"

// The shared file helpers for paths and bytes as Qt holds them, and picture files made
// on the spot.
namespace nuv::test {

// A TempFolder as Qt code names one: its path without the trailing "/", and a file in it.
class QtTempFolder : public TempFolder {
public:
    using TempFolder::TempFolder;
    QString path() const { return QString::fromStdString(Dir().string()); }
    QString filePath(const QString& name) const { return path() + QLatin1Char('/') + name; }
};

inline QByteArray ReadFile(const QString& path) {
    return QByteArray::fromStdString(ReadFile(std::filesystem::path(path.toStdString())));
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    WriteFile(std::filesystem::path(path.toStdString()), std::string_view(bytes.constData(), bytes.size()));
}

inline QByteArray ReadData(const QString& relative) {
    return QByteArray::fromStdString(ReadData(std::string_view(relative.toStdString())));
}

// The bytes of `image` as a PNG file.
inline QByteArray PngOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The bytes of a PNG file of `width` x `height` pixels, all of `colour`.
inline QByteArray PngBytes(int width, int height, const QColor& colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return PngOf(image);
}

}  // namespace nuv::test
