// The result window's "save all" over 1 000 files of 16 KB from a loopback server,
// beside the curl program fetching the same list sequentially (curl -K) in the same run;
// each five times, one batch a time, with the median (goal: at most 1.2 times curl).
//   ./build/bench/save_all_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "library/logic/ResultDownloads.h"
#include "support/Files.h"
#include "support/Recorders.h"
#include "support/ScriptedServer.h"
#include "web/CurlDownloader.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 1000;
const std::string kBody(16 * 1024, 'p');

nuv::test::ScriptedServer& Server() {
    static nuv::test::ScriptedServer server([](nuv::test::ServerConnection& c) {
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                                 std::to_string(kBody.size()) + "\r\n\r\n";
        while (c.ReadRequest()) c.Send(head + kBody);
    });
    return server;
}

class QuietHost : public nuv::ISaveFolder, public nuv::ISavedList, public nuv::IHintBar, public nuv::IProgressBar {
public:
    explicit QuietHost(std::string folder) : folder_(std::move(folder)) {}
    std::string SaveFolder() const override { return folder_; }
    void RefreshSavedList() override {}
    void SaveFolderUnusable() override {}
    void ShowHint(const std::string&) override {}
    void SetProgressMaximum(int) override {}
    void SetProgressPosition(int) override {}
    void StepProgress() override {}

    std::string defaultSavePath;

private:
    std::string folder_;
};

// Files go to memory-backed storage when there is some, so the disk's write-back does
// not decide the figures; NUV_BENCH_DIR picks another place.
fs::path BenchRoot() {
    if (const char* dir = std::getenv("NUV_BENCH_DIR")) return dir;
    if (fs::is_directory("/dev/shm")) return "/dev/shm";
    return fs::temp_directory_path();
}

// A new folder for one batch, made and the previous one removed while the clock stands.
fs::path FreshFolder(std::optional<nuv::test::TempFolder>& folder, benchmark::State& state) {
    state.PauseTiming();
    folder.reset();
    folder.emplace("nuv-save-all", BenchRoot());
    state.ResumeTiming();
    return folder->Dir();
}

void SaveAllResources(benchmark::State& state) {
    nuv::ExtractionLists lists;
    for (int i = 0; i < kFiles; ++i) lists.AddImage(Server().Url("/pic" + std::to_string(i) + ".png"));
    nuv::CurlDownloader downloader;
    nuv::test::RecordingDialogs dialogs;
    nuv::test::RecordingShell shell;
    std::optional<nuv::test::TempFolder> folder;
    for (auto _ : state) {
        const fs::path dir = FreshFolder(folder, state);
        QuietHost host(dir.string() + "/");
        nuv::ResultDownloads downloads(
            {host, host, host, host, host.defaultSavePath, {}, downloader, dialogs, shell, lists, "/tmp/", {}});
        downloads.BtnSaveAllClick();
        if (!fs::exists(dir / ("pic" + std::to_string(kFiles - 1) + ".png"))) state.SkipWithError("missing file");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

void CurlProgram(benchmark::State& state) {
    const nuv::test::TempFolder scratch("nuv-save-all-curl");
    const fs::path config = scratch.File("curl.cfg");
    std::optional<nuv::test::TempFolder> folder;
    for (auto _ : state) {
        const fs::path dir = FreshFolder(folder, state);
        state.PauseTiming();
        {
            std::ofstream cfg(config);
            for (int i = 0; i < kFiles; ++i) {
                const std::string name = "pic" + std::to_string(i) + ".png";
                cfg << "url = \"" << Server().Url("/" + name) << "\"\noutput = \"" << (dir / name).string() << "\"\n";
            }
        }
        const std::string command = "curl -s -f -K '" + config.string() + "'";
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

}  // namespace

BENCHMARK(SaveAllResources)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseRealTime()
    ->ReportAggregatesOnly(true);
BENCHMARK(CurlProgram)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseRealTime()
    ->ReportAggregatesOnly(true);
