#include "codecs/Pictures.h"

#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

#include "common/Shell.h"

namespace nuv {
namespace {

// What a decoder may allocate for one picture, in megabytes; also covers formats whose
// size is not known before decoding.
constexpr int kAllocationLimitMb = 64;

void Show(QLabel* image, const QImage& picture) {
    image->setPixmap(QPixmap::fromImage(picture));
    image->resize(picture.size());
}

}  // namespace

QString PngDialogFilter() {
    return QStringLiteral("Portable Graphics Network (*.png)");
}

QImage ReadPicture(const std::string& fileName, const char* format) {
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    QImageReader reader(QString::fromUtf8(fileName.data(), static_cast<qsizetype>(fileName.size())), format);
    reader.setDecideFormatFromContent(format == nullptr);
    const QSize size = reader.size();
    if (size.isValid()) {
        const QByteArray kind = reader.format();
        const bool decodesScaled = kind == "jpeg" || kind == "svg" || kind == "svgz";
        const qint64 most = decodesScaled ? kMostScaledPixels : kMostDecodedPixels;
        if (qint64{size.width()} * size.height() > most) return {};
        if (size.width() > kLargestPicture.width() || size.height() > kLargestPicture.height()) {
            reader.setScaledSize(
                size.scaled(kLargestPicture, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        }
    }
    return reader.read();
}

void LoadPictureDecoders() { QImageReader::supportedImageFormats(); }

QSize PictureFileSize(const std::string& fileName) {
    QImageReader reader(QString::fromUtf8(fileName.data(), static_cast<qsizetype>(fileName.size())));
    reader.setDecideFormatFromContent(true);
    return reader.size();
}

std::optional<std::uint64_t> PictureDifferenceHash(const std::string& fileName, QSize* size) {
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    QImageReader reader(QString::fromUtf8(fileName.data(), static_cast<qsizetype>(fileName.size())));
    reader.setDecideFormatFromContent(true);
    const QSize header = reader.size();
    if (size) *size = header;
    if (!header.isValid()) return std::nullopt;
    const QByteArray kind = reader.format();
    const bool decodesScaled = kind == "jpeg" || kind == "svg" || kind == "svgz";
    if (qint64{header.width()} * header.height() > (decodesScaled ? kMostScaledPixels : kMostDecodedPixels))
        return std::nullopt;
    // Nine by eight pixels need little of the picture: JPEG decodes at an eighth of its
    // size (its blocks' mean colours alone) and SVG at that size directly; the others decode
    // whole, and are scaled once below.
    if (decodesScaled && header.width() >= 72 && header.height() >= 64)
        reader.setScaledSize(QSize(header.width() / 8, header.height() / 8));
    const QImage picture = reader.read();
    if (picture.isNull()) return std::nullopt;
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8)
                            .scaled(9, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (grey.width() != 9 || grey.height() != 8) return std::nullopt;
    std::uint64_t hash = 0;
    for (int y = 0; y < 8; ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < 8; ++x) {
            if (row[x] > row[x + 1]) hash |= std::uint64_t{1} << (8 * y + x);
        }
    }
    return hash;
}

void LoadPngPicture(QLabel* image, const std::string& fileName) {
    if (!image) return;
    const QImage picture = ReadPicture(fileName, "png");
    if (!picture.isNull()) Show(image, picture);
}

void LoadJpegPicture(QLabel* image, const std::string& fileName, IShell& shell) {
    const QImage picture = image ? ReadPicture(fileName, "jpeg") : QImage();
    if (picture.isNull()) {
        OpenLocation(shell, fileName);
        return;
    }
    Show(image, picture);
}

bool LoadBmpPicture(QLabel* image, const std::string& fileName) {
    const QImage picture = image ? ReadPicture(fileName, "bmp") : QImage();
    if (picture.isNull()) return false;
    Show(image, picture);
    return true;
}

bool LoadOlePicture(QLabel* image, const std::string& fileName, IShell& shell) {
    const QImage picture = image ? ReadPicture(fileName, nullptr) : QImage();
    if (!picture.isNull()) {
        Show(image, picture);
        image->show();
        return true;
    }
    if (image) image->hide();
    OpenLocation(shell, fileName);
    return false;
}

}  // namespace nuv
