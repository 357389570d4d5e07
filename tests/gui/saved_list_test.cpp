// The saved-files list of the main window, offscreen, over a temporary save folder and a
// private trash ($XDG_DATA_HOME/Trash).
#include <memory>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

#include "app/MainWindow.h"
#include "common/Strings.h"
#include "common/Text.h"
#include "platform/QtText.h"
#include "support/Fakes.h"
#include "support/WindowDriver.h"
#include "web/CurlDownloader.h"

using namespace nuv;
using namespace nuv::test;

class SavedListTest : public QObject, protected TestWindowServices {
    Q_OBJECT

private:
    QtTempFolder root_;
    QString save_;  // the save folder of the current test, without the trailing "/"
    int round_ = 0;

    QListWidget* List() { return Child<QListWidget>("BitmapListBox"); }
    QString Saved(const QString& name) const { return save_ + QLatin1Char('/') + name; }
    std::string SavedPath(const char* name) const {
        return ToUtf8(Saved(QString::fromLatin1(name)));
    }

    void Write(const char* name, const QByteArray& bytes = "x") {
        QFile f(Saved(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void WritePicture(const char* name, QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        QVERIFY(image.save(Saved(QString::fromLatin1(name)), "PNG"));
    }
    void Refresh() {
        Child<QLineEdit>("EdtPicPath")->setText(save_);
        window_->SavedFiles().RefreshSavedList();
    }
    QStringList Entries() {
        QStringList names;
        for (int i = 0; i < List()->count(); ++i) names << List()->item(i)->text();
        names.sort();
        return names;
    }
    void ClickEntry(const char* name) {
        const QList<QListWidgetItem*> found =
            List()->findItems(QString::fromLatin1(name), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                          List()->visualItemRect(found[0]).center());
    }
    void SelectEntries(const QStringList& names) {
        for (const QString& n : names)
            List()->findItems(n, Qt::MatchExactly).value(0)->setSelected(true);
    }
    void PressDelete() {
        List()->setFocus();
        QTest::keyClick(List(), Qt::Key_Delete);
    }
    QString Hint() { return Child<QLabel>("LblHint")->text(); }

private slots:
    void initTestCase() {
        // Home on the save folder's file system, so the trash used is $XDG_DATA_HOME/Trash.
        qputenv("HOME", root_.path().toUtf8());
        qputenv("XDG_DATA_HOME", root_.filePath(QStringLiteral("data")).toUtf8());
    }

    void init() {
        save_ = root_.filePath(QStringLiteral("save%1").arg(++round_));
        QVERIFY(QDir().mkpath(save_));
        QVERIFY(ShowFreshWindow({1024, 736}));
    }

    void cleanup() { window_.reset(); }

    void clickShowsAPictureOrHandsTheFileToTheDesktop() {
        WritePicture("a.png", QSize(40, 30));
        Write("b.css", "body { color: red }");
        QVERIFY(QDir(save_).mkdir(QStringLiteral("sub")));
        window_->State().CurPicName = "/somewhere/else/b.css";
        Refresh();
        QCOMPARE(Entries(), (QStringList{QStringLiteral("a.png"), QStringLiteral("b.css")}));
        // The entry named like CurPicName is current, but nothing is selected.
        QCOMPARE(List()->currentItem()->text(), QStringLiteral("b.css"));
        QVERIFY(List()->selectedItems().isEmpty());

        auto* preview = Child<QWidget>("PnlImgPreview");
        auto* image = Child<QLabel>("ImgPreview");
        QVERIFY(!preview->isVisible());
        ClickEntry("a.png");
        QVERIFY(preview->isVisible());
        QVERIFY(image->isVisible());
        QCOMPARE(image->pixmap().size(), QSize(40, 30));
        QCOMPARE(Hint(), FromUtf8(strFolderName + ":" + SavedPath("a.png")));
        QVERIFY(shell_.opened.empty());

        // A click on the preview and the popup entries open the file and the folder.
        QTest::mouseClick(image, Qt::LeftButton);
        Child<QAction>("N2")->trigger();
        QCOMPARE(shell_.opened,
                 (std::vector<std::string>{SavedPath("a.png"), ToUtf8(save_) + "/"}));
        // A refresh makes b.css current again; the preview still opens the picture it shows.
        shell_.opened.clear();
        Refresh();
        QCOMPARE(List()->currentItem()->text(), QStringLiteral("b.css"));
        QTest::mouseClick(image, Qt::LeftButton);
        QCOMPARE(shell_.opened, std::vector<std::string>{SavedPath("a.png")});

        shell_.opened.clear();
        ClickEntry("b.css");
        QVERIFY(!image->isVisible());
        QCOMPARE(shell_.opened, std::vector<std::string>{SavedPath("b.css")});
        QCOMPARE(Hint(), FromUtf8(strFolderName + ":" + SavedPath("b.css")));
    }

    void threeSelectedEntriesGoToTheTrashAtOnce() {
        for (const char* name : {"1.jpg", "2.css", "3.gif", "4.txt"}) Write(name);
        Refresh();
        SelectEntries({QStringLiteral("1.jpg"), QStringLiteral("2.css"), QStringLiteral("3.gif")});
        PressDelete();
        QCOMPARE(Entries(), QStringList{QStringLiteral("4.txt")});
        const QDir trash(root_.filePath(QStringLiteral("data/Trash/files")));
        for (const char* name : {"1.jpg", "2.css", "3.gif"}) {
            QVERIFY2(!QFile::exists(Saved(QString::fromLatin1(name))), name);
            QVERIFY2(trash.exists(QString::fromLatin1(name)), name);
        }
        QVERIFY(dialogs_.messages.empty());
    }

    void deleteWithNothingSelectedAsksForASelection() {
        Write("keep.txt");
        Refresh();
        PressDelete();
        QCOMPARE(dialogs_.messages, std::vector<std::string>{strSelectFiles});
        QVERIFY(QFile::exists(Saved(QStringLiteral("keep.txt"))));
        QCOMPARE(List()->count(), 1);
    }

    void withoutATrashTheFileIsDeletedForGoodAndTheHintSaysSo() {
        // A data folder under a plain file: no home trash can exist. The current folder
        // is where Qt would otherwise put the file.
        QFile blocker(root_.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        const QString oldCurrent = QDir::currentPath();
        const QString current = root_.filePath(QStringLiteral("current"));
        QVERIFY(QDir().mkpath(current));
        qputenv("XDG_DATA_HOME", (blocker.fileName() + QStringLiteral("/data")).toUtf8());
        QDir::setCurrent(current);

        Write("gone.txt");
        Refresh();
        SelectEntries({QStringLiteral("gone.txt")});
        PressDelete();
        QDir::setCurrent(oldCurrent);
        qputenv("XDG_DATA_HOME", oldData);

        QVERIFY(!QFile::exists(Saved(QStringLiteral("gone.txt"))));
        QVERIFY(List()->count() == 0);
        QCOMPARE(Hint(), QStringLiteral("没有可用的回收站，已永久删除1个文件"));
        QCOMPARE(QDir(current).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{});
    }

    void folderBoxCommitsAndTheFolderButtons() {
        Child<QCheckBox>("CbPath")->click();  // shows the folder bar
        QVERIFY(Child<QWidget>("PnlPath")->isVisible());
        auto* box = Child<QLineEdit>("EdtPicPath");
        const QString made = root_.filePath(QStringLiteral("x/new"));
        box->setText(root_.filePath(QStringLiteral("x//new")));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(box->text(), made + QLatin1Char('/'));
        QVERIFY(QDir(made).exists());
        QCOMPARE(FromUtf8(window_->State().SaveFolder), made + QLatin1Char('/'));
        QCOMPARE(List()->count(), 0);

        // The open-folder button reports a folder that has gone.
        QVERIFY(QDir(made).removeRecursively());
        QTest::mouseClick(Child<QToolButton>("BtnOpenDir"), Qt::LeftButton);
        QCOMPARE(dialogs_.messages,
                 std::vector<std::string>{FormatS(strDiskNotExist, {ToUtf8(made) + "/"})});

        // A blank box cannot be committed.
        box->setText(QStringLiteral("  "));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(dialogs_.messages.back(), strEnterFolder);
        QCOMPARE(Hint(), FromUtf8(strInvalidFolderName));
        QVERIFY(window_->State().SaveFolder.empty());

        // Choosing a folder lists it.
        Write("chosen.txt");
        dialogs_.answer = ToUtf8(save_);
        QTest::mouseClick(Child<QToolButton>("BtnSelectPath"), Qt::LeftButton);
        QCOMPARE(box->text(), save_ + QLatin1Char('/'));
        QCOMPARE(Entries(), QStringList{QStringLiteral("chosen.txt")});

        // Leaving a blank box puts the home folder into it and the focus back.
        QApplication::setActiveWindow(window_.get());
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        box->setText(QStringLiteral(" "));
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        dialogs_.messages.clear();
        List()->setFocus();
        QCOMPARE(box->text(), FromUtf8(Home()));
        QCOMPARE(dialogs_.messages, std::vector<std::string>{strEnterFolder});
        QTRY_VERIFY(box->hasFocus());
        // Leaving it again commits the home folder.
        List()->setFocus();
        QCOMPARE(window_->State().SaveFolder, Home());
        QCOMPARE(dialogs_.messages.size(), size_t{1});
    }
};

NUV_GUI_TEST_MAIN(SavedListTest)
#include "saved_list_test.moc"
