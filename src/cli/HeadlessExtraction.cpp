#include "cli/HeadlessExtraction.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <tuple>
#include <unordered_set>

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "platform/BrowserCookies.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "cli/HeadlessPage.h"
#include "cli/StopSignals.h"
#include "cli/TerminalProgress.h"
#include "save/ListDownloads.h"
#include "cli/logic/CliJson.h"
#include "cli/logic/CliOutput.h"
#include "save/DownloadArchive.h"
#include "cli/logic/PageBatch.h"
#include "common/Paths.h"
#include "common/Product.h"
#include "common/SaveTargets.h"
#include "common/Text.h"
#include "common/Progress.h"
#include "extract/Extraction.h"
#include "extract/ExtractionResult.h"
#include "extract/ExtractionServices.h"
#include "save/DownloadBatch.h"
#include "net/HttpPageFetcher.h"
#include "web/CurlDownloader.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Transfers at a time for the whole run, and to one host (a browser opens six).
constexpr std::size_t kDownloadSlots = 8;
constexpr std::size_t kConnectionsPerHost = 4;
// Pages whose downloads may wait, for each page that -j lets load at once: beyond that
// no new page starts, so the engine does not pile up work faster than the network ends it.
constexpr std::size_t kWaitingPagesPerJob = 4;
// Pages one view serves before it is closed, so that what a renderer keeps from the
// pages it showed stays bounded.
constexpr int kPagesPerView = 25;

// Every message is one line: what a page or server wrote into it is escaped.
void PrintError(const std::string& text) {
    std::fprintf(stderr, "nuv-extract: %s\n", EscapeForTerminal(text).c_str());
}

long long MsBetween(Clock::time_point from, Clock::time_point to) {
    return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

bool WriteAll(std::FILE* out, const std::string& text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size()) return false;
    return std::fflush(out) == 0;
}


// ---- One page ----

// ProgressBar1 of a run without a window: drawn on the terminal for a one-page run,
// nowhere for a list (whose line counts pages).
class TerminalProgressBar : public IProgressBar {
public:
    TerminalProgressBar(TerminalProgress& progress, bool shown) : progress_(progress), shown_(shown) {}
    void SetProgressMaximum(int maximum) override {
        maximum_ = maximum;
        Draw();
    }
    void SetProgressPosition(int position) override {
        position_ = position;
        Draw();
    }
    void StepProgress() override {
        position_ = StepPosition(position_, 0, maximum_);
        Draw();
    }

private:
    void Draw() {
        if (shown_) progress_.Show(position_, maximum_, "extracting");
    }

    TerminalProgress& progress_;
    bool shown_;
    int maximum_ = 100;
    int position_ = 0;
};

// The folder the extraction fetches style sheets into.
class FixedSaveFolder : public ISaveFolder {
public:
    explicit FixedSaveFolder(std::string folder) : folder_(std::move(folder)) {}
    std::string SaveFolder() const override { return folder_; }

private:
    std::string folder_;
};

// The extraction's own fetches (style sheets, frame pages), each preceded by `feed`, which
// hands the addresses found so far to the downloads of -d, so they run while the rest is
// read. Before a style sheet is fetched, `hold` keeps the file it will have in the save
// folder from the downloads until it is there, so that a listed download of the same
// name still writes it after the sheet, as when the downloads start after the extraction.
class FeedingDownloader : public IDownloader {
public:
    FeedingDownloader(IDownloader& inner, std::function<void()> feed,
                      std::function<void(const std::string& url, const std::string& file)> hold)
        : inner_(inner), feed_(std::move(feed)), hold_(std::move(hold)) {}
    void DownloadToFile(const std::string& url, const std::string& filePath, const DownloadProgressFn& progress,
                        const DownloadBounds& bounds) override {
        feed_();
        hold_(url, filePath);
        inner_.DownloadToFile(url, filePath, progress, bounds);
    }

private:
    IDownloader& inner_;
    std::function<void()> feed_;
    std::function<void(const std::string&, const std::string&)> hold_;
};

class FeedingFetcher : public IPageFetcher {
public:
    FeedingFetcher(IPageFetcher& inner, std::function<void()> feed) : inner_(inner), feed_(std::move(feed)) {}
    std::string Get(const std::string& url) override {
        feed_();
        return inner_.Get(url);
    }

private:
    IPageFetcher& inner_;
    std::function<void()> feed_;
};

// A page of the run from its start to its output.
struct Page {
    std::size_t index = 0;
    CliReport report;
    std::unique_ptr<HeadlessView> view;  // while it loads and is extracted
    std::unique_ptr<PageLoad> load;
    Clock::time_point started, loaded, extracted;
    bool settled = false;  // extracted before its load ended
    bool allFrames = false;
    long long framesMs = 0;   // from the end of the load to the start of the extraction
    long long extractMs = 0;  // the extraction itself
    std::vector<std::string> frames;
    std::string staging;  // where its extraction fetched style sheets; removed with the page
    std::string folder;   // where its files go
    // -d of a list: its downloads, once the first address is handed over.
    std::unique_ptr<ListDownloads> downloads;
    // The files in `folder` that style sheets fetched into `staging` take, by name, when
    // taken before the fetch.
    std::map<std::string, std::string> sheetFiles;

    ~Page() {
        load.reset();
        view.reset();
        if (!staging.empty()) {
            std::error_code ec;
            fs::remove_all(staging, ec);
        }
    }
};

// The program's own files: in the program's folder, and the per-user settings of the window.
std::vector<std::string> ProgramFiles() {
    std::string folder = ToUtf8(QCoreApplication::applicationDirPath());
    NormalizeFolderPath(folder);
    std::vector<std::string> files{ToUtf8(QCoreApplication::applicationFilePath())};
    for (std::string_view name : kProgramFileNames) files.push_back(folder + std::string(name));
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string user = UserConfigFolder(UserHomeFolder(), xdg ? xdg : "") + "nuv-webextract/";
    for (std::string_view name : {kProgramFileNames[0], kProgramFileNames[1]}) files.push_back(user + std::string(name));
    return files;
}

// ---- The run ----

// Every page of a command line on one engine: -j pages load at a time, their
// extractions run one after the other on this thread (each re-enters the event loop
// while it reads the page), and their downloads share one batch over one set of
// connections, which starts them while the extraction still reads style sheets and
// frames. Each page prints when its downloads are done. Runs on the user-interface thread.
class Run : public QObject {
public:
    Run(const ExtractCliOptions& options, std::vector<std::string> addresses, std::string base,
        DownloadArchive* archive, TerminalProgress& progress)
        : options_(options),
          listRun_(IsListRun(options)),
          downloadList_(options.download && !IsTextType(options.type) && options.type != DocType::Css),
          addresses_(std::move(addresses)),
          base_(std::move(base)),
          progress_(progress),
          jobs_(static_cast<std::size_t>(options.jobs > 0 ? options.jobs : kDefaultPageJobs)),
          cookies_(QWebEngineProfile::defaultProfile()),
          files_(base_, archive) {
        files_.saved = [this](std::uint64_t size) {
            ++filesDone_;
            bytesDone_ += size;
        };
        transfers_.SetCookieSource(&cookies_);
        transfers_.SetSlots(kDownloadSlots);
        transfers_.SetSaveRoot(base_);
        transfers_.SetAllowPrivateNetwork(options.allowPrivateNetwork);
        files_.protectedFiles = ProtectedFiles(ProgramFiles());
        for (const std::string& a : options.addresses) arguments_.insert(Trim(a));
        batch_.emplace(transfers_, kConnectionsPerHost);
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
                            std::to_string(addresses_.size() - pagesDone_));
    }

private:
    // Stops the run: no page starts any more, loads and extractions end, downloads end
    // at once and leave no file; Exec returns `status`.
    void Halt(int status, const std::string& why) {
        if (stopped_) return;
        stopped_ = true;
        HaltStopSignals();
        batch_->Cancel();
        ready_.clear();
        for (auto& [index, page] : pages_) {
            if (page->load) page->load->Stop();
            if (page->view) page->view->Browser().Close();
        }
        progress_.Clear();
        PrintError(why);
        End(status);
    }

    void StartPages() {
        if (starting_ || stopped_) return;
        starting_ = true;
        while (next_ < addresses_.size() && open_ < jobs_ && waiting_ < jobs_ * kWaitingPagesPerJob &&
               !stopped_)
            StartPage(next_++);
        starting_ = false;
        EndWhenDone();
    }

    void StartPage(std::size_t index) {
        auto owned = std::make_unique<Page>();
        Page& page = *owned;
        pages_[index] = std::move(owned);
        page.index = index;
        page.started = Clock::now();
        page.report.type = options_.type;
        page.report.downloaded = options_.download;
        page.report.shown = options_.shown;
        // A line of a list is data: it opens a web page, never a local file unless the user
        // allowed it (an address given on the command line is the user's own).
        const bool listed = !arguments_.contains(addresses_[index]);
        if (listed) {
            if (const std::string refusal = ListedAddressRefusal(addresses_[index], options_.allowLocalFiles);
                !refusal.empty()) {
                page.report.requested = addresses_[index];
                page.report.loadError = refusal;
                Finish(page);
                return;
            }
        }
        std::function<bool(const std::string&)> isFile;
        if (!listed || options_.allowLocalFiles) {
            isFile = [](const std::string& p) {
                std::error_code ec;
                return fs::is_regular_file(fs::path(p), ec);
            };
        }
        const CliAddress where = PrepareCliAddress(addresses_[index], ToUtf8(QDir::currentPath()), isFile);
        const QUrl url = where.localFile ? QUrl::fromLocalFile(FromUtf8(where.address)) : QUrl(FromUtf8(where.address));
        if (!url.isValid() || url.isEmpty()) {
            page.report.requested = where.address;
            page.report.loadError = "not a valid address";
            Finish(page);
            return;
        }
        page.report.requested = ToUtf8(url.toString(QUrl::FullyEncoded));
        if (idle_.empty()) {
            page.view = std::make_unique<HeadlessView>();
        } else {
            page.view = std::move(idle_.back());
            idle_.pop_back();
        }
        // The extraction reads addresses, never pixels: pictures are neither fetched nor
        // decoded (the document still holds every picture element, script-made ones too).
        // With --shown the page shows its pictures as a browser does, their sizes included.
        page.view->View()->page()->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, options_.shown);
        ++page.view->pages;
        ++open_;
        std::function<void(int, int)> loading;
        if (!listRun_) loading = [this](int p, int m) { progress_.Show(p, m, "loading"); };
        page.load = std::make_unique<PageLoad>(
            *page.view, options_.timeoutMs, this,
            [this, &page](const std::string& failure, bool settled) { Loaded(page, failure, settled); }, loading);
        page.load->Start(page.report.requested);
    }

    void Loaded(Page& page, const std::string& failure, bool settled) {
        page.loaded = Clock::now();
        page.report.times.load = MsBetween(page.started, page.loaded);
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
            page.report.errors.push_back(note);
            if (!options_.quiet) PrintError(listRun_ ? page.report.requested + ": " + note : note);
        }
        ready_.push_back(&page);
        loop_.quit();  // to Exec, which extracts it
    }

    // Extracts the loaded pages, one after the other. An extraction re-enters the event
    // loop; pages that finish loading meanwhile wait in `ready_` for this loop.
    void Pump() {
        while (!ready_.empty() && !stopped_) {
            Page* page = ready_.front();
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
    ListDownloads& DownloadsOf(Page& page, const std::string& pageAddress) {
        if (!page.downloads) {
            page.folder = PageFolder(options_.layout, base_, pageAddress);
            page.downloads =
                std::make_unique<ListDownloads>(options_.type, page.folder, pageAddress, *batch_, &files_, page.index);
        }
        return *page.downloads;
    }

    void Extract(Page& page) {
        WebEngineBrowser& browser = page.view->Browser();
        // The extraction starts once every frame has reported its address (or the bound passed).
        try {
            page.allFrames = browser.WaitForFrames();
        } catch (const std::exception&) {
        }
        page.framesMs = MsBetween(page.loaded, Clock::now());
        page.staging = base_ + std::string(kPartialDownloadPrefix) + "sheets-" + std::to_string(getpid()) + "-" +
                       std::to_string(page.index) + "/";

        CurlDownloader downloader;
        downloader.SetCookieSource(&cookies_);
        downloader.SetWaitHook(ThrowIfStopping);
        downloader.SetSaveRoot(base_);
        downloader.SetAllowPrivateNetwork(options_.allowPrivateNetwork);
        HttpPageFetcher http;
        http.IdHTTP1.SetWaitHook(ThrowIfStopping);
        http.IdHTTP1.SetAllowPrivateNetwork(options_.allowPrivateNetwork);
        TerminalProgressBar bar(progress_, !listRun_);
        FixedSaveFolder saveFolder(page.staging);
        // -d of a list that only grows while the extraction reads style sheets and frames:
        // its downloads start meanwhile. A list that is filtered once complete (--min-size,
        // --types), or named with the pictures the page shows (--shown), is handed over
        // only then.
        const bool feedEarly = downloadList_ && !options_.shown && !options_.filter.Active() &&
                               (options_.type == DocType::Images || options_.type == DocType::Flash);
        Extraction* running = nullptr;
        const auto feed = [&] {
            if (!running || !feedEarly) return;
            DownloadsOf(page, running->PageAddress())
                .Feed(options_.type == DocType::Images ? running->Lists().ImageURLs.Items()
                                                       : running->Lists().FlashURLs.Items());
        };
        const auto hold = [&](const std::string& url, const std::string& file) {
            if (!running || !downloadList_ || file.compare(0, page.staging.size(), page.staging) != 0) return;
            ListDownloads& downloads = DownloadsOf(page, running->PageAddress());
            const std::string name = file.substr(page.staging.size());
            auto [it, added] = page.sheetFiles.try_emplace(name);
            if (added) it->second = files_.claims.Claim(page.folder + name, page.index, url);
            downloads.HoldFile(it->second);
        };
        FeedingDownloader sheets(downloader, feed, hold);
        FeedingFetcher frames(http, feed);
        Extraction extraction(ExtractionServices{browser, downloadList_ ? static_cast<IDownloader&>(sheets) : downloader,
                                                 downloadList_ ? static_cast<IPageFetcher&>(frames) : http, saveFolder,
                                                 bar, [] { return LoadTextResource("page1"); }});
        running = &extraction;
        downloader.SetPageAddress([&extraction] { return extraction.PageAddress(); });
        http.IdHTTP1.SetPageAddress([&extraction] { return extraction.PageAddress(); });
        extraction.SetIncludeShownPictures(options_.shown);
        const auto start = Clock::now();
        const ExtractionResult result = extraction.ExtractFormWebpage(static_cast<int>(options_.type));
        running = nullptr;
        page.extracted = Clock::now();
        page.extractMs = MsBetween(start, page.extracted);
        page.report.times.extract = MsBetween(page.loaded, page.extracted);
        if (!listRun_) progress_.Clear();

        CliReport& report = page.report;
        page.frames = result.frames;
        report.pageAddress = result.pageAddress;
        report.cut = result.cut;
        if (IsTextType(options_.type)) {
            report.text = result.memoText;
        } else {
            report.list = result.addresses;
            report.notes = result.notes;
        }
        if (options_.type == DocType::Images && !stopped_) {
            // The size of every listed picture as the result window measures it, for a size
            // filter and for the sizes the JSON outputs give.
            if (options_.filter.minWidth > 0 || options_.filter.minHeight > 0 ||
                (options_.shown && (options_.json || options_.jsonl))) {
                const auto sizes = MeasureResultPictures(browser, result.resultHtml, options_.timeoutMs);
                for (size_t i = 0; i < report.list.size() && i < report.notes.size(); ++i) {
                    const auto it = sizes.find(report.list[i]);
                    if (it != sizes.end() && report.notes[i].width == 0 && report.notes[i].height == 0)
                        std::tie(report.notes[i].width, report.notes[i].height) = it->second;
                }
            }
            FilterPictures(report.list, report.notes, options_.filter);
        }
        ClosePage(page);
        if (stopped_) return;

        const std::string folder = page.downloads ? page.folder : PageFolder(options_.layout, base_, result.pageAddress);
        std::vector<DownloadRecord> sheetRecords = PlaceSheets(result.styleSheets, page, folder);
        if (options_.download && options_.type == DocType::Css) report.records = std::move(sheetRecords);
        if (downloadList_) {
            Download(page);
            return;
        }
        Finish(page);
    }

    // Moves the style sheets that the extraction fetched to their place in `folder`
    // (numbered where another page has the name) and returns their records.
    std::vector<DownloadRecord> PlaceSheets(const std::vector<SavedSheet>& sheets, Page& page,
                                            const std::string& folder) {
        std::vector<DownloadRecord> records;
        for (const SavedSheet& sheet : sheets) {
            if (!sheet.outcome.attempted) continue;
            DownloadRecord r;
            r.address = sheet.address;
            const std::string name = sheet.outcome.file.substr(std::min(page.staging.size(), sheet.outcome.file.size()));
            r.file = folder + name;
            std::error_code ec;
            if (sheet.outcome.saved) {
                const auto taken = page.sheetFiles.find(name);
                r.file = taken != page.sheetFiles.end() ? taken->second : files_.claims.Claim(r.file, page.index, r.address);
                const fs::path fetched(page.staging + name);
                if (files_.protectedFiles.Protects(r.file)) {
                    r.outcome = DownloadRecord::Outcome::Failed;
                    r.reason = std::string(kProtectedFile);
                    records.push_back(std::move(r));
                    continue;
                }
                if (fs::exists(fetched, ec) && !MoveBeneath(base_, page.staging + name, r.file))
                    ec = std::error_code(errno, std::generic_category());
                const auto size = ec ? 0 : fs::file_size(fs::path(r.file), ec);
                r.outcome = ec ? DownloadRecord::Outcome::Failed : DownloadRecord::Outcome::Saved;
                r.size = ec ? 0 : static_cast<std::uint64_t>(size);
                if (ec) r.reason = "cannot be put into the save folder: " + ec.message();
            } else {
                r.outcome = DownloadRecord::Outcome::Failed;
                r.reason = sheet.outcome.error;
            }
            records.push_back(std::move(r));
        }
        return records;
    }

    // Hands the rest of the page's list to the batch, once its style sheets are in place.
    void Download(Page& page) {
        CliReport& report = page.report;
        DownloadsOf(page, report.pageAddress).Feed(report.list, report.notes);
        batch_->ReleaseFiles();
        ++waiting_;
        const std::size_t index = page.index;
        page.downloads->Close([this, index] {
            QMetaObject::invokeMethod(this, [this, index] { DownloadsDone(index); }, Qt::QueuedConnection);
        });
    }

    void DownloadsDone(std::size_t index) {
        const auto it = pages_.find(index);
        if (it == pages_.end() || stopped_) return;
        --waiting_;
        Page& page = *it->second;
        page.report.records = page.downloads->Records();
        page.report.times.downloads = MsBetween(page.extracted, Clock::now());
        Finish(page);
    }

    // Ends the page's time in the engine. Its view serves the next page unless its load
    // never ended or it served enough pages; then the view goes, and its renderer with it.
    void ClosePage(Page& page) {
        if (!page.view) return;
        page.load.reset();
        if (page.report.loadError.empty() && !page.settled && !stopped_ && page.view->pages < kPagesPerView) {
            page.view->View()->page()->history()->clear();
            idle_.push_back(std::move(page.view));
        } else {
            page.view.reset();
        }
        --open_;
        QTimer::singleShot(0, this, [this] { StartPages(); });
    }

    // Prints the page and forgets it.
    void Finish(Page& page) {
        CliReport& report = page.report;
        report.times.total = MsBetween(page.started, Clock::now());
        tally_.Add(report);
        ++pagesDone_;
        progress_.Clear();
        const bool loaded = report.loadError.empty();
        if (!loaded) PrintError("cannot load " + report.requested + ": " + report.loadError);
        if (loaded && options_.verbose) PrintTimes(page);
        std::string out;
        if (options_.jsonl) {
            out = FormatJsonLine(report);
        } else if (loaded) {
            if (listRun_) out = FormatPageHeader(report);
            out += options_.json ? FormatJsonOutput(report) : FormatPlainOutput(report, stdoutTerminal_);
        }
        if (!out.empty() && !WriteAll(stdout, out)) {
            outputFailed_ = true;
            // Nobody reads the pages any more (a pipe's reader has gone): the run ends as
            // if stopped, and says why.
            if (listRun_) {
                Halt(static_cast<int>(CliExit::PageNotLoaded), "cannot write the output; stopped");
                return;
            }
        }
        for (const DownloadRecord& r : report.records) {
            if (r.outcome == DownloadRecord::Outcome::Failed) PrintError("download failed: " + r.address + ": " + r.reason);
        }
        if (!listRun_) {
            if (loaded) std::fputs(FormatSummary(report).c_str(), stderr);
            singleStatus_ = loaded ? ExitStatusOf(report) : CliExit::PageNotLoaded;
        }
        pages_.erase(page.index);
        DrawProgress(true);
        QTimer::singleShot(0, this, [this] { StartPages(); });
    }

    void PrintTimes(const Page& page) {
        const std::string prefix = listRun_ ? EscapeForTerminal(page.report.requested) + ": " : std::string();
        for (const std::string& frame : page.frames)
            std::fprintf(stderr, "%sframe: %s\n", prefix.c_str(), EscapeForTerminal(frame).c_str());
        std::fprintf(stderr,
                     "%stiming: page loaded after %lld ms; extraction started %lld ms after the load (%s); "
                     "extraction %lld ms; downloads %lld ms\n",
                     prefix.c_str(), page.report.times.load, page.framesMs,
                     page.allFrames ? "every frame reported" : "frame bound reached", page.extractMs,
                     page.report.times.downloads);
        const std::string cut = FormatCut(page.report.cut);
        if (!cut.empty()) std::fprintf(stderr, "%s%s", prefix.c_str(), cut.c_str());
    }

    void EndWhenDone() {
        if (next_ < addresses_.size() || !pages_.empty() || stopped_ || ended_) return;
        ended_ = true;
        progress_.Clear();
        if (listRun_) std::fputs(FormatRunSummary(tally_, options_.type).c_str(), stderr);
        int status = static_cast<int>(listRun_ ? RunExitStatus(tally_) : singleStatus_);
        if (outputFailed_) {
            // The result did not reach its reader: as much a failure as a page not loaded.
            PrintError("cannot write the output");
            status = static_cast<int>(CliExit::PageNotLoaded);
        }
        End(status);
    }

    void DrawProgress(bool force) {
        if (!progress_.Enabled() || stopped_ || ended_) return;
        if (listRun_) {
            const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
            progress_.Show(static_cast<std::int64_t>(pagesDone_), static_cast<std::int64_t>(addresses_.size()),
                           FormatRunProgress(pagesDone_, addresses_.size(), filesDone_, bytesDone_, seconds), force);
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
    const bool stdoutTerminal_ = isatty(STDOUT_FILENO) == 1;
    const bool listRun_;
    const bool downloadList_;  // -d of a type whose result is a list of files
    const std::vector<std::string> addresses_;
    const std::string base_;  // the save folder, ending in "/"
    TerminalProgress& progress_;
    const std::size_t jobs_;
    BrowserCookies cookies_;
    RunFiles files_;
    QEventLoop loop_;
    Clock::time_point started_;

    std::size_t next_ = 0;     // the next address to start
    std::size_t open_ = 0;     // pages in the engine (loading, waiting or being extracted)
    std::size_t waiting_ = 0;  // pages whose downloads run
    std::size_t pagesDone_ = 0;
    bool starting_ = false;
    bool ended_ = false;
    std::optional<int> status_;  // the exit status once the run has ended
    bool stopped_ = false;  // by a signal, or because the output is gone
    bool outputFailed_ = false;
    CliExit singleStatus_ = CliExit::Ok;
    RunTally tally_;
    std::deque<Page*> ready_;  // loaded, waiting for their extraction
    std::atomic<std::size_t> filesDone_{0};
    std::atomic<std::uint64_t> bytesDone_{0};

    std::map<std::size_t, std::unique_ptr<Page>> pages_;
    std::vector<std::unique_ptr<HeadlessView>> idle_;  // views waiting for their next page
    // The batch goes first (it tells the pages' lists of the downloads' ends), then the
    // transfers it drives.
    CurlDownloader transfers_;
    std::optional<DownloadBatch> batch_;
};

// The save folder ending in "/": the one given, made absolute and created when
// missing, or a new private temporary one that `temp` removes at exit. Returns "" and
// sets `error` when there is none.
std::string PrepareSaveFolder(const std::string& given, std::unique_ptr<QTemporaryDir>& temp, std::string& error) {
    std::string folder;
    if (given.empty()) {
        temp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/nuv-extract-XXXXXX"));
        if (!temp->isValid()) {
            error = "cannot create a temporary folder: " + ToUtf8(temp->errorString());
            return {};
        }
        folder = ToUtf8(temp->path());
    } else {
        std::error_code ec;
        const fs::path path = fs::absolute(fs::path(given), ec).lexically_normal();
        if (ec) {
            error = "cannot use " + given + " as the save folder: " + ec.message();
            return {};
        }
        if (!fs::is_directory(path, ec)) fs::create_directories(path, ec);
        if (!fs::is_directory(path)) {
            error = "cannot use " + given + " as the save folder: " +
                    (ec ? ec.message() : std::string("it is not a folder"));
            return {};
        }
        folder = path.string();
    }
    NormalizeFolderPath(folder);
    return folder;
}

// The text of the -i file ("-": standard input). Returns false and sets `error` when it
// cannot be read.
bool ReadListFile(const std::string& name, std::string& text, std::string& error) {
    if (name == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        text = all.str();
        return true;
    }
    std::ifstream in(name, std::ios::binary);
    if (in) {
        std::ostringstream all;
        all << in.rdbuf();
        if (!in.bad()) {
            text = all.str();
            return true;
        }
    }
    error = "cannot read " + name + ": " + std::strerror(errno);
    return false;
}

}  // namespace

int RunExtractCli(const ExtractCliOptions& options) {
    TerminalProgress progress(!options.quiet && isatty(STDERR_FILENO) == 1);

    std::unique_ptr<QTemporaryDir> temp;
    std::string error;
    const std::string folder = PrepareSaveFolder(options.saveTo, temp, error);
    if (folder.empty()) {
        PrintError(error);
        return static_cast<int>(CliExit::Usage);
    }
    std::string listText;
    if (!options.inputFile.empty() && !ReadListFile(options.inputFile, listText, error)) {
        PrintError(error);
        return static_cast<int>(CliExit::Usage);
    }
    const std::vector<std::string> listed = ParseAddressList(listText, &error);
    if (!error.empty()) {
        PrintError((options.inputFile == "-" ? std::string("standard input") : options.inputFile) + ": " + error);
        return static_cast<int>(CliExit::Usage);
    }
    std::vector<std::string> addresses = RunAddresses(options.addresses, listed, options.shard);
    std::unique_ptr<DownloadArchive> archive;
    if (!options.archive.empty()) {
        try {
            archive = std::make_unique<DownloadArchive>(options.archive);
        } catch (const std::exception& e) {
            PrintError("cannot use " + options.archive + " as the archive: " + e.what());
            return static_cast<int>(CliExit::Usage);
        }
    }
    // Pages that are closed leave little behind: the engine's cache of the run is bounded.
    QWebEngineProfile::defaultProfile()->setHttpCacheMaximumSize(32 << 20);
    // The pages of a list are never seen: they load without the Flash player, which finds
    // the same lists and would cost each page and frame the loading of its script.
    if (IsListRun(options)) qputenv("NUV_FLASH_PLAYER", "off");

    Run run(options, std::move(addresses), folder, archive.get(), progress);
    StopSignals stopSignals([&run](int sig) { run.Stop(sig); });
    return run.Exec();
}

}  // namespace nuv
