// How long the address history drop-down takes to appear with a large Firefox history:
// the main window, offscreen, showing the drop-down over a places.sqlite of 100 000
// places of which a given number were typed; beside it, the read of the databases alone.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include <QApplication>
#include <QFrame>

#include "app/MainWindow.h"
#include "app/logic/TypedAddresses.h"
#include "platform/QtText.h"
#include "support/BrowserHistories.h"
#include "support/Fakes.h"
#include "web/CurlDownloader.h"
#include "GuiBenchMain.h"

namespace {
using namespace nuv;
using namespace nuv::test;

constexpr int kPlaces = 100000;

// A home folder whose Firefox profile holds kPlaces places, `typed` of them typed.
std::unique_ptr<TempFolder> HomeWithHistory(int typed) {
    auto home = std::make_unique<TempFolder>();
    HistoryRows rows;
    rows.reserve(kPlaces);
    const int every = typed > 0 ? kPlaces / typed : kPlaces + 1;
    for (int i = 0; i < kPlaces; ++i)
        rows.emplace_back("https://site" + std::to_string(i % 997) + ".example/page/" + std::to_string(i) + ".html",
                          (i % every == 0 && i / every < typed) ? 1 : 0);
    MakeFirefoxProfile(home->Path(), "bench.default", rows);
    return home;
}

void ReadHistory(benchmark::State& state) {
    const auto home = HomeWithHistory(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::vector<std::string> list;
        ReadTypedAddresses(list, true, {home->Path(), "", ""});
        benchmark::DoNotOptimize(list.size());
    }
}
BENCHMARK(ReadHistory)->Arg(1000)->Arg(10000)->Arg(kPlaces)->Unit(benchmark::kMillisecond);

void ShowDropDown(benchmark::State& state) {
    const auto home = HomeWithHistory(static_cast<int>(state.range(0)));
    QtTempFolder program;
    RecordingDialogs dialogs;
    RecordingShell shell;
    CurlDownloader downloader;
    FakeFetcher http;
    TFrmWebpageAnalysis window({dialogs, shell, downloader, http, ToUtf8(program.path()) + "/", home->Path()});
    window.show();
    auto* panel = window.findChild<QFrame*>(QStringLiteral("PnlBrowserPages"));
    for (auto _ : state) {
        window.Address().HideAddressDropDown();
        window.Address().ShowAddressHistory();
        panel->repaint();
        QApplication::processEvents();
    }
}
BENCHMARK(ShowDropDown)->Arg(1000)->Arg(10000)->Arg(kPlaces)->Unit(benchmark::kMillisecond);

}  // namespace

NUV_GUI_BENCHMARK_MAIN()
