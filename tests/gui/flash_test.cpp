// Flash movies play in the result window and in the opened page, and what the extraction
// reads stays the same with the player as without it; the result window's pages read
// well. A real Qt WebEngine, offscreen, against a site served on 127.0.0.1.
#include <memory>

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "app/MainWindow.h"
#include "common/Text.h"
#include "library/Preview.h"
#include "platform/FlashPlayer.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "support/Fakes.h"
#include "support/FixtureSite.h"
#include "support/ProgramRun.h"
#include "support/TestHttpServer.h"
#include "support/WindowDriver.h"
#include "web/CurlDownloader.h"

using namespace nuv;
using namespace nuv::test;

namespace {

// A movie of one frame that only paints its background: the SWF header (uncompressed,
// version 8, a 200 x 150 pixel stage, 12 frames a second, one frame), then the tags
// SetBackgroundColor, ShowFrame and End.
QByteArray BackgroundMovie(QColor colour) {
    std::vector<bool> bits;
    auto put = [&bits](unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) bits.push_back(((value >> i) & 1U) != 0);
    };
    put(15, 5);  // bits per field of the stage rectangle, in twips
    for (unsigned v : {0U, 200U * 20, 0U, 150U * 20}) put(v, 15);
    QByteArray body;
    for (size_t i = 0; i < bits.size(); i += 8) {
        char byte = 0;
        for (size_t j = 0; j < 8; ++j) byte = static_cast<char>((byte << 1) | ((i + j < bits.size() && bits[i + j]) ? 1 : 0));
        body.append(byte);
    }
    auto u16 = [&body](unsigned v) { body.append(static_cast<char>(v & 0xFF)).append(static_cast<char>(v >> 8)); };
    u16(12 << 8);  // frame rate 12.0
    u16(1);        // frame count
    u16((9 << 6) | 3);
    body.append(static_cast<char>(colour.red())).append(static_cast<char>(colour.green())).append(static_cast<char>(colour.blue()));
    u16(1 << 6);  // ShowFrame
    u16(0);       // End
    QByteArray swf("FWS\x08", 4);
    const quint32 length = static_cast<quint32>(8 + body.size());
    for (int i = 0; i < 4; ++i) swf.append(static_cast<char>((length >> (8 * i)) & 0xFF));
    return swf + body;
}

QJsonValue ScriptJson(QWebEngineView* view, const QString& script) {
    return QJsonDocument::fromJson(RunScript(view, script).toString().toUtf8()).object().value(QStringLiteral("v"));
}

// Runs nuv-extract with `args`; with `player` false the user has turned playback off.
QByteArray Extract(const QStringList& args, bool player) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (player) env.remove(QStringLiteral("NUV_FLASH_PLAYER"));
    else env.insert(QStringLiteral("NUV_FLASH_PLAYER"), QStringLiteral("off"));
    const ProgramRun r = RunProgram(QStringLiteral(NUV_EXTRACT_EXE), args, env);
    if (!r.ended) return "(did not end)";
    return r.exitCode == 0 ? r.out : "(failed) " + r.err;
}

}  // namespace

class FlashTest : public QObject, protected TestWindowServices {
    Q_OBJECT

private:
    TestHttpServer site_;
    QString longName_ = QStringLiteral("/files/") + QString(180, QLatin1Char('x')) + QStringLiteral(".zip");

    QWebEngineView* ResultView() { return window_->ResultWindowIfAny()->WebBrowser1(); }

    // Opens `path` of the site and shows the result page of LBDocType's row `row`.
    void ShowResultPage(const QString& path, int row, const QString& ready) {
        QVERIFY(OpenAndWait(*window_, site_.Url(path)));
        ClickDocType(*window_, row);
        QVERIFY(window_->ResultWindowIfAny() != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(RunScript(ResultView(), ready).toBool(), 30000);
    }

private slots:
    void initTestCase() {
        QVERIFY(site_.isListening());
        const QByteArray swf = QByteArrayLiteral("application/x-shockwave-flash");
        site_.Put(QStringLiteral("/movies/red.swf"), BackgroundMovie(QColor(255, 0, 0)), swf);
        site_.Put(QStringLiteral("/movies/blue.swf"), BackgroundMovie(QColor(0, 0, 255)), swf);
        site_.Put(QStringLiteral("/pics/p.png"), PngBytes(60, 40, Qt::darkCyan), QByteArrayLiteral("image/png"));
        PutSite(QStringLiteral("flash"), site_);
        QByteArray files = "<html><body><img src=\"pics/p.png\">";
        for (const char* f : {"/files/a.zip", "/files/b.zip", "/files/c.zip", "/files/d.zip"})
            files += QByteArray("<a href=\"") + f + "\">f</a>";
        files += "<a href=\"" + longName_.toUtf8() + "\">long</a><a href=\"" + longName_.toUtf8() + ".rar\">long</a>";
        site_.Put(QStringLiteral("/files.html"), files + "</body></html>");
    }

    void init() {
        if (FlashPlayerFolder().isEmpty()) QSKIP("no Flash player in this build");
        QVERIFY(ShowFreshWindow({1100, 800}));
    }

    void cleanup() { window_.reset(); }

    // Each movie plays in its cell of the Flash result page, without a click; the page
    // the result window was given is the renderer's, byte for byte.
    void moviesPlayInTheFlashResultPage() {
        ShowResultPage(QStringLiteral("/movies.html"), 3,
                       QStringLiteral("document.querySelectorAll('td ruffle-player').length === 2 && "
                                      "Array.prototype.every.call(document.querySelectorAll('ruffle-player'), "
                                      "function (p) { return p.shadowRoot && p.shadowRoot.querySelector('canvas'); })"));
        const QStringList movies = {site_.Url(QStringLiteral("/movies/red.swf")),
                                    site_.Url(QStringLiteral("/movies/blue.swf?x=1"))};
        QCOMPARE(window_->Extractor().Lists().FlashURLs.size(), size_t{2});

        // The page as the renderer built it, lines re-joined as the document bridge loads them.
        const std::string rendered = JoinLinesCrLf(SplitLines(window_->Extractor().LastResult().resultHtml));
        QCOMPARE(MemoryDocuments().Served(ResultView()->url()), QByteArray::fromStdString(rendered));

        for (int i = 0; i < 2; ++i) {
            // The movie's box lies in its cell and shows the movie's background undimmed, in
            // its middle too: no "click to unmute" sign covers a movie here, though it plays
            // muted until clicked.
            const QJsonObject box = ScriptJson(ResultView(), QStringLiteral(R"JS(
(function () {
  var p = document.querySelectorAll('ruffle-player')[%1];
  p.scrollIntoView({block: 'center'});
  var r = p.getBoundingClientRect(), c = p.closest('td').getBoundingClientRect();
  var inside = r.left >= c.left && r.right <= c.right + 1 && r.top >= c.top && r.bottom <= c.bottom + 1;
  var overlay = p.shadowRoot.getElementById('unmute-overlay');
  return JSON.stringify({v: {x: r.left + r.width / 2, y: r.top + r.height / 2, inside: inside, w: r.width,
                             overlay: overlay ? getComputedStyle(overlay).display : 'none'}});
})()
)JS").arg(i)).toObject();
            QVERIFY2(box.value(QStringLiteral("inside")).toBool(), "the movie leaves its cell");
            QVERIFY(box.value(QStringLiteral("w")).toDouble() > 100);
            QCOMPARE(box.value(QStringLiteral("overlay")).toString(), QStringLiteral("none"));
            const QPoint middle(box.value(QStringLiteral("x")).toInt(), box.value(QStringLiteral("y")).toInt());
            auto strong = [i](const QColor& c) { return i == 0 ? c.red() : c.blue(); };
            auto weak = [i](const QColor& c) { return c.green() + (i == 0 ? c.blue() : c.red()); };
            QColor seen;
            QTRY_VERIFY2_WITH_TIMEOUT(
                (seen = ResultView()->grab().toImage().pixelColor(middle * ResultView()->devicePixelRatio()),
                 strong(seen) > 200 && weak(seen) * 4 < strong(seen)),
                qPrintable(QStringLiteral("movie %1 shows %2").arg(movies[i], seen.name())), 30000);
        }
    }

    // The relay of the Flash result page fetches the movies that page lists, for that page
    // only: a movie playing there cannot read other addresses through it.
    void theRelayServesOnlyTheListedMovies() {
        site_.Put(QStringLiteral("/secret.txt"), QByteArrayLiteral("intranet"), QByteArrayLiteral("text/plain"));
        ShowResultPage(QStringLiteral("/movies.html"), 3, QStringLiteral("document.querySelectorAll('td ruffle-player').length === 2"));
        const QString get = QStringLiteral(
            "(function () { var x = new XMLHttpRequest();"
            " x.open('GET', 'nuvplayer:/movie?page=' + encodeURIComponent(%1) + '&address=' + encodeURIComponent(%2), false);"
            " try { x.send(); return x.status + ':' + x.responseText.length; } catch (e) { return 'refused'; } })()");
        const auto quoted = [](const QString& s) { return QStringLiteral("'") + s + QStringLiteral("'"); };
        const QString listed = quoted(site_.Url(QStringLiteral("/movies/red.swf")));
        QVERIFY(RunScript(ResultView(), get.arg(QStringLiteral("location.href"), listed)).toString().startsWith(QStringLiteral("200:")));
        for (const auto& [page, movie] : {std::pair{QStringLiteral("location.href"), quoted(site_.Url(QStringLiteral("/secret.txt")))},
                                          std::pair{QStringLiteral("'nuvdoc:/result/999'"), listed}}) {
            QCOMPARE(RunScript(ResultView(), get.arg(page, movie)).toString(), QStringLiteral("refused"));
        }
        QCOMPARE(site_.RequestCount(QStringLiteral("/secret.txt")), 0);
    }

    // The page opened in the main window plays its movies, and the extraction's lists, the
    // page source included, are the same with the player as without it.
    void theExtractionReadsThePageAsWithoutThePlayer() {
        QVERIFY(OpenAndWait(*window_, site_.Url(QStringLiteral("/movies.html"))));
        QWebEngineView* page = window_->MainBrowser().View();
        QTRY_COMPARE_WITH_TIMEOUT(RunScript(page, QStringLiteral("document.querySelectorAll('ruffle-player').length")).toInt(),
                                  2, 30000);
        QVERIFY(RunScript(page, QStringLiteral("document.querySelectorAll('embed, object').length")).toInt() == 0);
        // The player's files are there for web pages; the movie relay of the result window is not.
        const QString get = QStringLiteral(
            "(function () { var x = new XMLHttpRequest(); x.open('GET', %1, false);"
            " try { x.send(); return x.status + ':' + x.responseText.length; } catch (e) { return 'refused'; } })()");
        QVERIFY(RunScript(page, get.arg(QStringLiteral("'nuvplayer:/ruffle/ruffle.js'"))).toString().endsWith(
            QStringLiteral(":%1").arg(QFileInfo(FlashPlayerFolder() + QStringLiteral("/ruffle.js")).size())));
        QCOMPARE(RunScript(page, get.arg(QStringLiteral("'nuvplayer:/movie?address=' + encodeURIComponent(location.href)")))
                     .toString(), QStringLiteral("refused"));
        const QByteArray source = Extract({QStringLiteral("-t"), QStringLiteral("source"), site_.Url(QStringLiteral("/movies.html"))}, false);
        QCOMPARE(QByteArray::fromStdString(window_->MainBrowser().TopElementOuterHtml()) + '\n', source);

        for (const char* type : {"source", "text", "images", "flash", "other"}) {
            const QStringList args = {QStringLiteral("-t"), QString::fromLatin1(type), QStringLiteral("--json"),
                                      site_.Url(QStringLiteral("/movies.html"))};
            const QByteArray with = Extract(args, true);
            QVERIFY2(!with.startsWith('('), with.constData());
            QCOMPARE(with, Extract(args, false));
        }
        QVERIFY(Extract({QStringLiteral("--version")}, true).contains("Flash playback: Ruffle"));
        QVERIFY(Extract({QStringLiteral("--version")}, false).contains("Flash playback: off"));
    }

    // Long addresses wrap inside their cells, which grow in height, and no text runs out
    // of its cell; pictures show their pixel size.
    void longAddressesWrapInTheirCells() {
        ShowResultPage(QStringLiteral("/files.html"), 5, QStringLiteral("document.querySelectorAll('a[target]').length === 6"));
        const QJsonObject cells = ScriptJson(ResultView(), QStringLiteral(R"JS(
(function () {
  var tds = document.querySelectorAll('td:not([colspan])'), heights = [], overflow = [];
  for (var i = 0; i < tds.length; i++) {
    var c = tds[i].getBoundingClientRect();
    heights.push(c.height);
    var range = document.createRange();
    range.selectNodeContents(tds[i]);
    var rects = range.getClientRects();
    for (var j = 0; j < rects.length; j++)
      if (rects[j].right > c.right + 1 || rects[j].left < c.left - 1) overflow.push(i);
    if (tds[i].scrollWidth > tds[i].clientWidth + 1) overflow.push(i);
  }
  return JSON.stringify({v: {heights: heights, overflow: overflow}});
})()
)JS")).toObject();
        const QJsonArray heights = cells.value(QStringLiteral("heights")).toArray();
        QCOMPARE(heights.size(), 6);
        QCOMPARE(cells.value(QStringLiteral("overflow")).toArray(), QJsonArray());
        // Row one holds four short addresses, row two the long ones.
        QVERIFY2(heights[4].toDouble() > 2.5 * heights[0].toDouble(),
                 qPrintable(QStringLiteral("%1 against %2").arg(heights[4].toDouble()).arg(heights[0].toDouble())));

        ShowResultPage(QStringLiteral("/files.html"), 2, QStringLiteral("!!document.querySelector('.nuv-pixel-size')"));
        QCOMPARE(RunScript(ResultView(), QStringLiteral("document.querySelector('td .nuv-pixel-size').textContent")).toString(),
                 QStringLiteral("60 × 40"));
    }
};

NUV_GUI_TEST_MAIN(FlashTest)
#include "flash_test.moc"
