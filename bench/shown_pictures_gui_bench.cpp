// The fourth place of the image extraction, the pictures the rendered page shows, on a page
// of 5 000 elements served on 127.0.0.1: pictures with srcset, picture sources, lazy
// attributes, inline and style-sheet backgrounds, pseudo-elements, SVG images and plain
// text blocks, and a frame of another origin (127.0.0.2) with 100 more. Time of one read of
// every document's pictures (WebEngineBrowser::ShownPictures), offscreen.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QWebEngineView>

#include "extract/Collectors.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "support/TestHttpServer.h"
#include "GuiBenchMain.h"

namespace {
using namespace nuv;
using namespace nuv::test;

// 1x1 PNG: the page decodes real pictures, as a page of a site does.
const QByteArray kPixel = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");

// Ten kinds of element in turn, 5 000 in all, over 500 distinct pictures.
QByteArray Page(const QString& frameOrigin) {
    QByteArray css = "<style>.s::before { content: ''; background: url(/p/before.png); }"
                     ".b { background-image: url(/p/sheet.png); }</style>";
    QByteArray body;
    for (int i = 0; i < 5000; ++i) {
        const QByteArray n = QByteArray::number(i % 500);
        switch (i % 10) {
            case 0: body += "<img src=\"/p/" + n + ".png\" width=\"4\" height=\"4\">"; break;
            case 1: body += "<img src=\"/p/" + n + ".png\" srcset=\"/p/" + n + "-2x.png 2x, /p/" + n + "-3x.png 3x\">"; break;
            case 2: body += "<picture><source type=\"image/webp\" srcset=\"/p/" + n + ".webp\"><img src=\"/p/" + n + ".png\"></picture>"; break;
            case 3: body += "<img data-src=\"/p/lazy-" + n + ".png\" src=\"data:image/gif;base64,R0lGOD\">"; break;
            case 4: body += "<div style=\"background-image: url(/cdn/" + n + ")\">x</div>"; break;
            case 5: body += "<span class=\"s\">text " + n + "</span>"; break;
            case 6: body += "<svg width=\"4\" height=\"4\"><image href=\"/p/svg-" + n + ".png\"/></svg>"; break;
            case 7: body += "<div class=\"b\"><p>a paragraph of text " + n + "</p></div>"; break;
            case 8: body += "<a href=\"/page-" + n + ".html\">a link</a>"; break;
            default: body += "<p>plain text " + n + "</p>"; break;
        }
    }
    return "<!DOCTYPE html><html><head><link rel=\"icon\" href=\"/p/icon.png\">"
           "<meta property=\"og:image\" content=\"/p/og.png\">" + css + "</head><body>" + body +
           "<iframe src=\"" + frameOrigin.toUtf8() + "/frame.html\"></iframe></body></html>";
}

void ReadShownPictures(benchmark::State& state) {
    TestHttpServer site;
    TestHttpServer other(QHostAddress(QStringLiteral("127.0.0.2")));
    site.Put(QStringLiteral("/index.html"), Page(other.Origin()));
    QByteArray frame = "<html><body>";
    for (int i = 0; i < 100; ++i) frame += "<img src=\"/f/" + QByteArray::number(i) + ".png\">";
    other.Put(QStringLiteral("/frame.html"), frame + "</body></html>");
    for (int i = 0; i < 500; ++i) site.Put(QStringLiteral("/p/%1.png").arg(i), kPixel, "image/png");

    QWebEngineView view;
    view.resize(1280, 900);
    view.show();
    WebEngineBrowser browser(&view);
    QSignalSpy loaded(&browser, &WebEngineBrowser::NavigateComplete);
    browser.Navigate(ToUtf8(site.Url(QStringLiteral("/index.html"))));
    if (!loaded.wait(60000) || !browser.WaitForFrames()) {
        state.SkipWithError("the page did not load");
        return;
    }
    std::size_t pictures = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pictures = browser.ShownPictures(kShownPictureLimit).pictures.size();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["pictures"] = static_cast<double>(pictures);
    // The page's own share: the read of the top document in the page, by the style sheets
    // and, for comparison, with the computed styles of every element.
    const std::string inPage = browser.RunProgramScript(QStringLiteral(R"JS(
(function () {
  var read = window.__nuvShownPictures, guided = 0, every = 0;
  for (var i = 0; i < 5; i++) {
    var t = performance.now();
    read(window);
    guided += performance.now() - t;
    t = performance.now();
    read(window, true);
    every += performance.now() - t;
  }
  return JSON.stringify([guided / 5, every / 5, document.querySelectorAll('*').length]);
})()
)JS"));
    const QJsonArray figures = QJsonDocument::fromJson(QByteArray::fromStdString(inPage)).array();
    state.counters["in_page_ms"] = figures.at(0).toDouble();
    state.counters["every_element_ms"] = figures.at(1).toDouble();
    state.counters["elements"] = figures.at(2).toDouble();
}
BENCHMARK(ReadShownPictures)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

NUV_GUI_BENCHMARK_MAIN()
