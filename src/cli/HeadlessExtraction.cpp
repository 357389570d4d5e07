#include "cli/HeadlessExtraction.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>

#include <unistd.h>

#include <QAuthenticator>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "platform/BrowserCookies.h"
#include "platform/PageScripts.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "cli/TerminalProgress.h"
#include "common/Paths.h"
#include "common/Progress.h"
#include "extract/Extraction.h"
#include "cli/logic/CliDownloads.h"
#include "library/logic/DownloadBatch.h"
#include "net/HttpPageFetcher.h"
#include "web/CurlDownloader.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;

// Transfers at a time for -d; a browser opens six connections to one host.
constexpr int kDownloadWorkers = 4;

void PrintError(const std::string& text) { std::fprintf(stderr, "nuv-extract: %s\n", text.c_str()); }

// A page that never waits for a person: script dialogs are answered at once, requests
// for credentials are refused, and the page's console stays off standard error.
class HeadlessPage : public QWebEnginePage {
public:
    explicit HeadlessPage(QObject* parent) : QWebEnginePage(parent) {
        connect(this, &QWebEnginePage::authenticationRequired, this,
                [](const QUrl&, QAuthenticator* a) { *a = QAuthenticator(); });
        connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
                [](const QUrl&, QAuthenticator* a, const QString&) { *a = QAuthenticator(); });
    }

protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}
};

std::string DescribeLoadError(const QWebEngineLoadingInfo& info) {
    // The engine's text for a status is its error page's markup; the number says it all.
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
        return "the server answered with HTTP status " + std::to_string(info.errorCode());
    std::string kind;
    switch (info.errorDomain()) {
        case QWebEngineLoadingInfo::ConnectionErrorDomain: kind = "connection failed"; break;
        case QWebEngineLoadingInfo::CertificateErrorDomain: kind = "certificate refused"; break;
        case QWebEngineLoadingInfo::HttpErrorDomain: kind = "HTTP failure"; break;
        case QWebEngineLoadingInfo::FtpErrorDomain: kind = "FTP failure"; break;
        case QWebEngineLoadingInfo::DnsErrorDomain: kind = "host name not resolved"; break;
        default: kind = "load failed"; break;
    }
    std::string text = kind + " (" + std::to_string(info.errorCode());
    const std::string detail = ToUtf8(info.errorString());
    if (!detail.empty()) text += ": " + detail;
    return text + ")";
}

// How long a page whose document is there waits for the rest of its load (a frame or a
// style sheet that never ends) before it is extracted as it stands.
constexpr int kSubresourceSettleMs = 10000;

// Loads `address` into the browser and waits for the end of the load. Returns "" when
// the page loaded, else why it did not. A page whose document has been read but whose
// load does not end (a frame or style sheet that never finishes) counts as loaded once
// kSubresourceSettleMs have passed since its document was ready, or the timeout, and
// `settled` is then set.
std::string LoadPage(WebEngineBrowser& browser, const std::string& address, int timeoutMs,
                     TerminalProgress& progress, bool& settled) {
    QEventLoop loop;
    bool finished = false;
    bool ok = false;
    std::string failure;
    QWebEnginePage* page = browser.View()->page();
    QObject::connect(page, &QWebEnginePage::loadingChanged, &loop, [&](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && failure.empty())
            failure = DescribeLoadError(info);
    });
    QObject::connect(&browser, &WebEngineBrowser::ProgressChange, &loop,
                     [&](int p, int m) { progress.Show(p, m, "loading"); });
    QObject::connect(&browser, &WebEngineBrowser::NavigateComplete, &loop, [&](bool success) {
        if (finished) return;
        finished = true;
        ok = success;
        loop.quit();
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    // Whether the page's own document is there yet, asked of the page four times a second.
    bool documentReady = false;
    auto alive = std::make_shared<bool>(true);
    QTimer settle;
    settle.setSingleShot(true);
    QObject::connect(&settle, &QTimer::timeout, &loop, [&] {
        settled = true;
        loop.quit();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&, alive] {
        if (documentReady) return;
        // The empty document that stands before the first answer does not count.
        const QString ask = QStringLiteral("location.href === 'about:blank' ? '' : document.readyState");
        page->runJavaScript(ask, scripts::kWorld, [&, alive](const QVariant& v) {
            if (!*alive || documentReady || finished) return;
            const QString state = v.toString();
            if (state != QLatin1String("interactive") && state != QLatin1String("complete")) return;
            documentReady = true;
            settle.start(std::min(kSubresourceSettleMs, std::max(0, timer.remainingTime())));
        });
    });
    poll.start(250);
    browser.Navigate(address);
    if (!finished) loop.exec();
    *alive = false;
    progress.Clear();
    if (!finished && (settled || documentReady)) {
        settled = true;
        return {};
    }
    if (!finished) {
        browser.View()->stop();
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", timeoutMs / 1000.0);
        return std::string("no answer within ") + seconds + " seconds";
    }
    if (ok) return {};
    return failure.empty() ? std::string("load failed") : failure;
}

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

// The extraction's own fetches (style sheets, frame pages), each preceded by `feed`, which
// hands the addresses found so far to the downloads of -d, so they run while the rest is
// read. A style sheet's file is held from the downloads until the extraction ends: the
// sheet is written and read back undisturbed, and a listed download of the same name
// still writes it after the sheet, as when the downloads start after the extraction.
class FeedingDownloader : public IDownloader {
public:
    FeedingDownloader(IDownloader& inner, std::function<void()> feed, std::function<void(const std::string&)> hold)
        : inner_(inner), feed_(std::move(feed)), hold_(std::move(hold)) {}
    void DownloadToFile(const std::string& url, const std::string& filePath, const DownloadProgressFn& progress,
                        const DownloadBounds& bounds) override {
        feed_();
        hold_(filePath);
        inner_.DownloadToFile(url, filePath, progress, bounds);
    }

private:
    IDownloader& inner_;
    std::function<void()> feed_;
    std::function<void(const std::string&)> hold_;
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

// The records of the style sheets an extraction fetched into the save folder.
std::vector<DownloadRecord> SheetRecords(const std::vector<SavedSheet>& sheets) {
    std::vector<DownloadRecord> records;
    for (const SavedSheet& sheet : sheets) {
        if (!sheet.outcome.attempted) continue;
        DownloadRecord r;
        r.address = sheet.address;
        r.file = sheet.outcome.file;
        if (sheet.outcome.saved) {
            std::error_code ec;
            const auto size = fs::file_size(fs::path(r.file), ec);
            r.outcome = DownloadRecord::Outcome::Saved;
            r.size = ec ? 0 : static_cast<std::uint64_t>(size);
        } else {
            r.outcome = DownloadRecord::Outcome::Failed;
            r.reason = sheet.outcome.error;
        }
        records.push_back(std::move(r));
    }
    return records;
}

// ProgressBar1 of a run without a window, drawn on the terminal.
class TerminalProgressBar : public IProgressBar {
public:
    explicit TerminalProgressBar(TerminalProgress& progress) : progress_(progress) {}
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
    void Draw() { progress_.Show(position_, maximum_, "extracting"); }

    TerminalProgress& progress_;
    int maximum_ = 100;
    int position_ = 0;
};

// The save folder given on the command line (or the temporary one).
class FixedSaveFolder : public ISaveFolder {
public:
    explicit FixedSaveFolder(std::string folder) : folder_(std::move(folder)) {}
    std::string SaveFolder() const override { return folder_; }

private:
    std::string folder_;
};

bool WriteAll(std::FILE* out, const std::string& text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size()) return false;
    return std::fflush(out) == 0;
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

    const CliAddress where = PrepareCliAddress(options.address, ToUtf8(QDir::currentPath()), [](const std::string& p) {
        std::error_code ec;
        return fs::is_regular_file(fs::path(p), ec);
    });
    const QUrl url = where.localFile ? QUrl::fromLocalFile(FromUtf8(where.address))
                                     : QUrl(FromUtf8(where.address));
    if (!url.isValid() || url.isEmpty()) {
        PrintError("cannot load " + where.address + ": not a valid address");
        return static_cast<int>(CliExit::PageNotLoaded);
    }
    const std::string address = ToUtf8(url.toString(QUrl::FullyEncoded));

    // A view that is never on screen but counts as shown, so the engine lays the page out
    // in a window-sized viewport and does not throttle its scripts like a hidden tab.
    auto view = std::make_unique<QWebEngineView>();
    view->setPage(new HeadlessPage(view.get()));
    // The extraction reads addresses, never pixels: pictures are neither fetched nor
    // decoded (the document still holds every picture element, script-made ones too).
    // With --shown the page shows its pictures as a browser does, their sizes included.
    view->page()->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, options.shown);
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->resize(1280, 900);
    view->show();
    WebEngineBrowser browser(view.get());
    // Follows the browser's cookie store from before the load, so the page's cookies are
    // known when its resources are downloaded.
    BrowserCookies cookies(view->page()->profile());

    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    auto since = [](Clock::time_point t) {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
    };
    bool settled = false;
    const std::string failure = LoadPage(browser, address, options.timeoutMs, progress, settled);
    const auto loaded = Clock::now();
    if (!failure.empty()) {
        PrintError("cannot load " + address + ": " + failure);
        return static_cast<int>(CliExit::PageNotLoaded);
    }
    if (settled && !options.quiet) PrintError("the page is still loading; extracted as it stands");
    // The extraction starts once every frame has reported its address (or the bound passed).
    bool allFrames = false;
    try {
        allFrames = browser.WaitForFrames();
    } catch (const std::exception&) {
    }
    const long long framesMs = since(loaded);

    CurlDownloader downloader;
    downloader.SetCookieSource(&cookies);
    HttpPageFetcher http;
    TerminalProgressBar bar(progress);
    FixedSaveFolder saveFolder(folder);
    // -d of a list: one batch over one set of connections, fed from the list of the type
    // while the extraction still reads style sheets and frames.
    const bool downloadList = options.download && !IsTextType(options.type) && options.type != DocType::Css;
    CurlDownloader transfers;
    transfers.SetCookieSource(&cookies);
    transfers.SetSlots(kDownloadWorkers);
    std::optional<DownloadBatch> batch;
    if (downloadList) batch.emplace(transfers);
    std::unique_ptr<ListDownloads> listDownloads;
    Extraction* running = nullptr;
    // A list that is filtered once complete (--min-size, --types), or named with the pictures
    // the page shows (--shown), is handed over only then.
    const bool feedEarly = !options.shown && !options.filter.Active();
    const auto feed = [&] {
        if (!running || !feedEarly || (options.type != DocType::Images && options.type != DocType::Flash)) return;
        if (!listDownloads) listDownloads = std::make_unique<ListDownloads>(options.type, folder, running->PageURL, *batch);
        listDownloads->Feed(options.type == DocType::Images ? running->lists.ImageURLs.Items()
                                                            : running->lists.FlashURLs.Items());
    };
    FeedingDownloader sheets(downloader, feed, [&](const std::string& file) {
        if (listDownloads) listDownloads->HoldFile(file);
    });
    FeedingFetcher frames(http, feed);
    Extraction extraction(ExtractionServices{browser, downloadList ? static_cast<IDownloader&>(sheets) : downloader,
                                             downloadList ? static_cast<IPageFetcher&>(frames) : http, saveFolder, bar,
                                             [] { return LoadTextResource("page1"); }});
    if (downloadList) running = &extraction;
    downloader.SetPageAddress([&extraction] { return extraction.PageURL; });
    extraction.IncludeShownPictures = options.shown;
    const auto extractionStart = Clock::now();
    const ExtractionResult result = extraction.ExtractFormWebpage(static_cast<int>(options.type));
    const long long extractionMs = since(extractionStart);
    progress.Clear();

    CliReport report;
    report.pageAddress = result.pageAddress;
    report.type = options.type;
    report.downloaded = options.download;
    if (IsTextType(options.type)) report.text = result.memoText;
    else report.list = result.addresses;
    std::vector<ImageNote> notes = result.imageNotes;
    if (options.type == DocType::Images) {
        // The size of every listed picture as the result window measures it, for a size
        // filter and for the sizes --json gives.
        if (options.filter.minWidth > 0 || options.filter.minHeight > 0 || (options.shown && options.json)) {
            const auto sizes = MeasureResultPictures(browser, result.resultHtml, options.timeoutMs);
            for (size_t i = 0; i < report.list.size() && i < notes.size(); ++i) {
                const auto it = sizes.find(report.list[i]);
                if (it != sizes.end() && notes[i].width == 0 && notes[i].height == 0)
                    std::tie(notes[i].width, notes[i].height) = it->second;
            }
        }
        FilterPictures(report.list, notes, options.filter);
        if (options.shown) report.notes = notes;
    }
    const auto downloadStart = Clock::now();
    if (options.download && options.type == DocType::Css) report.records = SheetRecords(result.styleSheets);
    if (batch) {
        if (!listDownloads) listDownloads = std::make_unique<ListDownloads>(options.type, folder, result.pageAddress, *batch);
        listDownloads->Feed(report.list, notes);
        const std::size_t total = report.list.size();
        const std::size_t skipped = listDownloads->Skipped();
        const auto show = [&](std::size_t ended) {
            const std::size_t done = skipped + ended;
            progress.Show(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total),
                          std::to_string(done) + "/" + std::to_string(total) + " downloaded", done == total);
        };
        report.records = listDownloads->Records(
            progress.Enabled() ? batch->Finish(show) : batch->Finish());
        progress.Clear();
    }

    if (options.verbose) {
        for (const std::string& frame : result.frames) std::fprintf(stderr, "frame: %s\n", frame.c_str());
        std::fprintf(stderr,
                     "timing: page loaded after %lld ms; extraction started %lld ms after the load (%s); "
                     "extraction %lld ms; downloads %lld ms\n",
                     static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(loaded - started).count()),
                     framesMs, allFrames ? "every frame reported" : "frame bound reached", extractionMs,
                     since(downloadStart));
    }
    const bool written = WriteAll(stdout, options.json ? FormatJsonOutput(report) : FormatPlainOutput(report));
    for (const DownloadRecord& r : report.records) {
        if (r.outcome == DownloadRecord::Outcome::Failed) PrintError("download failed: " + r.address + ": " + r.reason);
    }
    std::fputs(FormatSummary(report).c_str(), stderr);
    if (!written) {
        // The result did not reach its reader: as much a failure as a page not loaded.
        PrintError("cannot write the output");
        return static_cast<int>(CliExit::PageNotLoaded);
    }
    return static_cast<int>(ExitStatusOf(report));
}

}  // namespace nuv
