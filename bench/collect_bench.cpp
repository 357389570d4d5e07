// Image collection over a large page: the eleven image markers, every result resolved
// and de-duplicated into ImageURLs, as the image extraction runs it on the page source.
#include <string>

#include <benchmark/benchmark.h>

#include "extract/Collectors.h"
#include "support/FakeWindowParts.h"
#include "web/PageFetcher.h"

namespace {

constexpr const char* kBase = "http://site.example/news/2009/index.html";

struct NoFetch : nuv::IPageFetcher {
    std::string Get(const std::string&) override { return {}; }
};
struct NoDownload : nuv::IDownloader {
    void DownloadToFile(const std::string&, const std::string&, const nuv::DownloadProgressFn&, const nuv::DownloadBounds&) override {}
};

// About `bytes` of markup holding `references` image references of every extension, one
// in ten of them named twice.
std::string MakePage(std::size_t bytes, int references) {
    static const char* kExt[] = {".gif", ".PNG", ".jpg", ".jpeg", ".ico", ".bmp", ".tiff", ".psd", ".svg", ".emf", ".wmf"};
    const std::string filler = "<p>Lorem ipsum dolor sit amet, \xE5\x9B\xBE\xE7\x89\x87 consectetur. Adipiscing.</p>\n";
    const std::size_t perReference = bytes / static_cast<std::size_t>(references);
    std::string page;
    page.reserve(bytes + 4096);
    for (int i = 0; i < references; ++i) {
        const std::size_t target = page.size() + perReference;
        const int n = i % 10 == 9 ? i - 9 : i;
        page += "<img src=\"../img/p" + std::to_string(n) + kExt[n % 11] + "\" alt=\"\">\n";
        while (page.size() + filler.size() <= target) page += filler;
    }
    return page;
}

void BM_CollectSourceImages(benchmark::State& state) {
    const std::string page = MakePage(static_cast<std::size_t>(state.range(0)), static_cast<int>(state.range(1)));
    nuv::test::FakeExtractionWindow window;
    nuv::test::FakeBrowser browser;
    NoDownload downloader;
    NoFetch http;
    const nuv::ExtractionServices services = window.Services(browser, downloader, http, false);
    nuv::ExtractionLists lists;
    nuv::Collectors x{services, lists};
    for (auto _ : state) {
        lists.ClearImages();
        x.CollectSourceImages(page, kBase, true);
        benchmark::DoNotOptimize(lists.ImageURLs.size());
    }
    state.counters["images"] = static_cast<double>(lists.ImageURLs.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}

BENCHMARK(BM_CollectSourceImages)->Args({1 << 20, 1000})->Args({8 << 20, 10000})->Unit(benchmark::kMillisecond);

}  // namespace
