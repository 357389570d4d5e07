// The result window with the real Qt WebEngine, offscreen: result pages built by the
// real extraction from a site served on 127.0.0.1, real mouse clicks in the page, and
// real downloads into a temporary save folder.
#include <memory>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "app/MainWindow.h"
#include "common/Strings.h"
#include "common/Text.h"
#include "library/Preview.h"
#include "support/Accessibility.h"
#include "support/Fakes.h"
#include "support/FixtureSite.h"
#include "support/TestHttpServer.h"
#include "support/WindowDriver.h"
#include "web/CurlDownloader.h"
#include "platform/QtText.h"

using namespace nuv;
using namespace nuv::test;

namespace {

// The centre of the index-th element matching `selector`, scrolled into view; (-1,-1)
// when there is none.
QPoint ElementCentre(QWebEngineView* view, const QString& selector, int index) {
    const QString script = QStringLiteral(R"JS(
(function () {
  var el = document.querySelectorAll(%1)[%2];
  if (!el) return null;
  el.scrollIntoView({block: 'center', inline: 'center'});
  // A link that wraps over several lines is hit on its first line.
  var r = el.getClientRects()[0] || el.getBoundingClientRect();
  if (r.width <= 0 || r.height <= 0) return null;
  return JSON.stringify({x: r.left + r.width / 2, y: r.top + r.height / 2});
})()
)JS").arg(QStringLiteral("'") + selector + QStringLiteral("'")).arg(index);
    const QVariant v = RunScript(view, script);
    if (v.typeId() != QMetaType::QString) return {-1, -1};
    const QJsonObject o = QJsonDocument::fromJson(v.toString().toUtf8()).object();
    return {static_cast<int>(o.value(QStringLiteral("x")).toDouble()),
            static_cast<int>(o.value(QStringLiteral("y")).toDouble())};
}

}  // namespace

class ResultWindowTest : public QObject, protected TestWindowServices {
    Q_OBJECT

private:
    std::unique_ptr<QtTempFolder> saveDir_;
    std::unique_ptr<TestHttpServer> site_;
    QByteArray red_ = PngBytes(60, 40, Qt::red);
    QByteArray blue_ = PngBytes(60, 40, Qt::blue);


    QString Saved(const QString& name) const { return saveDir_->path() + QLatin1Char('/') + name; }

    QWebEngineView* ResultView() { return window_->ResultWindowIfAny()->WebBrowser1(); }

    // Runs the extraction of LBDocType's row over the open page and waits until the
    // result page shows `selector` and listens for clicks.
    void ExtractAndWait(int row, const QString& selector) {
        ClickDocType(*window_, row);
        QVERIFY(window_->ResultWindowIfAny() != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(
            RunScript(ResultView(), QStringLiteral("window.__nuvClickHookReady === true && "
                                                   "document.querySelectorAll('%1').length > 0")
                                        .arg(selector))
                .toBool(),
            30000);
    }

    void ClickInPage(const QString& selector, int index) {
        QWebEngineView* view = ResultView();
        const QPoint at = ElementCentre(view, selector, index);
        QVERIFY2(at.x() >= 0, qPrintable(selector));
        QWidget* target = view->focusProxy();
        QVERIFY(target != nullptr);
        QTest::mouseMove(target, at);
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
    }

    std::string SavedAsText(const QString& path) const { return FormatS(strSavedAs, {ToUtf8(path)}); }

    // The entries of the saved-files list, sorted.
    QStringList SavedList() {
        auto* list = Child<QListWidget>("BitmapListBox");
        QStringList names;
        for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
        names.sort();
        return names;
    }

private slots:
    void init() {
        saveDir_ = std::make_unique<QtTempFolder>();
        site_ = std::make_unique<TestHttpServer>();
        QVERIFY(site_->isListening());
        site_->Put(QStringLiteral("/pics/a.png"), red_, QByteArrayLiteral("image/png"));
        site_->Put(QStringLiteral("/pics/b.png"), blue_, QByteArrayLiteral("image/png"));
        site_->Put(QStringLiteral("/movies/m.swf"), QByteArrayLiteral("FWS-movie-bytes"),
                   QByteArrayLiteral("application/x-shockwave-flash"));
        site_->Put(QStringLiteral("/files/doc.pdf"), QByteArrayLiteral("%PDF-1.4 test"),
                   QByteArrayLiteral("application/pdf"));
        PutSite(QStringLiteral("result"), *site_);

        QVERIFY(ShowFreshWindow({1024, 736}));
        Child<QLineEdit>("EdtPicPath")->setText(saveDir_->path());
        window_->SavedFiles().RefreshSavedList();
        QCOMPARE(FromUtf8(window_->SavedFiles().SaveFolder()), saveDir_->path() + QLatin1Char('/'));
        QVERIFY(OpenAndWait(*window_, site_->Url(QStringLiteral("/index.html"))));
    }

    void cleanup() {
        window_.reset();
        site_.reset();
        saveDir_.reset();
    }

    void clickOnAPictureSavesItAndSaysWhere() {
        ExtractAndWait(2, QStringLiteral("img"));
        QCOMPARE(window_->Extractor().Lists().ImageURLs.size(), size_t{2});

        ClickInPage(QStringLiteral("img"), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(Saved(QStringLiteral("a.png"))), red_, 15000);
        QTRY_COMPARE(dialogs_.messages, std::vector<std::string>{SavedAsText(Saved(QStringLiteral("a.png")))});
        QCOMPARE(Child<QLabel>("LblHint")->text(), QStringLiteral("全部下载完毕。"));
        QCOMPARE(SavedList(), QStringList{QStringLiteral("a.png")});
        QVERIFY(!QFile::exists(Saved(QStringLiteral("b.png"))));

        // The save link under the second picture saves that one.
        ClickInPage(QStringLiteral("a.moreintro"), 1);
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(Saved(QStringLiteral("b.png"))), blue_, 15000);
        QTRY_COMPARE(dialogs_.messages.size(), size_t{2});
        QCOMPARE(dialogs_.messages[1], SavedAsText(Saved(QStringLiteral("b.png"))));
        // The save link is not followed: the result page stays.
        QVERIFY(ResultView()->url().scheme() == QStringLiteral("nuvdoc"));
        QVERIFY(shell_.opened.empty());
    }

    // A screen reader names every control; Tab reaches the buttons and, inside the page,
    // the save links, which Enter follows like a click.
    void keyboardAndScreenReaderReachTheSaveLinks() {
        ExtractAndWait(2, QStringLiteral("img"));
        TFrmPreview* preview = window_->ResultWindowIfAny();
        const QStringList unnamed = UnnamedFocusableNodes(preview);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        // The result tab shows in place of the page: its controls come after the tabs
        // (once the engine has given the page's view its focus widget).
        QTRY_COMPARE(TabOrder(Child<QLineEdit>("EdtURL")).join(QLatin1Char(' ')),
                 QStringLiteral("EdtURL BtnOpenWebpage CbPath LBDocType CbShown CbScroll BitmapListBox BtnHelp BtnOnlineUpdate "
                                "BtnExit PageControl1 WebBrowser1 BtnSaveAll BtnSaveAllAs"));

        QWidget* page = ResultView()->focusProxy();
        QVERIFY(page != nullptr);
        page->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(page->hasFocus());
        // Each Tab waits until the page has moved its focus.
        const QString focused = QStringLiteral(
            "(function () { var e = document.activeElement;"
            "  return e && e.className === 'moreintro' ? 'save ' + e.getAttribute('href')"
            "       : String(e && e.tagName) + ' ' + Array.prototype.indexOf.call(document.querySelectorAll('*'), e); })()");
        QString now = RunScript(ResultView(), focused).toString();
        for (int i = 0; i < 10 && !now.startsWith(QStringLiteral("save ")); ++i) {
            const QString before = now;
            QTest::keyClick(page, Qt::Key_Tab);
            QTRY_VERIFY((now = RunScript(ResultView(), focused).toString()) != before);
        }
        QCOMPARE(now, QStringLiteral("save ") + site_->Url(QStringLiteral("/pics/a.png")));
        QTest::keyClick(page, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(Saved(QStringLiteral("a.png"))), red_, 15000);
    }

    // Only the user's own clicks in the program's page download anything: a script's click
    // does not, and the page cannot be replaced by another one that would ask for downloads.
    void scriptsCannotDownloadNorLeaveTheResultPage() {
        site_->Put(QStringLiteral("/evil.html"), "<html><body><img src=\"pics/a.png\"></body></html>");
        ExtractAndWait(2, QStringLiteral("img"));
        QWebEnginePage* page = ResultView()->page();
        page->runJavaScript(QStringLiteral("document.querySelectorAll('img')[0].click();"
                                           "location.href = %1;").arg(QStringLiteral("'") + site_->Url(QStringLiteral("/evil.html")) + QStringLiteral("'")),
                            QWebEngineScript::MainWorld);
        page->runJavaScript(QStringLiteral("window.open(%1);").arg(QStringLiteral("'") + site_->Url(QStringLiteral("/evil.html")) + QStringLiteral("'")),
                            QWebEngineScript::MainWorld);
        // A real click afterwards is served; the script's, sent before it, never was.
        ClickInPage(QStringLiteral("img"), 1);
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(Saved(QStringLiteral("b.png"))), blue_, 15000);
        QTRY_COMPARE(dialogs_.messages.size(), size_t{1});
        QVERIFY(!QFile::exists(Saved(QStringLiteral("a.png"))));
        QCOMPARE(ResultView()->url().scheme(), QStringLiteral("nuvdoc"));
        QCOMPARE(site_->RequestCount(QStringLiteral("/evil.html")), 0);
        QVERIFY2(shell_.opened.empty(), shell_.opened.empty() ? "" : shell_.opened[0].c_str());
    }

    void saveAllSavesEveryListedPicture() {
        ExtractAndWait(2, QStringLiteral("img"));
        QTest::mouseClick(window_->ResultWindowIfAny()->findChild<QToolButton*>(QStringLiteral("BtnSaveAll")),
                          Qt::LeftButton);
        QCOMPARE(ReadFile(Saved(QStringLiteral("a.png"))), red_);
        QCOMPARE(ReadFile(Saved(QStringLiteral("b.png"))), blue_);
        QVERIFY(dialogs_.messages.empty());
        QCOMPARE(Child<QLabel>("LblHint")->text(), QStringLiteral("全部下载完毕。"));
        // Nothing but the files themselves: no temporary leftovers.
        QCOMPARE(QDir(saveDir_->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        QCOMPARE(SavedList(), (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png")}));
    }

    void saveAllAsSavesIntoTheChosenFolder() {
        QtTempFolder chosen;
        ExtractAndWait(2, QStringLiteral("img"));
        dialogs_.answer = ToUtf8(chosen.path());
        QTest::mouseClick(window_->ResultWindowIfAny()->findChild<QToolButton*>(QStringLiteral("BtnSaveAllAs")),
                          Qt::LeftButton);
        const std::string folder = ToUtf8(chosen.path()) + "/";
        QCOMPARE(ReadFile(chosen.filePath(QStringLiteral("a.png"))), red_);
        QCOMPARE(ReadFile(chosen.filePath(QStringLiteral("b.png"))), blue_);
        QVERIFY(!QFile::exists(Saved(QStringLiteral("a.png"))));
        QCOMPARE(window_->State().DefaultSavePath, folder);
        QCOMPARE(shell_.opened, std::vector<std::string>{folder});
    }

    void flashModeSavesTheMovies() {
        ExtractAndWait(3, QStringLiteral("a[onclick]"));
        QCOMPARE(window_->Extractor().Lists().FlashURLs.size(), size_t{1});
        QVERIFY(!window_->ResultWindowIfAny()->ImageMode());

        ClickInPage(QStringLiteral("a[onclick]"), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(Saved(QStringLiteral("m.swf"))), QByteArrayLiteral("FWS-movie-bytes"),
                                  15000);
        QTRY_COMPARE(dialogs_.messages, std::vector<std::string>{SavedAsText(Saved(QStringLiteral("m.swf")))});

        QVERIFY(QFile::remove(Saved(QStringLiteral("m.swf"))));
        QTest::mouseClick(window_->ResultWindowIfAny()->findChild<QToolButton*>(QStringLiteral("BtnSaveAll")),
                          Qt::LeftButton);
        QCOMPARE(ReadFile(Saved(QStringLiteral("m.swf"))), QByteArrayLiteral("FWS-movie-bytes"));
        QVERIFY(!QFile::exists(Saved(QStringLiteral("a.png"))));  // the pictures are not this batch's list
        QCOMPARE(dialogs_.messages.size(), size_t{1});
    }

    void otherResourceLinkDownloadsAndOpensInTheDefaultBrowser() {
        ExtractAndWait(5, QStringLiteral("a[target]"));
        const std::string address = ToUtf8(site_->Url(QStringLiteral("/files/doc.pdf")));
        ClickInPage(QStringLiteral("a[target]"), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(Saved(QStringLiteral("doc.pdf"))), QByteArrayLiteral("%PDF-1.4 test"),
                                  15000);
        QTRY_COMPARE_WITH_TIMEOUT(shell_.opened, std::vector<std::string>{address}, 15000);
        QVERIFY(ResultView()->url().scheme() == QStringLiteral("nuvdoc"));
    }
};

NUV_GUI_TEST_MAIN(ResultWindowTest)
#include "result_window_test.moc"
