// The pictures the page shows, the fourth place of the image extraction, over a page written
// as today's sites write them (tests/data/shown) with a frame of another site, served on
// 127.0.0.1 and 127.0.0.2 by the test: through nuv-extract --shown and through the window,
// with the filter of the result window.
#include <algorithm>
#include <memory>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTest>
#include <QSignalSpy>
#include <QToolButton>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include "common/Ini.h"
#include "common/FileText.h"
#include "common/Text.h"
#include "extract/Collectors.h"
#include "library/Preview.h"
#include "net/HttpPageFetcher.h"
#include "platform/QtText.h"
#include "support/DrawnPictures.h"
#include "support/Fakes.h"
#include "support/FixtureSite.h"
#include "support/ProgramRun.h"
#include "support/TestHttpServer.h"
#include "support/WindowDriver.h"
#include "web/DocumentBridge.h"

using namespace nuv;
using namespace nuv::test;

namespace {

// nuv-extract with `args`, as a script starts it.
ProgramRun Extract(const QStringList& args) {
    return RunProgram(QStringLiteral(NUV_EXTRACT_EXE), args, ScriptEnvironment());
}

// Runs `script` in the page's own world, as the page's scripts run, and waits for its value.
QVariant InPage(QWebEngineView& view, const QString& script) {
    auto answer = std::make_shared<QVariant>();
    view.page()->runJavaScript(script, QWebEngineScript::MainWorld, [answer](const QVariant& v) { *answer = v; });
    if (!QTest::qWaitFor([&] { return answer->isValid(); }, 10000)) return QVariant();
    return *answer;
}

// The files of `folder`, hidden ones too, sorted.
QStringList Files(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

}  // namespace

class ShownPicturesTest : public QObject, public TestWindowServices {
    Q_OBJECT

private:
    TestHttpServer site_;
    TestHttpServer other_{QHostAddress(QStringLiteral("127.0.0.2"))};
    QtTempFolder work_;
    std::vector<ShownEntry> expected_;
    QStringList threePlaces_;  // the list without --shown, as nuv-extract gives it

    QStringList ExpectedAddresses() const {
        QStringList l;
        for (const ShownEntry& e : expected_) l << FromUtf8(e.address);
        return l;
    }
    // The expected pictures that a filter of `minWidth` x `minHeight` and `type` keeps.
    QStringList ExpectedKept(int minWidth, int minHeight, const std::string& type) const {
        QStringList l;
        for (const ShownEntry& e : expected_)
            if (e.width >= minWidth && e.height >= minHeight && e.type == type) l << FromUtf8(e.address);
        return l;
    }

private slots:
    void cleanup() { window_.reset(); }

    void initTestCase() {
        QVERIFY(site_.isListening());
        QVERIFY2(other_.isListening(), "127.0.0.2 must be usable as a second loopback origin");
        PutShownSite(site_, other_);
        PutSite(QStringLiteral("bounds"), site_, &other_);
        expected_ = ExpectedShownPictures(site_, other_);
        QCOMPARE(expected_.size(), size_t{20});
    }

    // With --designed-only the list is that of the page source, its style sheet and its
    // frame; by default, and with --shown, that list comes first, byte for byte, and every
    // picture the page and its frame show follows once, each downloaded under a name with
    // the right extension.
    void nuvExtractListsEveryPictureTheRenderedPageShows() {
        const ProgramRun before = Extract({QStringLiteral("--designed-only"), QStringLiteral("--json"), ShownPage(site_)});
        QCOMPARE(before.exitCode, 0);
        const QJsonObject plain = QJsonDocument::fromJson(before.out).object();
        QVERIFY(!plain.contains(QStringLiteral("pictures")));
        threePlaces_ = Strings(plain.value(QStringLiteral("list")).toArray());
        QCOMPARE(threePlaces_.size(), 10);

        const QString folder = work_.path() + QStringLiteral("/cli");
        const ProgramRun r = Extract({QStringLiteral("--shown"), QStringLiteral("--json"), QStringLiteral("-d"),
                               QStringLiteral("-o"), folder, ShownPage(site_)});
        QVERIFY2(r.exitCode == 3, r.err);  // the source's "%2Fshown%2F...hero.jpg" names no picture
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        const QStringList list = Strings(o.value(QStringLiteral("list")).toArray());
        QCOMPARE(list.mid(0, threePlaces_.size()), threePlaces_);
        QCOMPARE(list.mid(threePlaces_.size()), ExpectedAddresses());
        const ProgramRun byDefault = Extract({QStringLiteral("--json"), ShownPage(site_)});
        QCOMPARE(Strings(QJsonDocument::fromJson(byDefault.out).object().value(QStringLiteral("list")).toArray()), list);

        const QJsonArray pictures = o.value(QStringLiteral("pictures")).toArray();
        const QJsonArray downloads = o.value(QStringLiteral("downloads")).toArray();
        QCOMPARE(pictures.size(), list.size());
        QCOMPARE(downloads.size(), list.size());
        QStringList found;
        for (int i = 0; i < threePlaces_.size(); ++i) found << pictures[i].toObject().value(QStringLiteral("found")).toString();
        QCOMPARE(found.count(QStringLiteral("page")), 8);
        QCOMPARE(found.count(QStringLiteral("sheet")), 1);
        QCOMPARE(found.count(QStringLiteral("frame")), 1);
        for (size_t k = 0; k < expected_.size(); ++k) {
            const int i = threePlaces_.size() + static_cast<int>(k);
            const ShownEntry& e = expected_[k];
            const QJsonObject p = pictures[i].toObject();
            QCOMPARE(p.value(QStringLiteral("found")).toString(), QStringLiteral("shown"));
            QCOMPARE(p.value(QStringLiteral("type")).toString(), FromUtf8(e.type));
            QCOMPARE(p.value(QStringLiteral("width")).toInt(), e.width);
            QCOMPARE(p.value(QStringLiteral("height")).toInt(), e.height);
            QCOMPARE(downloads[i].toObject().value(QStringLiteral("file")).toString(),
                     folder + QLatin1Char('/') + FromUtf8(e.file));
        }
        // Every shown picture is there whole under its name; nothing half-named is left.
        QStringList names = Files(folder);
        for (const ShownEntry& e : expected_) QVERIFY2(names.removeOne(FromUtf8(e.file)), e.file.c_str());
        for (const QString& n : names) QVERIFY2(!n.startsWith(QLatin1Char('.')), qPrintable(n));
        QCOMPARE(ReadFile(folder + QStringLiteral("/photo (2).webp")),
                 ReadData(QStringLiteral("shown/pics/cdn-photo-b.webp")));
    }

    // --min-size and --types keep what the result window's filter keeps.
    void nuvExtractFiltersBySizeAndType() {
        const ProgramRun r = Extract({QStringLiteral("--shown"), QStringLiteral("--min-size=300x200"), QStringLiteral("--types"),
                               QStringLiteral("webp"), QStringLiteral("-q"), ShownPage(site_)});
        QCOMPARE(r.exitCode, 0);
        const QStringList kept = ExpectedKept(300, 200, "webp");
        QCOMPARE(kept.size(), 6);
        QCOMPARE(QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts), kept);
        QCOMPARE(Extract({QStringLiteral("--min-size=300"), ShownPage(site_)}).exitCode, 2);
    }

    // The window gives the same lists; its result page filters by size and type, and the
    // two batch buttons then take what the filter shows, and say so.
    void theWindowAddsThemAndItsResultPageFiltersThem() {
        if (threePlaces_.isEmpty()) QSKIP("needs the list of nuv-extract");
        HttpPageFetcher http;
        QVERIFY(ShowFreshWindow({1280, 900}, &http));
        TFrmWebpageAnalysis& window = *window_;
        QVERIFY(OpenAndWait(window, ShownPage(site_)));

        auto* shown = Child<QCheckBox>("CbShown");
        QVERIFY(shown && shown->isChecked());
        QTest::mouseClick(shown, Qt::LeftButton, {}, QPoint(8, shown->height() / 2));
        QVERIFY(!shown->isChecked());
        ClickDocType(window, 2);
        QCOMPARE(Strings(window.Extractor().Lists().ImageURLs.Items()), threePlaces_);
        QTest::mouseClick(shown, Qt::LeftButton, {}, QPoint(8, shown->height() / 2));
        QVERIFY(shown->isChecked());
        ClickDocType(window, 2);
        QCOMPARE(Strings(window.Extractor().Lists().ImageURLs.Items()), threePlaces_ + ExpectedAddresses());

        TFrmPreview* preview = window.ResultWindowIfAny();
        QWebEngineView* view = preview->WebBrowser1();
        const int all = threePlaces_.size() + static_cast<int>(expected_.size());
        QTRY_VERIFY_WITH_TIMEOUT(RunScript(view, QStringLiteral(
            "!!document.querySelector('#nuv-filter input[value=webp]') && "
            "Array.prototype.every.call(document.querySelectorAll('td > img'), function (i) { return i.complete; })")).toBool(), 30000);
        // The filter is drawn over the page; the page is the renderer's, byte for byte.
        const std::string rendered = JoinLinesCrLf(SplitLines(window.Extractor().LastResult().resultHtml));
        QCOMPARE(MemoryDocuments().Served(view->url()), QByteArray::fromStdString(rendered));
        QCOMPARE(RunScript(view, QStringLiteral("document.querySelector('#nuv-filter .nuv-count').textContent")).toString(),
                 QStringLiteral("共 %1 张").arg(all));

        // As a user sets it: the smallest size typed, the type ticked.
        RunScript(view, QStringLiteral(
            "(function () { var boxes = document.querySelectorAll('#nuv-filter input[type=number]');"
            " boxes[0].value = '300'; boxes[0].dispatchEvent(new Event('input'));"
            " boxes[1].value = '200'; boxes[1].dispatchEvent(new Event('input'));"
            " document.querySelector('#nuv-filter input[value=webp]').click(); })()"));
        const QStringList kept = ExpectedKept(300, 200, "webp");
        QTRY_COMPARE(RunScript(view, QStringLiteral("document.querySelector('#nuv-filter .nuv-count').textContent")).toString(),
                     QStringLiteral("显示 %1 / %2 张").arg(kept.size()).arg(all));
        QCOMPARE(RunScript(view, QStringLiteral("document.querySelectorAll('td.nuv-hidden').length")).toInt(),
                 all - static_cast<int>(kept.size()));

        QTest::mouseClick(preview->findChild<QToolButton*>(QStringLiteral("BtnSaveAll")), Qt::LeftButton);
        const QString saved = FromUtf8(Program() + "web");
        QStringList names = {QStringLiteral("site.css")};  // fetched by the extraction
        for (const ShownEntry& e : expected_)
            if (kept.contains(FromUtf8(e.address))) names << FromUtf8(e.file);
        names.sort();
        QCOMPARE(Files(saved), names);
        QCOMPARE(Child<QLabel>("LblHint")->text(),
                 QStringLiteral("全部下载完毕（按筛选：%1 张中的 %2 张）。").arg(all).arg(kept.size()));

        // Cleared, the filter keeps everything again, and a batch takes the whole list.
        RunScript(view, QStringLiteral("document.querySelector('#nuv-filter button').click()"));
        QTRY_VERIFY(RunScript(view, QStringLiteral("document.querySelectorAll('td.nuv-hidden').length")).toInt() == 0);
        const QString chosen = work_.path() + QStringLiteral("/window");
        QVERIFY(QDir().mkpath(chosen));
        dialogs_.answer = ToUtf8(chosen);
        QTest::mouseClick(preview->findChild<QToolButton*>(QStringLiteral("BtnSaveAllAs")), Qt::LeftButton);
        QStringList every = Files(chosen);
        for (const ShownEntry& e : expected_) QVERIFY2(every.removeOne(FromUtf8(e.file)), e.file.c_str());
        QCOMPARE(every.size(), 9);  // the three places' pictures, but for the one that names none
        QVERIFY(Child<QLabel>("LblHint")->text().startsWith(QStringLiteral("下载结束，1个文件下载失败")));
    }

    // "隐藏相似图片" hides all but the largest of each group of pictures alike (a picture,
    // its byte copy and its copy at half the size), never a picture unlike the others, and
    // the batch then saves what is shown.
    void theFilterHidesSimilarPicturesButTheLargest() {
        const QByteArray picture = DrawnPicture(64, 48);
        site_.Put(QStringLiteral("/alike/a.png"), picture, "image/png");
        site_.Put(QStringLiteral("/alike/copy/a.png"), picture, "image/png");
        site_.Put(QStringLiteral("/alike/small.png"), DrawnPicture(32, 24), "image/png");
        site_.Put(QStringLiteral("/alike/other.png"), DrawnPicture(64, 48, true), "image/png");
        site_.Put(QStringLiteral("/alike/index.html"), "<html><body><img src=\"small.png\"><img src=\"a.png\">"
                                                        "<img src=\"copy/a.png\"><img src=\"other.png\"></body></html>");
        QVERIFY(ShowFreshWindow({1280, 900}));
        TFrmWebpageAnalysis& window = *window_;
        QVERIFY(OpenAndWait(window, site_.Url(QStringLiteral("/alike/index.html"))));
        ClickDocType(window, 2);
        QCOMPARE(window.Extractor().Lists().ImageURLs.size(), size_t{4});
        TFrmPreview* preview = window.ResultWindowIfAny();
        QWebEngineView* view = preview->WebBrowser1();
        QTRY_VERIFY_WITH_TIMEOUT(RunScript(view, QStringLiteral(
            "!!document.querySelector('#nuv-similar') && "
            "Array.prototype.every.call(document.querySelectorAll('td > img'), function (i) { return i.complete; })")).toBool(), 30000);
        const auto count = [&] {
            return RunScript(view, QStringLiteral("document.querySelector('#nuv-filter .nuv-count').textContent")).toString();
        };
        QCOMPARE(count(), QStringLiteral("共 4 张"));
        RunScript(view, QStringLiteral("document.querySelector('#nuv-similar').click()"));
        QTRY_COMPARE_WITH_TIMEOUT(count(), QStringLiteral("显示 2 / 4 张"), 30000);
        QCOMPARE(RunScript(view, QStringLiteral("Array.prototype.map.call(document.querySelectorAll('td:not(.nuv-hidden) > img'),"
                                                " function (i) { return i.getAttribute('src'); }).join(' ')")).toString(),
                 site_.Url(QStringLiteral("/alike/a.png")) + QLatin1Char(' ') + site_.Url(QStringLiteral("/alike/other.png")));

        QTest::mouseClick(preview->findChild<QToolButton*>(QStringLiteral("BtnSaveAll")), Qt::LeftButton);
        const QString saved = FromUtf8(Program() + "web");
        QCOMPARE(Files(saved), QStringList({QStringLiteral("a.png"), QStringLiteral("other.png")}));
        QCOMPARE(ReadFile(saved + QStringLiteral("/other.png")), DrawnPicture(64, 48, true));
        QCOMPARE(Child<QLabel>("LblHint")->text(), QStringLiteral("全部下载完毕（按筛选：4 张中的 2 张）。"));

        // Unticked, every picture is shown again.
        RunScript(view, QStringLiteral("document.querySelector('#nuv-similar').click()"));
        QTRY_COMPARE(count(), QStringLiteral("共 4 张"));
    }

    // The filter's types come as soon as the page is there, not once every picture has
    // loaded: here one never does.
    void theFilterHasItsTypesWhileAPictureStillLoads() {
        site_.Put(QStringLiteral("/held.html"),
                  "<html><body><img src=\"shown/pics/go.webp\"><img data-src=\"held/slow.webp\"></body></html>");
        site_.Hold(QStringLiteral("/held/slow.webp"));
        QVERIFY(ShowFreshWindow({1280, 900}));
        TFrmWebpageAnalysis& window = *window_;
        QVERIFY(OpenAndWait(window, site_.Url(QStringLiteral("/held.html"))));
        Child<QCheckBox>("CbShown")->setChecked(true);
        ClickDocType(window, 2);
        QCOMPARE(window.Extractor().Lists().ImageURLs.size(), size_t{2});
        QWebEngineView* view = window.ResultWindowIfAny()->WebBrowser1();
        QTRY_COMPARE_WITH_TIMEOUT(
            RunScript(view, QStringLiteral("(function () { var t = document.querySelector('#nuv-filter input[value=webp]');"
                                           " return t ? t.parentElement.textContent : ''; })()")).toString(),
            QStringLiteral("WebP (2)"), 15000);
        QVERIFY(window.ResultWindowIfAny()->Browser().ReadyState() != ready_state::kComplete);  // still loading
    }

    // Reading only the elements that the style sheets may give a picture finds, in the same
    // order, what reading every element finds; the pictures given by style come each once.
    void readingByTheStyleSheetsFindsWhatReadingEveryElementFinds() {
        QWebEngineView view;
        view.resize(1000, 800);
        view.show();
        WebEngineBrowser browser(&view);
        QStringList names;
        for (const QString& page : {ShownPage(site_), site_.Url(QStringLiteral("/shown/styles.html"))}) {
            QSignalSpy loaded(&browser, &WebEngineBrowser::NavigateComplete);
            browser.Navigate(ToUtf8(page));
            QVERIFY(loaded.wait(30000));
            const QString guided = RunScript(&view, QStringLiteral("JSON.stringify(window.__nuvShownPictures(window))")).toString();
            QVERIFY(RunScript(&view, QStringLiteral("window.__nuvShownPictures.guided")).toBool());
            const QString every = RunScript(&view, QStringLiteral("JSON.stringify(window.__nuvShownPictures(window, true))")).toString();
            QVERIFY(guided.size() > 100);
            QCOMPARE(guided, every);
            names.clear();
            for (const QJsonValue& v : QJsonDocument::fromJson(guided.toUtf8()).array())
                names << QUrl(v.toObject().value(QStringLiteral("u")).toString()).fileName();
        }
        QCOMPARE(names, (QStringList{QStringLiteral("body.png"), QStringLiteral("var.png"),
                                     QStringLiteral("media.png"), QStringLiteral("supports.png"),
                                     QStringLiteral("set-1x.png"), QStringLiteral("set-2x.png"),
                                     QStringLiteral("split-before.png"), QStringLiteral("after-content.png"),
                                     QStringLiteral("list.png"), QStringLiteral("border.png"), QStringLiteral("mask.png"),
                                     QStringLiteral("hidden.png"), QStringLiteral("parent.png"),
                                     QStringLiteral("we\"ird (1).png"), QStringLiteral("inline.png"),
                                     QStringLiteral("inline-2.png"), QStringLiteral("table.png"),
                                     QStringLiteral("fe-image.png"), QStringLiteral("imported.png")}));
    }

    // A page's own script cannot have the program's reader of a frame of another site read
    // that frame for it: its requests are not answered, the program's are.
    void aPageCannotHaveAFrameOfAnotherSiteReadForIt() {
        QWebEngineView view;
        view.resize(1000, 800);
        view.show();
        WebEngineBrowser browser(&view);
        QSignalSpy loaded(&browser, &WebEngineBrowser::NavigateComplete);
        browser.Navigate(ToUtf8(ShownPage(site_)));
        QVERIFY(loaded.wait(30000));
        QVERIFY(browser.WaitForFrames());
        InPage(view, QStringLiteral(
            "window.got = 0; ['1', 'abc', 'zz9'].forEach(function (id) { var c = new MessageChannel();"
            "  c.port1.onmessage = function () { window.got++; };"
            "  frames[0].postMessage({__nuvShownAsk: id, seal: 'forged'}, '*', [c.port2]); }); 'sent'"));
        const std::string frameOrigin = ToUtf8(other_.Origin());
        for (int round = 0; round < 2; ++round) {
            const std::vector<ShownPicture> pictures = browser.ShownPictures(kShownPictureLimit).pictures;
            QVERIFY(std::any_of(pictures.begin(), pictures.end(),
                                [&](const ShownPicture& p) { return StartsWith(p.address, frameOrigin); }));
        }
        QCOMPARE(InPage(view, QStringLiteral("window.got")).toInt(), 0);
    }

    // A page's own script sees the program's frame reports and posts forgeries that name
    // another address for a frame of another site: the frame list keeps the frame's own.
    // The page makes more frames and pictures than a read takes: the reads say what they cut.
    void aPageCanForgeNoFrameAndTheBoundsCutWhatItPilesUp() {
        QWebEngineView view;
        view.resize(1000, 800);
        view.show();
        WebEngineBrowser browser(&view);
        // The Flash player is not what this is about, and would cost each of the 211 frames
        // the loading of its script.
        for (const QWebEngineScript& player : view.page()->scripts().find(QStringLiteral("nuv-flash-player")))
            view.page()->scripts().remove(player);
        QSignalSpy loaded(&browser, &WebEngineBrowser::NavigateComplete);
        browser.Navigate(ToUtf8(site_.Url(QStringLiteral("/bounds/index.html"))));
        QVERIFY(loaded.wait(30000));
        QVERIFY(browser.WaitForFrames());
        QTRY_VERIFY_WITH_TIMEOUT(InPage(view, QStringLiteral("forgeriesDelivered()")).toBool(), 15000);
        std::vector<std::string> frames;
        ListFrameAddresses(browser, frames);
        QCOMPARE(frames.size(), size_t{211});
        QCOMPARE(frames[0], ToUtf8(other_.Url(QStringLiteral("/bounds/frame.html"))));

        // 200 of the 211 frames are read or asked, 20 000 of the top's 20 050 pictures kept.
        const ShownPictureList all = browser.ShownPictures(kShownPictureLimit);
        QCOMPARE(all.documentsCut, size_t{11});
        QCOMPARE(all.picturesCut, size_t{50});
        QCOMPARE(all.pictures.size(), size_t{20002});
        QCOMPARE(all.pictures.back().address, ToUtf8(other_.Url(QStringLiteral("/bounds/two.png"))));
        // Once the top's pictures fill the read, no frame is read or asked.
        const ShownPictureList few = browser.ShownPictures(100);
        QCOMPARE(few.pictures.size(), size_t{100});
        QCOMPARE(few.documentsCut, size_t{211});
        QCOMPARE(few.picturesCut, size_t{20050 - 100});
        const DocumentLinkList links = browser.DocumentLinks(3);
        QCOMPARE(links.links.back(), ToUtf8(site_.Url(QStringLiteral("/bounds/three.zip"))));
        QCOMPARE(links.cut, size_t{1});

        // nuv-extract fetches no forged frame and says what the bounds cut.
        QProcessEnvironment env = ScriptEnvironment();
        env.insert(QStringLiteral("NUV_FLASH_PLAYER"), QStringLiteral("off"));
        const ProgramRun r = RunProgram(QStringLiteral(NUV_EXTRACT_EXE),
                                        {QStringLiteral("--shown"), QStringLiteral("-v"),
                                         site_.Url(QStringLiteral("/bounds/index.html"))},
                                        env);
        QVERIFY2(r.exitCode == 0, r.err);
        QVERIFY2(r.err.contains("\ncut: 11 documents, 50 shown pictures, 0 links beyond the bounds\n"), r.err);
        QVERIFY(r.err.contains("frame: " + other_.Url(QStringLiteral("/bounds/frame.html")).toUtf8() + "\n"));
        QCOMPARE(QString::fromUtf8(r.out).count(QLatin1Char('\n')), 20002);
        QCOMPARE(site_.RequestCount(QStringLiteral("/bounds/forged.html")), 0);
    }

    // The check box is on in a first run, and kept in the settings file under a key of its
    // own once turned off.
    void theOptionIsKeptInTheSettings() {
        window_ = std::make_unique<TFrmWebpageAnalysis>(FreshServices());
        QVERIFY(window_->Extractor().IncludeShownPictures());
        Child<QCheckBox>("CbShown")->setChecked(false);
        QVERIFY(!window_->Extractor().IncludeShownPictures());
        window_.reset();
        const IniDocument ini(ReadFileText(Program() + "defualt.ini").value_or(""));
        QCOMPARE(ini.Get("default", "ShownPictures").value_or("<missing>"), std::string("0"));
        window_ = std::make_unique<TFrmWebpageAnalysis>(Services());
        QVERIFY(!Child<QCheckBox>("CbShown")->isChecked());
        QVERIFY(!window_->Extractor().IncludeShownPictures());
    }
};

NUV_GUI_TEST_MAIN(ShownPicturesTest)
#include "shown_pictures_test.moc"
