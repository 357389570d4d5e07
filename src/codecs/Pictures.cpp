#include "codecs/Pictures.h"

#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

#include "common/Shell.h"
#include "platform/QtText.h"

namespace nuv {
namespace {

bool Decode(const std::string& fileName, const char* format, QImage& out) {
    QImageReader reader(FromUtf8(fileName), format);
    reader.setDecideFormatFromContent(format == nullptr);
    out = reader.read();
    return !out.isNull();
}

}  // namespace

QString PngDialogFilter() { return QStringLiteral("Portable Graphics Network (*.png)"); }

void LoadPngPicture(QLabel* image, const std::string& fileName) {
    QImage picture;
    if (!image || !Decode(fileName, "png", picture)) return;
    image->setPixmap(QPixmap::fromImage(picture));
    image->resize(picture.size());
}

void LoadJpegPicture(QLabel* image, const std::string& fileName, IShell& shell) {
    QImage picture;
    if (!image || !Decode(fileName, "jpeg", picture)) {
        OpenLocation(shell, fileName);
        return;
    }
    image->setPixmap(QPixmap::fromImage(picture));
    image->resize(picture.size());
}

bool LoadOlePicture(QLabel* image, const std::string& fileName, IShell& shell) {
    QImage picture;
    if (image && Decode(fileName, nullptr, picture)) {
        image->setPixmap(QPixmap::fromImage(picture));
        image->resize(picture.size());
        image->show();
        return true;
    }
    if (image) image->hide();
    OpenLocation(shell, fileName);
    return false;
}

}  // namespace nuv
