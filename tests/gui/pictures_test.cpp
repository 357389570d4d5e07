// Resource lookup and the picture loaders, with real files and Qt's image plugins.
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include "platform/QtResources.h"
#include "codecs/Pictures.h"
#include "support/Fakes.h"
#include "platform/QtText.h"

using namespace nuv;

class PicturesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    std::string Write(const char* name, const char* format, QSize size) {
        const QString path = dir_.filePath(QString::fromLatin1(name));
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::blue);
        if (format) {
            img.save(path, format);
        } else {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write("this is not a picture at all");
        }
        return ToUtf8(path);
    }

private slots:
    void resourcesAreFoundWhateverTheCase() {
        QPixmap glyph;
        LoadBitmapResource(glyph, "OPENDIR", "BMP");
        QCOMPARE(glyph.height(), 25);
        QVERIFY(glyph.width() >= 56 && glyph.width() <= 122);
        QPixmap banner;
        LoadJpegResource(banner, "Tesvarn", "jpg");
        QCOMPARE(banner.size(), QSize(120, 55));

        QPixmap kept(3, 3);
        LoadBitmapResource(kept, "nosuchglyph", "bmp");
        QCOMPARE(kept.size(), QSize(3, 3));  // a missing resource leaves the target alone

        const std::vector<std::string> page1 = LoadTextResource("PAGE1");
        QCOMPARE(page1.size(), size_t(62));
        QCOMPARE(page1.front(), std::string("<html> <style>"));
        QCOMPARE(page1.back(), std::string("<body><table>"));
        QVERIFY(LoadTextResource("nosuchtext").empty());
    }

    void picturesLoadOrGoToTheDesktop() {
        test::RecordingShell shell;
        QLabel image;
        LoadPngPicture(&image, Write("a.png", "PNG", QSize(40, 30)));
        QCOMPARE(image.pixmap().size(), QSize(40, 30));
        LoadPngPicture(&image, Write("bad.png", nullptr, {}));
        QCOMPARE(image.pixmap().size(), QSize(40, 30));  // kept as it was

        LoadJpegPicture(&image, Write("b.jpg", "JPEG", QSize(16, 8)), shell);
        QCOMPARE(image.pixmap().size(), QSize(16, 8));
        QVERIFY(shell.opened.empty());
        const std::string badJpeg = Write("bad.jpg", nullptr, {});
        LoadJpegPicture(&image, badJpeg, shell);
        QCOMPARE(shell.opened, std::vector<std::string>{badJpeg});

        image.hide();
        QVERIFY(LoadOlePicture(&image, Write("c.bmp", "BMP", QSize(7, 5)), shell));
        QCOMPARE(image.pixmap().size(), QSize(7, 5));
        QVERIFY(!image.isHidden());
        const std::string badGif = Write("bad.gif", nullptr, {});
        QVERIFY(!LoadOlePicture(&image, badGif, shell));
        QVERIFY(image.isHidden());
        QCOMPARE(shell.opened.back(), badGif);
        QCOMPARE(PngDialogFilter(), QStringLiteral("Portable Graphics Network (*.png)"));
    }
};

NUV_GUI_TEST_MAIN(PicturesTest)
#include "pictures_test.moc"
