#include "cli/HeadlessRun.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include <unistd.h>

#include <QEventLoop>
#include <QTimer>

#include "cli/PictureSizes.h"
#include "cli/RunEngine.h"
#include "cli/RunPage.h"
#include "cli/StaticPage.h"
#include "cli/StopSignals.h"
#include "cli/TerminalProgress.h"
#include "cli/logic/CliOutput.h"
#include "cli/logic/PageBatch.h"
#include "cli/logic/PageScheduler.h"
#include "cli/logic/RobotsCache.h"
#include "cli/logic/RunPrinter.h"
#include "common/SaveTargets.h"
#include "common/Text.h"
#include "platform/BrowserCookies.h"
#include "platform/QtText.h"
#include "save/DownloadBatch.h"
#include "save/FolderLayout.h"
#include "save/ListDownloads.h"
#include "web/Address.h"
#include "web/FetchPolicy.h"
#include "web/CurlDownloader.h"
#include "web/RetryRule.h"

namespace nuv {
namespace {

using Clock = std::chrono::steady_clock;

// Transfers at a time for the whole run, and to one host (a browser opens six).
constexpr std::size_t kDownloadSlots = 8;
constexpr std::size_t kConnectionsPerHost = 4;
// Pages a view serves before it is closed, which bounds what its renderer keeps.
constexpr int kPagesPerView = 25;

// The run of RunPages.
class Run : public QObject {
public:
    Run(const ExtractCliOptions& options, std::vector<std::string> addresses, std::string base,
        DownloadArchive* archive, ZipWriter* zip, const std::vector<std::string>& programFiles,
        TerminalProgress& progress, const GivenCookies& given)
        : options_(options),
          listRun_(IsListRun(options)),
          downloadList_(options.download && !IsTextType(options.type) && options.type != DocType::Css),
          addresses_(std::move(addresses)),
          base_(std::move(base)),
          progress_(progress),
          scheduler_(addresses_.size(), static_cast<std::size_t>(options.jobs > 0 ? options.jobs : kDefaultPageJobs)),
          files_(base_, archive),
          printer_(options, listRun_, isatty(STDOUT_FILENO) == 1, stdout, stderr) {
        const HostPace pace{std::chrono::milliseconds(options.waitMs), options.randomWait};
        pagePace_ = HostPacer(pace);
        files_.saved = [this](std::uint64_t size) {
            ++filesDone_;
            bytesDone_ += size;
        };
        for (const auto& [cookie, origin] : given) cookies_.Put(cookie, origin);
        transfers_.SetCookieSource(&cookies_);
        transfers_.SetSlots(kDownloadSlots);
        transfers_.SetSaveRoot(base_);
        ApplyNetworkOptions(transfers_, options);
        files_.protectedFiles = ProtectedFiles(programFiles);
        SetUpSaving(files_, options, archive, zip, base_, duplicates_, reading_);
        for (const std::string& a : options.addresses) arguments_.insert(Trim(a));
        if (listRun_ && !options.noRobots)
            robots_.emplace([this](const std::string& a) { return FetchRobots(options_, cookies_, base_, a); });
        batch_.emplace(transfers_, kConnectionsPerHost, RetryRule{options.retries}, pace);
    }

    // Runs every page; returns the exit status.
    int Exec() {
        started_ = Clock::now();
        QTimer::singleShot(0, this, [this] { StartPages(); });
        QTimer ticker;
        if (progress_.Enabled()) {
            connect(&ticker, &QTimer::timeout, this, [this] { DrawProgress(false); });
            ticker.start(200);
        }
        // The extractions run from here, never from inside an event handler: the engine
        // holds back some of its own work while a handler of its events runs, and an
        // extraction waits for the engine in nested event loops.
        while (!status_) {
            if (ready_.empty()) loop_.exec();
            Pump();
        }
        progress_.Clear();
        return *status_;
    }

    // Stops the run on SIGINT or SIGTERM; Exec returns 128 + `sig`.
    void Stop(int sig) {
        Halt(128 + sig, std::string("stopped by ") + SignalName(sig) + "; pages not finished: " +
                            std::to_string(scheduler_.Pages() - scheduler_.Done()));
    }

private:
    // Stops the run: no page starts any more, loads and extractions end, downloads end
    // at once and leave no file; Exec returns `status`.
    void Halt(int status, const std::string& why) {
        if (scheduler_.Stopped()) return;
        scheduler_.Stop();
        HaltStopSignals();
        batch_->Cancel();
        // What the pages saved so far is settled: no duplicate stays, the rest is archived and zipped.
        for (auto& [index, page] : pages_) {
            if (page->downloads) page->downloads->Settle();
        }
        ready_.clear();
        for (auto& [index, page] : pages_) {
            if (page->load) page->load->Stop();
            page->scroller.reset();
            if (page->view) page->view->Close();
        }
        progress_.Clear();
        PrintCliError(why);
        End(status);
    }

    void StartPages() {
        if (starting_ || scheduler_.Stopped()) return;
        starting_ = true;
        while (const std::optional<std::size_t> next = scheduler_.Next()) StartPage(*next);
        starting_ = false;
        EndWhenDone();
    }

    void StartPage(std::size_t index) {
        auto owned = std::make_unique<RunPage>();
        RunPage& page = *owned;
        pages_[index] = std::move(owned);
        page.index = index;
        page.started = Clock::now();
        page.report.type = options_.type;
        page.report.downloaded = options_.download;
        page.report.describePictures = options_.describePictures;
        if (!AimPage(page, addresses_[index], !arguments_.contains(addresses_[index]), options_.allowLocalFiles,
                     robots_ ? &*robots_ : nullptr)) {
            scheduler_.LeftEngine();
            Finish(page);
            return;
        }
        // --wait spaces the page loads of a host as it spaces its downloads.
        const Clock::time_point turn = pagePace_.Book(AddressHost(page.report.requested), Clock::now());
        if (turn <= Clock::now()) return Load(page);
        QTimer::singleShot(std::chrono::ceil<std::chrono::milliseconds>(turn - Clock::now()), this, [this, &page] {
            if (!scheduler_.Stopped()) Load(page);
        });
    }

    void Load(RunPage& page) {
        page.started = Clock::now();
        if (!statics_.Read(
                page, [this](RunPage& p) { ReadWithoutEngine(p); },
                [this](std::size_t index, std::vector<std::string> list) { StartAhead(index, list); }))
            LoadInEngine(page);
    }

    // The static reading of the page has ended: it stands for the engine's, or the engine reads the page.
    void ReadWithoutEngine(RunPage& page) {
        if (scheduler_.Stopped()) return;
        if (page.statics) return Loaded(page, page.statics->LoadFailure(), false);
        LoadInEngine(page);
    }

    // Downloads what page `index` gave without the engine while the engine loads it: its
    // list takes over those it holds too (see DownloadBatch::AddAhead).
    void StartAhead(std::size_t index, const std::vector<std::string>& list) {
        const auto it = pages_.find(index);
        if (it == pages_.end() || !it->second->loading || scheduler_.Stopped()) return;
        RunPage& page = *it->second;
        std::unordered_set<std::string> seen;
        for (const std::string& address : list) {
            if (!HasWebScheme(address) || !seen.insert(address).second)
                continue;
            if (files_.archive != nullptr && files_.archive->FindAddress(address)) continue;
            batch_->AddAhead(page.index, address,
                             aheadFolder_.folder + std::to_string(page.index) + "-" + std::to_string(seen.size()),
                             page.report.requested, base_);
            page.aheadStarted = true;
        }
    }

    // The page's list is complete: the downloads ahead that it does not hold go.
    void SettleAhead(RunPage& page) {
        if (!page.aheadStarted || page.report.ahead) return;
        const DownloadBatch::Ahead ahead = batch_->DropAhead(page.index);
        page.report.ahead = AheadDownloads{ahead.fetched, ahead.used, ahead.removed};
    }

    void LoadInEngine(RunPage& page) {
        page.report.engine = "browser";
        page.loading = true;
        try {
            if (engine_ == nullptr) {
                IRunEngine& engine = LoadRunEngine();
                engine.Start(options_.userAgent, cookies_);
                engine_ = &engine;
            }
        } catch (const std::exception& e) {
            return Loaded(page, e.what(), false);
        }
        page.view = TakeView();
        // The extraction reads addresses, never pixels: pictures are neither fetched nor
        // decoded (the document still holds every picture element, script-made ones too;
        // their sizes come from their files), unless the page is scrolled (feeds that load
        // more once their pictures have).
        page.view->LoadPictures(options_.scroll);
        // A scrolled page's pictures are those it showed from its load on, gone ones too.
        page.view->RecordShownPictures(options_.shown && options_.scroll);
        ++page.view->pages;
        std::function<void(int, int)> loading;
        if (!listRun_) loading = [this](int p, int m) { progress_.Show(p, m, "loading"); };
        page.load = page.view->Load(
            options_.timeoutMs, this,
            [this, &page](const std::string& failure, bool settled) { Loaded(page, failure, settled); }, loading,
            RetryRule{options_.retries});
        page.load->Start(page.report.requested);
    }

    // A waiting view, or a new one.
    std::unique_ptr<IEngineView> TakeView() {
        if (idleViews_.empty()) return engine_->NewView();
        std::unique_ptr<IEngineView> view = std::move(idleViews_.back());
        idleViews_.pop_back();
        return view;
    }

    void Loaded(RunPage& page, const std::string& failure, bool settled) {
        page.loading = false;
        page.loaded = Clock::now();
        page.report.times.load = MsBetween(page.started, page.loaded);
        if (page.load) page.report.loadRetries = page.load->Retries();
        if (page.statics) page.report.engine = "static";
        if (!listRun_) progress_.Clear();
        if (!failure.empty()) {
            page.report.loadError = failure;
            ClosePage(page);
            Finish(page);
            return;
        }
        page.settled = settled;
        if (settled) {
            const std::string note = "the page is still loading; extracted as it stands";
            page.report.errors.push_back({"load", page.report.requested, note});
            if (!options_.quiet) PrintCliError(listRun_ ? page.report.requested + ": " + note : note);
        }
        if (options_.scroll && page.view) return Scroll(page);
        ready_.push_back(&page);
        loop_.quit();  // to Exec, which extracts it
    }

    // --scroll: the page goes to its extraction once scrolled to the end of what it loads.
    void Scroll(RunPage& page) {
        ScrollTimes times;
        times.limitMs = options_.scrollLimitMs;
        IEngineScroll::Progress progress;
        if (!listRun_) progress = [this](long long ms, long long limit) { progress_.Show(ms, limit, "scrolling"); };
        page.scroller = page.view->Scroll(
            times,
            [this, &page](const ScrollOutcome& outcome) {
                page.report.scrolled = PageScrolling{outcome.screens, outcome.ms, outcome.hitLimit};
                if (!listRun_) progress_.Clear();
                if (scheduler_.Stopped()) return;
                ready_.push_back(&page);
                loop_.quit();
            },
            std::move(progress));
        page.scroller->Start();
    }

    // Extracts the loaded pages, one after the other. An extraction re-enters the event
    // loop; pages that finish loading meanwhile wait in `ready_` for this loop.
    void Pump() {
        while (!ready_.empty() && !scheduler_.Stopped()) {
            RunPage* page = ready_.front();
            ready_.pop_front();
            Extract(*page);
        }
    }

    // Makes Exec return `status` once the extraction in progress, if any, has ended.
    void End(int status) {
        status_ = status;
        loop_.quit();
    }

    // The downloads of the page at `pageAddress` (where its extraction runs), made on first use.
    ListDownloads& DownloadsOf(RunPage& page, const std::string& pageAddress) {
        if (!page.downloads) {
            page.folder = PageFolder(options_.layout, base_, pageAddress);
            page.downloads =
                std::make_unique<ListDownloads>(options_.type, page.folder, pageAddress, *batch_, &files_, page.index);
        }
        return *page.downloads;
    }

    void Extract(RunPage& page) {
        IEngineView* engine = page.view.get();
        // The extraction starts once every frame has reported its address (or the bound passed).
        try {
            page.allFrames = !engine || engine->WaitForFrames();
        } catch (const std::exception&) {
        }
        page.framesMs = MsBetween(page.loaded, Clock::now());
        page.staging = base_ + std::string(kPartialDownloadPrefix) + "sheets-" + std::to_string(getpid()) + "-" +
                       std::to_string(page.index) + "/";

        // -d of a list that only grows while the extraction reads style sheets and frames:
        // its downloads start as the entries are found (the pictures the page shows, which
        // are named against the whole list, follow once it is complete). A list that is
        // filtered once complete (--min-size, --types) is handed over only then.
        const bool feedEarly = downloadList_ && !options_.filter.Active() && !NeedsPictureSizes(options_) &&
                               (options_.type == DocType::Images || options_.type == DocType::Flash);
        PageFinds finds(page, files_, options_.type == DocType::Images ? ListKind::lkImage : ListKind::lkFlash,
                        feedEarly, downloadList_,
                        [this, &page](const std::string& pageAddress) -> ListDownloads& {
                            return DownloadsOf(page, pageAddress);
                        });
        const PageExtractionSetup setup{options_, cookies_, base_, page.staging, progress_, !listRun_, &finds,
                                        &statics_.Sheets(), &statics_.Kept()};
        PageExtraction extraction(engine ? engine->Browser() : *page.statics, setup);
        finds.running = &extraction;
        const auto start = Clock::now();
        auto result = std::make_shared<const ExtractionResult>(extraction.Run(page.report));
        finds.running = nullptr;
        page.extracted = Clock::now();
        page.extractMs = MsBetween(start, page.extracted);
        page.report.times.extract = MsBetween(page.loaded, page.extracted);
        page.frames = result->frames;
        if (!listRun_) progress_.Clear();
        ClosePage(page);
        if (scheduler_.Stopped()) return;
        if (options_.type != DocType::Images || !NeedsPictureSizes(options_)) return Extracted(page, *result);
        // The sizes come from the pictures' files, which the page's downloads take over;
        // the next pages are extracted meanwhile.
        MeasurePictures(*batch_, page.index, aheadFolder_.folder, base_, page.report.pageAddress, page.report.list,
                        page.report.notes, options_.timeoutMs, this,
                        [this, index = page.index, result](const PictureSizes& sizes) {
                            const auto it = pages_.find(index);
                            if (it == pages_.end() || scheduler_.Stopped()) return;
                            RunPage& measured = *it->second;
                            GiveSizes(measured.report.list, measured.report.notes, sizes);
                            if (downloadList_) measured.aheadStarted = true;
                            else batch_->DropAhead(index);
                            Extracted(measured, *result);
                        });
    }

    // The page's extraction has ended, its pictures measured where the options need it.
    void Extracted(RunPage& page, const ExtractionResult& result) {
        if (options_.type == DocType::Images) FilterPictures(page.report.list, page.report.notes, options_.filter);
        const std::string folder = page.downloads ? page.folder : PageFolder(options_.layout, base_, result.pageAddress);
        std::vector<DownloadRecord> sheetRecords =
            PlaceFetchedSheets(result.styleSheets, page.staging, folder, page.sheetFiles, files_, page.index);
        if (options_.download && options_.type == DocType::Css) page.report.records = std::move(sheetRecords);
        if (downloadList_) {
            Download(page);
            return;
        }
        Finish(page);
    }

    // Hands the rest of the page's list to the batch, once its style sheets are in place.
    void Download(RunPage& page) {
        CliReport& report = page.report;
        DownloadsOf(page, report.pageAddress).Feed(report.list, report.notes);
        SettleAhead(page);
        batch_->ReleaseFiles();
        scheduler_.DownloadsStarted();
        const std::size_t index = page.index;
        page.downloads->Close([this, index] {
            QMetaObject::invokeMethod(this, [this, index] { DownloadsDone(index); }, Qt::QueuedConnection);
        });
    }

    void DownloadsDone(std::size_t index) {
        const auto it = pages_.find(index);
        if (it == pages_.end() || scheduler_.Stopped()) return;
        scheduler_.DownloadsEnded();
        RunPage& page = *it->second;
        page.report.records = page.downloads->Records();
        page.report.times.downloads = MsBetween(page.extracted, Clock::now());
        Finish(page);
    }

    // Ends the page's time in the engine. Its view serves the next page unless its load
    // never ended or it served enough pages; then the view goes, and its renderer with it.
    void ClosePage(RunPage& page) {
        if (!page.view && !page.statics) return;
        page.load.reset();
        page.scroller.reset();
        page.statics.reset();
        if (page.view && page.report.loadError.empty() && !page.settled && !scheduler_.Stopped() &&
            page.view->pages < kPagesPerView) {
            page.view->ClearHistory();
            idleViews_.push_back(std::move(page.view));
        } else {
            page.view.reset();
        }
        scheduler_.LeftEngine();
        QTimer::singleShot(0, this, [this] { StartPages(); });
    }

    // Prints the page and forgets it.
    void Finish(RunPage& page) {
        SettleAhead(page);
        CliReport& report = page.report;
        report.times.total = MsBetween(page.started, Clock::now());
        scheduler_.Finished();
        progress_.Clear();
        if (!printer_.Page(report, {page.frames, page.framesMs, page.allFrames, page.extractMs})) {
            Halt(static_cast<int>(CliExit::PageNotLoaded), "cannot write the output; stopped");
            return;
        }
        pages_.erase(page.index);
        DrawProgress(true);
        QTimer::singleShot(0, this, [this] { StartPages(); });
    }

    void EndWhenDone() {
        if (!scheduler_.TakeEnd()) return;
        progress_.Clear();
        End(printer_.End());
    }

    void DrawProgress(bool force) {
        if (!progress_.Enabled() || scheduler_.Stopped() || scheduler_.Ended()) return;
        if (listRun_) {
            const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
            progress_.Show(static_cast<std::int64_t>(scheduler_.Done()), static_cast<std::int64_t>(scheduler_.Pages()),
                           FormatRunProgress(scheduler_.Done(), scheduler_.Pages(), filesDone_, bytesDone_, seconds),
                           force);
            return;
        }
        for (const auto& [index, page] : pages_) {
            if (page->view || !page->downloads) continue;
            const std::size_t total = page->report.list.size();
            const std::size_t done = page->downloads->Skipped() + page->downloads->Ended();
            if (total == 0) continue;
            progress_.Show(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total),
                           std::to_string(done) + "/" + std::to_string(total) + " downloaded", force || done == total);
        }
    }

    const ExtractCliOptions& options_;
    std::unordered_set<std::string> arguments_;  // the addresses given as arguments, trimmed
    const bool listRun_;
    const bool downloadList_;  // -d of a type whose result is a list of files
    const std::vector<std::string> addresses_;
    const std::string base_;  // the save folder, ending in "/"
    TerminalProgress& progress_;
    PageScheduler scheduler_;
    BrowserCookies cookies_;
    RunFiles files_;
    QEventLoop loop_;
    Clock::time_point started_;

    bool starting_ = false;
    std::optional<int> status_;  // the exit status once the run has ended
    RunPrinter printer_;
    std::optional<DuplicateFinder> duplicates_;  // --dedup
    std::optional<RobotsCache> robots_;  // a list run's, unless --no-robots
    HostPacer pagePace_;                 // the turns of the hosts for page loads
    std::deque<RunPage*> ready_;  // loaded, waiting for their extraction
    std::atomic<std::size_t> filesDone_{0};
    std::atomic<std::uint64_t> bytesDone_{0};

    std::map<std::size_t, std::unique_ptr<RunPage>> pages_;
    // --dedup: reads the saved files of the pages' lists, so it ends before they go.
    std::optional<TaskPool> reading_;
    IRunEngine* engine_ = nullptr;  // loaded at the first page that needs it
    // The views that wait for their next page, so that a page of a site finds the site's
    // renderer running.
    std::vector<std::unique_ptr<IEngineView>> idleViews_;
    // Where the downloads ahead go, beneath the save folder; removed once the batch has gone.
    struct AheadFolder {
        std::string folder;
        ~AheadFolder() {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        }
    } aheadFolder_{base_ + std::string(kPartialDownloadPrefix) + "ahead-" + std::to_string(getpid()) + "/"};
    // The batch goes first (it tells the pages' lists of the downloads' ends), then the
    // transfers it drives.
    CurlDownloader transfers_;
    std::optional<DownloadBatch> batch_;
    StaticPages statics_{options_, cookies_, base_, this,
                         static_cast<std::size_t>(options_.jobs > 0 ? options_.jobs : kDefaultPageJobs), progress_};
};

}  // namespace

int RunPages(const ExtractCliOptions& options, std::vector<std::string> addresses, std::string saveFolder,
             DownloadArchive* archive, ZipWriter* zip, const std::vector<std::string>& programFiles,
             TerminalProgress& progress, const GivenCookies& cookies) {
    Run run(options, std::move(addresses), std::move(saveFolder), archive, zip, programFiles, progress, cookies);
    StopSignals stopSignals([&run](int sig) { run.Stop(sig); });
    return run.Exec();
}

}  // namespace nuv
