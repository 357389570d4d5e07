// Pages whose pictures appear only as they are scrolled into view (tests/data/scroll),
// served on 127.0.0.1 by the test: a feed that keeps only its last three screens, a page
// whose script names its pictures as they come into view, and a feed without an end,
// through nuv-extract --scroll and the window's "滚动加载全部".
#include <QCheckBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProgressBar>
#include <QTest>

#include "net/HttpPageFetcher.h"
#include "platform/QtText.h"
#include "support/DrawnPictures.h"
#include "support/Fakes.h"
#include "support/FixtureSite.h"
#include "support/ProgramRun.h"
#include "support/TestHttpServer.h"
#include "support/WindowDriver.h"

using namespace nuv;
using namespace nuv::test;

namespace {

ProgramRun Extract(const QStringList& args) {
    return RunProgram(QStringLiteral(NUV_EXTRACT_EXE), args, ScriptEnvironment());
}

QString FeedPicture(int n) { return QStringLiteral("/scroll/pics/feed-%1.png").arg(n, 3, 10, QLatin1Char('0')); }

// The entries of `list` that hold `part`, in order.
QStringList Holding(const QStringList& list, const QString& part) {
    QStringList out;
    for (const QString& a : list)
        if (a.contains(part)) out << a;
    return out;
}

}  // namespace

class ScrollTest : public QObject, public TestWindowServices {
    Q_OBJECT

private:
    TestHttpServer site_;
    QtTempFolder work_;

    QStringList ExpectedFeed() const {
        QStringList expected;
        for (int n = 91; n <= 120; ++n) expected << site_.Url(FeedPicture(n));
        for (int n = 1; n <= 90; ++n) expected << site_.Url(FeedPicture(n));
        return expected;
    }

    // A window with the page at `path` open and both boxes ticked as a user ticks them.
    bool OpenWithBothBoxes(const QString& path) {
        static HttpPageFetcher http;
        if (!ShowFreshWindow({1280, 900}, &http) || !OpenAndWait(*window_, site_.Url(path))) return false;
        for (const char* name : {"CbShown", "CbScroll"}) {
            auto* box = Child<QCheckBox>(name);
            if (!box->isChecked()) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
            if (!box->isChecked()) return false;
        }
        return true;
    }

private slots:
    void cleanup() { window_.reset(); }

    void initTestCase() {
        QVERIFY(site_.isListening());
        PutSite(QStringLiteral("scroll"), site_);
        for (int n = 1; n <= 120; ++n) site_.Put(FeedPicture(n), DrawnPicture(60, 40, n % 2 == 0), "image/png");
        site_.Put(QStringLiteral("/scroll/pics/lazy-first.png"), DrawnPicture(20, 15), "image/png");
        for (int n = 1; n <= 30; ++n)
            site_.Put(QStringLiteral("/scroll/pics/lazy-%1").arg(n), DrawnPicture(20 + n, 15, n % 2 == 0), "image/png");
    }

    // The feed holds 30 of its 120 pictures at the end: the page source gives those, in
    // its order; the pictures the page showed before follow in the order first seen.
    void aFeedThatRemovesWhatScrolledAwayGivesEveryPicture() {
        const ProgramRun r = Extract({QStringLiteral("--scroll"), QStringLiteral("-v"), QStringLiteral("--json"),
                                      site_.Url(QStringLiteral("/scroll/feed.html"))});
        QVERIFY2(r.exitCode == 0, r.err);
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(Holding(Strings(o.value(QStringLiteral("list")).toArray()), QStringLiteral("/pics/feed-")), ExpectedFeed());
        QVERIFY2(r.err.contains("scrolled: ") && r.err.contains(" screens in ") && !r.err.contains("(the limit)"), r.err);
    }

    // Pictures that a script names only once their place comes into view, under
    // addresses that tell no type, are downloaded under their names with the type the
    // server tells.
    void aLazyPageIsDownloadedWhole() {
        const QString folder = work_.path() + QStringLiteral("/lazy");
        const ProgramRun r = Extract({QStringLiteral("--scroll"), QStringLiteral("-q"), QStringLiteral("-d"),
                                      QStringLiteral("-o"), folder, site_.Url(QStringLiteral("/scroll/lazy.html"))});
        QVERIFY2(r.exitCode == 0, r.err);
        QCOMPARE(ReadFile(folder + QStringLiteral("/lazy-first.png")), DrawnPicture(20, 15));
        for (int n = 1; n <= 30; ++n) {
            const QString file = folder + QStringLiteral("/lazy-%1.png").arg(n);
            QCOMPARE(ReadFile(file), DrawnPicture(20 + n, 15, n % 2 == 0));
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 31);
    }

    // A page that never ends is extracted with what it showed when the limit passed.
    void anEndlessFeedStopsAtTheLimit() {
        const ProgramRun r = Extract({QStringLiteral("--scroll-limit"), QStringLiteral("1.5"), QStringLiteral("--jsonl"),
                                      site_.Url(QStringLiteral("/scroll/endless.html"))});
        QVERIFY2(r.exitCode == 0, r.err);
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        const QJsonObject scroll = o.value(QStringLiteral("scroll")).toObject();
        QVERIFY(scroll.value(QStringLiteral("limit")).toBool());
        QVERIFY(scroll.value(QStringLiteral("ms")).toInt() >= 1500);
        QStringList list;  // the pictures the page showed
        for (const QJsonValue& v : o.value(QStringLiteral("list")).toArray()) {
            if (v[QStringLiteral("found")].toString() == QStringLiteral("shown"))
                list << v[QStringLiteral("address")].toString();
        }
        QVERIFY(list.size() >= 10);
        for (int i = 0; i < list.size(); ++i)
            QCOMPARE(list[i], site_.Url(QStringLiteral("/scroll/pics/endless-%1.png").arg(i + 1)));
    }

    // "图片提取" with "滚动加载全部" scrolls the opened page to its end first, the
    // progress bar moving, and collects what it showed.
    void theWindowScrollsThePageBeforeItCollects() {
        QVERIFY(OpenWithBothBoxes(QStringLiteral("/scroll/feed.html")));
        TFrmWebpageAnalysis& window = *window_;
        ClickDocType(window, 2);
        auto* bar = Child<QProgressBar>("ProgressBar1");
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(
            Holding(Strings(window.Extractor().Lists().ImageURLs.Items()), QStringLiteral("/pics/feed-")), ExpectedFeed(),
            60000);
        QVERIFY(window.ResultWindowIfAny() != nullptr);
    }

    // Esc ends the scrolling of a page without an end long before the limit; the
    // extraction then takes what the page showed.
    void escStopsTheScrolling() {
        QVERIFY(OpenWithBothBoxes(QStringLiteral("/scroll/endless.html")));
        TFrmWebpageAnalysis& window = *window_;
        ClickDocType(window, 2);
        auto* bar = Child<QProgressBar>("ProgressBar1");
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() >= 10, 10000);  // a second of scrolling
        QTest::keyClick(&window, Qt::Key_Escape);
        // The limit is 30 s: an extraction within 15 s was stopped.
        QTRY_VERIFY_WITH_TIMEOUT(
            Holding(Strings(window.Extractor().Lists().ImageURLs.Items()), QStringLiteral("/pics/endless-")).size() >= 10,
            15000);
    }
};

NUV_GUI_TEST_MAIN(ScrollTest)
#include "scroll_test.moc"
