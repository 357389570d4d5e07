// Resource lookup and the picture loaders, with real files and Qt's image plugins.
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTest>

#include "codecs/Pictures.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "support/Fakes.h"

using namespace nuv;

class PicturesTest : public QObject {
    Q_OBJECT

private:
    test::QtTempFolder dir_;

    // Rewrites the width and height that follow `marker` (at `offset` bytes after it) in a
    // picture file: 16-bit height then width for JPEG, 32-bit width then height for PNG,
    // whose chunk checksum is then recomputed.
    static bool PatchSize(const QString& path, const char* marker, int offset, quint32 w, quint32 h,
                          bool png = false) {
        QFile f(path);
        if (!f.open(QIODevice::ReadWrite)) return false;
        QByteArray bytes = f.readAll();
        const qsizetype at = bytes.indexOf(marker);
        if (at < 0) return false;
        auto put = [&](qsizetype pos, quint32 value, int size) {
            for (int i = 0; i < size; ++i) bytes[pos + i] = char(value >> (8 * (size - 1 - i)));
        };
        if (png) {
            put(at + offset, w, 4);
            put(at + offset + 4, h, 4);
            put(at + 17, Crc32(bytes.mid(at, 17)), 4);  // type and 13 data bytes
        } else {
            put(at + offset, h, 2);
            put(at + offset + 2, w, 2);
        }
        f.seek(0);
        return f.write(bytes) == bytes.size();
    }

    static quint32 Crc32(const QByteArray& data) {
        quint32 crc = 0xFFFFFFFFu;
        for (char c : data) {
            crc ^= static_cast<quint8>(c);
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    }

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

    void everyPreviewFormatDecodes() {
        test::RecordingShell shell;
        QLabel image;
        const struct {
            const char* name;
            const char* format;  // written by Qt; null: the bytes below
            QByteArray bytes;
            QSize size;
        } cases[] = {
            {"p.jpg", "JPEG", {}, {12, 9}},
            {"p.png", "PNG", {}, {12, 9}},
            {"p.bmp", "BMP", {}, {12, 9}},
            {"p.ico", "ICO", {}, {12, 9}},
            {"p.tif", "TIFF", {}, {12, 9}},
            {"p.webp", "WEBP", {}, {12, 9}},
            {"p.gif",
             nullptr,
             QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000"
                                 "002c00000000010001000002024401003b"),
             {1, 1}},
            {"p.svg",
             nullptr,
             "<svg xmlns='http://www.w3.org/2000/svg' width='30' height='20'>"
             "<rect width='30' height='20' fill='red'/></svg>",
             {30, 20}},
        };
        for (const auto& c : cases) {
            const QString path = dir_.filePath(QString::fromLatin1(c.name));
            if (c.format) {
                QImage img(12, 9, QImage::Format_RGB32);
                img.fill(Qt::red);
                QVERIFY2(img.save(path, c.format), c.name);
            } else {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(c.bytes);
            }
            QVERIFY2(LoadOlePicture(&image, ToUtf8(path), shell), c.name);
            QCOMPARE(image.pixmap().size(), c.size);
        }
        QVERIFY(shell.opened.empty());
    }

    void hugePicturesAreReadSmallOrNotAtAll() {
        test::RecordingShell shell;
        QLabel image;
        // A JPEG of 10,000 x 10,000 pixels (its header says so) decodes at 2048 x 2048.
        const QString jpeg = dir_.filePath(QStringLiteral("huge.jpg"));
        QImage small(16, 16, QImage::Format_RGB32);
        small.fill(Qt::yellow);
        QVERIFY(small.save(jpeg, "JPEG"));
        QVERIFY(PatchSize(jpeg, "\xFF\xC0", 5, 10000, 10000));
        LoadJpegPicture(&image, ToUtf8(jpeg), shell);
        QCOMPARE(image.pixmap().size(), QSize(2048, 2048));
        QVERIFY(shell.opened.empty());

        // A wide PNG is scaled into the bounds, keeping its proportions.
        QImage wide(4000, 1000, QImage::Format_Grayscale8);
        wide.fill(90);
        const QString widePng = dir_.filePath(QStringLiteral("wide.png"));
        QVERIFY(wide.save(widePng, "PNG"));
        LoadPngPicture(&image, ToUtf8(widePng));
        QCOMPARE(image.pixmap().size(), QSize(2048, 512));

        // A decompression bomb: a tiny PNG that claims 100,000 x 100,000 pixels.
        const QString bomb = dir_.filePath(QStringLiteral("bomb.png"));
        QVERIFY(small.save(bomb, "PNG"));
        QVERIFY(PatchSize(bomb, "IHDR", 4, 100000, 100000, true));
        LoadPngPicture(&image, ToUtf8(bomb));
        QCOMPARE(image.pixmap().size(), QSize(2048, 512));  // kept as it was
        QVERIFY(!LoadOlePicture(&image, ToUtf8(bomb), shell));
        QCOMPARE(shell.opened, std::vector<std::string>{ToUtf8(bomb)});
    }
};

NUV_GUI_TEST_MAIN(PicturesTest)
#include "pictures_test.moc"
