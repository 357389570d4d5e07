// The main window with the real Qt WebEngine, offscreen, against pages served on
// 127.0.0.1 and 127.0.0.2 by the test.
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include "app/MainWindow.h"
#include "library/Preview.h"
#include "support/Fakes.h"
#include "support/FixtureSite.h"
#include "support/TestHttpServer.h"
#include "support/WindowDriver.h"
#include "web/CurlDownloader.h"
#include "web/DocumentBridge.h"
#include "platform/QtText.h"

using namespace nuv;
using namespace nuv::test;

class MainWindowTest : public QObject, protected TestWindowServices {
    Q_OBJECT

private:

    void ClickDocType(int row) { test::ClickDocType(*window_, row); }

private slots:
    void init() {
        QVERIFY(ShowFreshWindow({1024, 736}));
    }

    void cleanup() { window_.reset(); }

    void componentsCaptionAndLayout() {
        QCOMPARE(window_->windowTitle(), QStringLiteral("NUV网页提取助手2.2 - www.nuvsoft.example"));
        for (const char* name :
             {"PnlTop", "PnlBottom", "SbMain", "SbPicName", "Label1", "ImgURL", "EdtURL", "Panel2",
              "BtnOpenWebpage", "CbPath", "PnlPath", "BtnOpenDir", "BtnSelectPath", "ImgTopBG",
              "EdtPicPath", "SplitterTop", "SbLeft", "Image28", "LBDocType", "Image37",
              "BitmapListBox", "PnlImgPreview", "Image32", "ImgPreview", "PnlRight", "Splitter1",
              "Splitter3", "Splitter4", "SbCenter", "PageControl1", "TabSheet1", "PnlMain",
              "WebBrowser1", "lbFrames", "TSOutput", "TbSource", "MmMessage", "PnlHint", "LblHint",
              "ProgressBar1", "PnlBrowserPages", "BrowserList", "PmSavedRES"}) {
            QVERIFY2(window_->findChild<QObject*>(QString::fromLatin1(name)) != nullptr, name);
        }
        auto* types = Child<QListWidget>("LBDocType");
        QStringList names;
        for (int i = 0; i < types->count(); ++i) names << types->item(i)->text();
        QCOMPARE(names, (QStringList{QStringLiteral("原始网页"), QStringLiteral("文字提取"),
                                     QStringLiteral("图片提取"), QStringLiteral("动画提取(.swf)"),
                                     QStringLiteral("CSS提取"), QStringLiteral("其他提取")}));
        auto* tabs = Child<QTabWidget>("PageControl1");
        QVERIFY(tabs->isTabVisible(0));
        QVERIFY(!tabs->isTabVisible(1));
        QVERIFY(!tabs->isTabVisible(2));
        QVERIFY(window_->MainBrowser().LocationURL().empty());  // no page opened at start

        window_->resize(1024, 736);
        QCOMPARE(Child<QLineEdit>("EdtURL")->width(), 534);
        QCOMPARE(Child<QLineEdit>("EdtPicPath")->width(), 534);
        QCOMPARE(Child<QWidget>("ImgURL")->width(), 554);
        QCOMPARE(Child<QWidget>("ImgTopBG")->width(), 574);
    }

    void addressBoxTurnsRedUnderThePointer() {
        auto* url = Child<QLineEdit>("EdtURL");
        auto* path = Child<QLineEdit>("EdtPicPath");
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(path, &enter);
        QCOMPARE(url->palette().color(QPalette::Base), QColor(0xFF, 0, 0));
        QApplication::sendEvent(path, &leave);
        QCOMPARE(url->palette().color(QPalette::Base), QColor(Qt::white));
        QApplication::sendEvent(url, &enter);
        QCOMPARE(url->palette().color(QPalette::Base), QColor(0xFF, 0, 0));
    }

    void selectingWithNothingLoadedAndBlankAddressAsksForAPage() {
        Child<QLineEdit>("EdtURL")->setText(QStringLiteral("   "));
        ClickDocType(1);
        QCOMPARE(dialogs_.messages, std::vector<std::string>{"请选择一个网页"});
        QVERIFY(!Child<QTabWidget>("PageControl1")->isTabVisible(2));
        QVERIFY(window_->MainBrowser().LocationURL().empty());
    }

    // A text that cannot be a web address is refused with the designed message, and the
    // browser is not sent anywhere.
    void anAddressThatIsNoWebAddressIsRefused() {
        for (const char* typed : {"http://a b/", "https://host:port/"}) {
            dialogs_.messages.clear();
            auto* edit = Child<QLineEdit>("EdtURL");
            edit->setText(QString::fromUtf8(typed));
            QTest::keyClick(edit, Qt::Key_Return);
            QCOMPARE(dialogs_.messages, std::vector<std::string>{"此网页格式错误：" + ToUtf8(edit->text())});
            QVERIFY(window_->MainBrowser().LocationURL().empty());
        }
    }

    void sourceTextAndFramesOfARealPage() {
        TestHttpServer site;
        TestHttpServer other(QHostAddress(QStringLiteral("127.0.0.2")));
        QVERIFY(site.isListening());
        QVERIFY2(other.isListening(), "127.0.0.2 must be usable as a second loopback origin");
        PutSite(QStringLiteral("frames"), site, &other);

        QVERIFY(OpenAndWait(*window_, site.Url(QStringLiteral("/index.html"))));
        auto* tabs = Child<QTabWidget>("PageControl1");
        auto* memo = Child<QPlainTextEdit>("MmMessage");

        ClickDocType(0);
        QVERIFY(memo->toPlainText().startsWith(QStringLiteral("<html>")));
        QVERIFY(memo->toPlainText().contains(QStringLiteral("Body text here")));
        QVERIFY(!memo->toPlainText().contains(QStringLiteral("DOCTYPE")));
        QVERIFY(tabs->isTabVisible(2));
        QCOMPARE(tabs->currentIndex(), 2);
        // The result tab stays hidden and lends its caption to the second visible tab.
        QVERIFY(!tabs->isTabVisible(1));
        QCOMPARE(tabs->tabText(1), QStringLiteral("文本源码"));

        ClickDocType(1);
        QVERIFY2(memo->toPlainText().startsWith(QStringLiteral("Fixture TitleBody text here")),
                 qPrintable(memo->toPlainText()));

        std::vector<std::string> frames;
        const std::vector<std::string> expected = {
            ToUtf8(site.Url(QStringLiteral("/frame1.html"))),
            ToUtf8(site.Url(QStringLiteral("/inner.html"))),
            ToUtf8(other.Url(QStringLiteral("/frame2.html")))};
        ListFrameAddresses(window_->MainBrowser(), frames);
        QCOMPARE(frames, expected);

        // Every frame, every time, also while busy threads compete for the processors.
        std::atomic<bool> stop{false};
        std::vector<std::thread> busy;
        for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
            busy.emplace_back([&stop] {
                volatile unsigned long n = 0;
                while (!stop) n = n + 1;
            });
        int complete = 0;
        const int runs = 8;
        for (int run = 0; run < runs; ++run) {
            if (!OpenAndWait(*window_, site.Url(QStringLiteral("/index.html")))) break;
            ListFrameAddresses(window_->MainBrowser(), frames);
            complete += frames == expected ? 1 : 0;
        }
        stop = true;
        for (std::thread& t : busy) t.join();
        QCOMPARE(complete, runs);
    }

    void onlyTheUsersSelectionExtractsAndATypedHostIsCompleted() {
        TestHttpServer site;
        site.Put(QStringLiteral("/page.html"), "<html><body><p>typed</p></body></html>");
        auto* types = Child<QListWidget>("LBDocType");
        auto* tabs = Child<QTabWidget>("PageControl1");
        // With no page loaded, a selection loads the typed text as a browser's address box would.
        Child<QLineEdit>("EdtURL")->setText(QStringLiteral("  ") + site.Url(QStringLiteral("/page.html")).mid(7));
        QSignalSpy loaded(&window_->MainBrowser(), &WebEngineBrowser::NavigateComplete);
        ClickDocType(0);
        QVERIFY(loaded.wait(30000));
        QCOMPARE(loaded.first().first().toBool(), true);
        QCOMPARE(FromUtf8(window_->MainBrowser().LocationURL()), site.Url(QStringLiteral("/page.html")));
        QVERIFY(!tabs->isTabVisible(2));

        // A selection the program makes extracts nothing; a key that moves it does.
        types->setCurrentRow(1);
        QVERIFY(!tabs->isTabVisible(2));
        QVERIFY(Child<QPlainTextEdit>("MmMessage")->toPlainText().isEmpty());
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Up);
        QCOMPARE(types->currentRow(), 0);
        QVERIFY(tabs->isTabVisible(2));
        QVERIFY(Child<QPlainTextEdit>("MmMessage")->toPlainText().contains(QStringLiteral("typed")));
        QVERIFY(dialogs_.messages.empty());
    }

    void loadHtmlShowsALargeGeneratedPage() {
        IBrowser& result = window_->Pages().ResultWindow(true);
        result.Navigate("about:blank");
        std::string html = "<html><body>\n";
        int rows = 0;
        while (html.size() < 3 * 1024 * 1024) {
            html += "<p>row " + std::to_string(rows++) + " of a long generated result page</p>\n";
        }
        html += "<p id=\"last\">END-OF-PAGE</p></body></html>";
        auto* preview = window_->ResultWindowIfAny();
        QVERIFY(preview != nullptr);
        QSignalSpy done(&preview->Browser(), &WebEngineBrowser::NavigateComplete);
        LoadHtml(result, html);
        QTRY_VERIFY_WITH_TIMEOUT(result.ReadyState() == ready_state::kComplete && !done.isEmpty(), 120000);
        const std::string text = result.BodyInnerText();
        QVERIFY(text.find("row 0 of") != std::string::npos);
        QVERIFY(text.find("row " + std::to_string(rows - 1) + " of") != std::string::npos);
        QVERIFY(text.find("END-OF-PAGE") != std::string::npos);
    }

    // Last: closing the window ends every wait on its browsers.
    void closingTheWindowEndsAWaitOnTheBrowser() {
        TestHttpServer site;
        site.Hold(QStringLiteral("/never.html"));
        window_->MainBrowser().Navigate(ToUtf8(site.Url(QStringLiteral("/never.html"))));
        // A read that gives up leaves its answer pending in the engine until the page goes.
        window_->MainBrowser().SetScriptTimeout(1);
        QVERIFY_THROWS_EXCEPTION(BrowserError, window_->MainBrowser().DocumentTitle());
        QTimer::singleShot(200, window_.get(), [this] { window_->close(); });
        std::string error;
        try {
            LoadHtml(window_->MainBrowser(), "<p>late</p>");
        } catch (const BrowserError& e) {
            error = e.what();
        }
        QCOMPARE(FromUtf8(error), QStringLiteral("the program quits"));
        QVERIFY_THROWS_EXCEPTION(BrowserError, window_->MainBrowser().TopElementOuterHtml());
    }
};

NUV_GUI_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
