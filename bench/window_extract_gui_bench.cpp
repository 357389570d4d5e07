// The window's image extraction on a page of 1 120 pictures (1 000 <img>, 50 named by the
// style sheet, 50 in a frame, 20 added by a script, 16 KB each) served on 127.0.0.1: the
// time from the click on "图片提取" to the result page shown. Offscreen.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include <QApplication>
#include <QSignalSpy>

#include "app/MainWindow.h"
#include "library/Preview.h"
#include "net/HttpPageFetcher.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "support/Fakes.h"
#include "support/TestHttpServer.h"
#include "support/WindowDriver.h"
#include "web/CurlDownloader.h"
#include "GuiBenchMain.h"

namespace {
using namespace nuv;
using namespace nuv::test;

void PutPicturePage(TestHttpServer& site) {
    const QByteArray picture(16384, 'p');
    QByteArray page = "<html><head><link rel=\"stylesheet\" href=\"/css/s.css\"></head><body>\n";
    QByteArray css, frame = "<html><body>\n";
    for (int i = 1; i <= 1120; ++i) {
        const QByteArray name = "/img/p" + QByteArray::number(i) + ".png";
        site.Put(QString::fromLatin1(name), picture, "image/png");
        if (i <= 1000) page += "<img src=\"" + name + "\" width=\"8\" height=\"8\">\n";
        else if (i <= 1050) css += ".c" + QByteArray::number(i) + " { background: url(" + name + "); }\n";
        else if (i <= 1100) frame += "<img src=\"" + name + "\">\n";
    }
    page += "<iframe src=\"/frame.html\"></iframe><script>for (var i = 1101; i <= 1120; i++) {"
            " var e = document.createElement('img'); e.src = '/img/p' + i + '.png'; document.body.appendChild(e); }"
            "</script></body></html>";
    site.Put(QStringLiteral("/index.html"), page);
    site.Put(QStringLiteral("/css/s.css"), css, "text/css");
    site.Put(QStringLiteral("/frame.html"), frame + "</body></html>");
}

void ClickToResultPage(benchmark::State& state) {
    TestHttpServer site;
    PutPicturePage(site);
    QtTempFolder program;
    RecordingDialogs dialogs;
    RecordingShell shell;
    CurlDownloader downloader;
    HttpPageFetcher http;
    const nuv::test::TempFolder home{"nuv-home"};
    TFrmWebpageAnalysis window({dialogs, shell, downloader, http, ToUtf8(program.path()) + "/", home.Path()});
    window.resize(1280, 900);
    window.show();
    if (!OpenAndWait(window, site.Url(QStringLiteral("/index.html")), 60000)) {
        state.SkipWithError("the page did not load");
        return;
    }
    std::size_t images = 0;
    double extractionMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ClickDocType(window, 2);
        extractionMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        QSignalSpy shown(&window.ResultWindowIfAny()->Browser(), &WebEngineBrowser::NavigateComplete);
        if (window.ResultWindowIfAny()->Browser().ReadyState() != ready_state::kComplete && !shown.wait(60000)) {
            state.SkipWithError("the result page did not show");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        images = window.Extractor().Lists().ImageURLs.size();
    }
    state.counters["images"] = static_cast<double>(images);
    // The click's own work: the extraction and the result page handed to the browser,
    // which then loads the page's pictures.
    state.counters["extraction_ms"] = extractionMs / static_cast<double>(state.iterations());
}
BENCHMARK(ClickToResultPage)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

NUV_GUI_BENCHMARK_MAIN()
