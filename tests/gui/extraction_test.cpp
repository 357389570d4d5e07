// Image, Flash, other-resources and style-sheet extraction end to end: the real main
// window and Qt WebEngine, offscreen, over a site served on 127.0.0.1 by the test, with
// the real downloader and HTTP client.
#include <memory>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "app/MainWindow.h"
#include "library/Preview.h"
#include "net/HttpPageFetcher.h"
#include "support/Fakes.h"
#include "support/TestHttpServer.h"
#include "web/CurlDownloader.h"

using namespace nuv;
using namespace nuv::test;

class ExtractionTest : public QObject {
    Q_OBJECT

private:
    RecordingDialogs dialogs_;
    RecordingShell shell_;
    CurlDownloader downloader_;
    HttpPageFetcher http_;
    QTemporaryDir programDir_;
    TestHttpServer site_;
    std::unique_ptr<TFrmWebpageAnalysis> window_;

    std::string U(const char* path) const { return site_.Url(QString::fromLatin1(path)).toStdString(); }

    void Select(int row) {
        auto* list = window_->findChild<QListWidget*>(QStringLiteral("LBDocType"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }

    // How often `tag` opens an element in the result page once it has loaded.
    int ResultCount(const std::string& tag) {
        TFrmPreview* preview = window_->ResultWindowIfAny();
        if (!preview || preview->Browser().ReadyState() != 4) return -1;
        std::string html;
        try {
            html = preview->Browser().TopElementOuterHtml();
        } catch (...) {
            return -1;
        }
        int n = 0;
        for (size_t at = html.find("<" + tag + " "); at != std::string::npos; at = html.find("<" + tag + " ", at + 1)) ++n;
        return n;
    }

private slots:
    void initTestCase() {
        QVERIFY(programDir_.isValid());
        site_.Put(QStringLiteral("/index.html"),
                  "<html><head><link rel=\"stylesheet\" href=\"style/site.css\"></head><body>"
                  "<img src=\"img/logo.gif\"><img src=\"IMG/LOGO.GIF\"><img src=\"img/photo.jpeg\">"
                  "<embed src=\"media/intro.swf\"><a href=\"player.php?f=x.swf\">player</a>"
                  "<a href=\"files/pack.zip\">zip</a><a href=\"docs/page.html\">page</a>"
                  "<a href=\"media/Clip.SWF\">clip</a><a href=\"#top\">top</a><a href=\"files/pack.zip\">again</a>"
                  "<iframe src=\"frame.html\"></iframe><iframe src=\"about:blank\"></iframe></body></html>");
        site_.Put(QStringLiteral("/style/site.css"),
                  "body { background: url(../img/bg.png); }\n.logo { background: url(../img/logo.gif) }\n",
                  "text/css");
        site_.Put(QStringLiteral("/frame.html"),
                  "<html><body><img src=\"inner/f.gif\"><iframe src=\"nested.html\"></iframe></body></html>");
        site_.Put(QStringLiteral("/nested.html"), "<html><body><img src=\"n.png\"></body></html>");
        for (const char* p : {"/img/logo.gif", "/img/photo.jpeg", "/img/bg.png", "/inner/f.gif", "/n.png"})
            site_.Put(QString::fromLatin1(p), QByteArray("picture bytes of ") + p, "image/png");

        window_ = std::make_unique<TFrmWebpageAnalysis>(MainWindowServices{
            dialogs_, shell_, downloader_, http_, programDir_.path().toStdString() + "/", "/tmp/"});
        window_->resize(1100, 760);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QSignalSpy done(&window_->MainBrowser(), &WebEngineBrowser::NavigateComplete);
        auto* edit = window_->findChild<QLineEdit*>(QStringLiteral("EdtURL"));
        edit->setText(site_.Url(QStringLiteral("/index.html")));
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(done.wait(30000));
    }

    void cleanupTestCase() { window_.reset(); }

    void imagesComeFromSourceStyleSheetsAndFramesInOrder() {
        const std::vector<std::string> expected = {U("/img/logo.gif"), U("/img/photo.jpeg"), U("/img/bg.png"),
                                                   U("/inner/f.gif"), U("/n.png")};
        // Frames report their addresses asynchronously; the extraction is repeatable.
        QTRY_VERIFY_WITH_TIMEOUT((Select(2), window_->Extractor().lists.ImageURLs.Items() == expected), 15000);
        auto* tabs = window_->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        QVERIFY(tabs->isTabVisible(1));
        QCOMPARE(tabs->tabText(1), QStringLiteral("图片动画"));
        QCOMPARE(tabs->currentIndex(), 1);
        QVERIFY(window_->ResultWindowIfAny()->ImageMode());
        // The style sheet was fetched into the save folder on the way.
        QVERIFY(QFile::exists(programDir_.path() + QStringLiteral("/web/site.css")));
        QTRY_COMPARE_WITH_TIMEOUT(ResultCount("img"), 5, 15000);
    }

    void flashAndOtherResources() {
        Select(3);
        const std::vector<std::string> flash = {U("/media/intro.swf"), U("/x.swf"), U("/media/clip.swf")};
        QCOMPARE(window_->Extractor().lists.FlashURLs.Items(), flash);
        QVERIFY(!window_->ResultWindowIfAny()->ImageMode());
        QTRY_COMPARE_WITH_TIMEOUT(ResultCount("embed"), 3, 15000);

        Select(5);
        const auto& lists = window_->Extractor().lists;
        QCOMPARE(lists.OtherURLs.Items(), std::vector<std::string>{U("/files/pack.zip")});
        QCOMPARE(lists.LinkURLs.Items(), (std::vector<std::string>{U("/player.php?f=x.swf"), U("/docs/page.html")}));
        QCOMPARE(lists.FlashURLs.size(), 3u);  // Clip.SWF is the Flash movie found before
        QTRY_COMPARE_WITH_TIMEOUT(ResultCount("a"), 1, 15000);
    }

    void styleSheetsAreSavedAndReported() {
        QFile::remove(programDir_.path() + QStringLiteral("/web/site.css"));
        dialogs_.messages.clear();
        Select(4);
        QVERIFY(QFile::exists(programDir_.path() + QStringLiteral("/web/site.css")));
        QCOMPARE(dialogs_.messages,
                 std::vector<std::string>{"已保存" + U("/style/site.css") + "\r\n,你可以在『已保存资源列表』中找到。"});
    }
};

NUV_GUI_TEST_MAIN(ExtractionTest)
#include "extraction_test.moc"
