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
#include <QTest>

#include "app/MainWindow.h"
#include "library/Preview.h"
#include "net/HttpPageFetcher.h"
#include "support/Fakes.h"
#include "support/FixtureSite.h"
#include "support/TestHttpServer.h"
#include "support/WindowDriver.h"
#include "web/CurlDownloader.h"
#include "platform/QtText.h"

using namespace nuv;
using namespace nuv::test;

class ExtractionTest : public QObject {
    Q_OBJECT

private:
    RecordingDialogs dialogs_;
    RecordingShell shell_;
    CurlDownloader downloader_;
    HttpPageFetcher http_;
    QtTempFolder programDir_;
    const TempFolder home_{"nuv-home"};
    TestHttpServer site_;
    std::unique_ptr<TFrmWebpageAnalysis> window_;
    FixtureLists expected_;

    std::string U(const char* path) const { return ToUtf8(site_.Url(QString::fromLatin1(path))); }

    void Select(int row) {
        ClickDocType(*window_, row);
    }

    // How often `tag` opens an element in the result page once it has loaded.
    int ResultCount(const std::string& tag) {
        TFrmPreview* preview = window_->ResultWindowIfAny();
        if (!preview || preview->Browser().ReadyState() != ready_state::kComplete) return -1;
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
        PutFixtureSite(site_);
        expected_ = ExpectedFixtureLists(site_);

        window_ = std::make_unique<TFrmWebpageAnalysis>(MainWindowServices{
            dialogs_, shell_, downloader_, http_, ToUtf8(programDir_.path()) + "/", home_.Path()});
        window_->resize(1100, 760);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QVERIFY(OpenAndWait(*window_, FromUtf8(FixturePage(site_))));
    }

    void cleanupTestCase() { window_.reset(); }

    void imagesComeFromSourceStyleSheetsAndFramesInOrder() {
        const std::vector<std::string>& expected = expected_.images;
        // One extraction finds every frame: it starts once all of them have reported.
        Select(2);
        QCOMPARE(window_->Extractor().Lists().ImageURLs.Items(), expected);
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
        QCOMPARE(window_->Extractor().Lists().FlashURLs.Items(), expected_.flash);
        QVERIFY(!window_->ResultWindowIfAny()->ImageMode());
        QTRY_COMPARE_WITH_TIMEOUT(ResultCount("embed"), 3, 15000);

        Select(5);
        const auto& lists = window_->Extractor().Lists();
        QCOMPARE(lists.OtherURLs.Items(), expected_.other);
        QCOMPARE(lists.LinkURLs.Items(), expected_.links);
        QCOMPARE(lists.FlashURLs.size(), 3u);  // Clip.SWF is the Flash movie found before
        QTRY_COMPARE_WITH_TIMEOUT(ResultCount("a"), 1, 15000);
    }

    void styleSheetsAreSavedAndReported() {
        QFile::remove(programDir_.path() + QStringLiteral("/web/site.css"));
        dialogs_.messages.clear();
        Select(4);
        QVERIFY(QFile::exists(programDir_.path() + QStringLiteral("/web/site.css")));
        QCOMPARE(window_->Extractor().Lists().CssURLs, expected_.css);
        QCOMPARE(dialogs_.messages,
                 std::vector<std::string>{"已保存" + U("/style/site.css") + "\r\n,你可以在『已保存资源列表』中找到。"});
    }

    // A page under a folder with a blank and Chinese names: its addresses stay as the
    // browser holds them, and a click on a result downloads.
    void pageUnderAnEncodedFolder() {
        const QString page = QStringLiteral("/sp%20ace/%E9%A1%B5.html");
        site_.Put(page, "<html><body><img src=\"\xe5\x9b\xbe.gif\"><img src=\"b%20c.gif\"></body></html>");
        site_.Put(QStringLiteral("/sp%20ace/%E5%9B%BE.gif"), "GIF89a-one", "image/gif");
        site_.Put(QStringLiteral("/sp%20ace/b%20c.gif"), "GIF89a-two", "image/gif");
        QVERIFY(OpenAndWait(*window_, site_.Url(page)));
        QCOMPARE(FromUtf8(window_->MainBrowser().LocationURL()), site_.Url(page));
        Select(2);
        const std::vector<std::string> expected = {ToUtf8(site_.Url(QStringLiteral("/sp%20ace/图.gif"))),
                                                   ToUtf8(site_.Url(QStringLiteral("/sp%20ace/b%20c.gif")))};
        QCOMPARE(window_->Extractor().Lists().ImageURLs.Items(), expected);
        for (const std::string& address : expected) window_->ResultWindowIfAny()->ResultPageClick("img", address);
        QVERIFY(QFile::exists(programDir_.path() + QStringLiteral("/web/图.gif")));
        QVERIFY(QFile::exists(programDir_.path() + QStringLiteral("/web/b%20c.gif")));
    }
};

NUV_GUI_TEST_MAIN(ExtractionTest)
#include "extraction_test.moc"
