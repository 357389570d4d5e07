#include "cli/StaticPage.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include <QNetworkCookie>
#include <QObject>
#include <QUrl>

#include "cli/RunEngine.h"
#include "cli/PageExtraction.h"
#include "cli/RunPage.h"
#include "cli/StopSignals.h"
#include "common/FileText.h"
#include "platform/BrowserCookies.h"
#include "platform/QtText.h"
#include "platform/EngineUserAgent.h"
#include "web/Address.h"
#include "web/CurlDownloader.h"

namespace nuv {
namespace {

// A file or folder of the run's own that goes once its user is done.
struct RemovedAtEnd {
    const std::string& path;
    ~RemovedAtEnd() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// One page's reading on a thread of the pool: a downloader of the pool's, and what its
// answers set in cookies, for the engine's store once it ends.
struct Reading {
    const ExtractCliOptions& options;
    DownloaderLoan downloader;
    std::vector<std::pair<std::string, std::string>> setCookies;  // (Set-Cookie, address)
    int retries = 0;

    Reading(const ExtractCliOptions& o, DownloaderLoan loan) : options(o), downloader(std::move(loan)) {
        downloader->SetResponseCookieSink(
            [this](const std::string& line, const std::string& address) { setCookies.emplace_back(line, address); });
    }
    ~Reading() { downloader->SetResponseCookieSink({}); }

    FetchedPage Fetch(const std::string& address, const std::string& parent) {
        // The page is asked for as a navigation of its own site, which carries the site's
        // cookies; a frame's page as the page it is in asks: its Referer, its network rule.
        downloader->SetPageAddress([page = parent.empty() ? address : parent] { return page; });
        FetchedPage page{address, {}, {}};
        const DownloadProgressFn progress = [&page](const DownloadProgress& p) {
            ThrowIfStopping();
            if (!p.contentType.empty()) page.contentType = p.contentType;
            if (!p.address.empty()) page.address = p.address;
        };
        // A frame that keeps the page waiting is given up as the engine gives it up: the
        // page then goes to the engine, which extracts it as it stands.
        const int limitMs =
            parent.empty() ? options.timeoutMs : std::min(options.timeoutMs, kSubresourceSettleMs);
        const DownloadBounds bounds{kMostStaticPageBytes, std::chrono::milliseconds(limitMs)};
        try {
            retries += WithRetries([&] { downloader->DownloadToMemory(address, page.body, progress, bounds); }, progress,
                                   RetryRule{options.retries});
        } catch (const DownloadError& e) {
            // As the engine says it of a page it loaded.
            if (e.kind() == DownloadFailure::Http && e.Status() > 0) throw PageStatusError(e.Status(), e.what());
            if (e.kind() == DownloadFailure::TimedOut) {
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%g", limitMs / 1000.0);
                throw BrowserError(std::string("no answer within ") + seconds + " seconds");
            }
            if (e.kind() == DownloadFailure::Network) throw BrowserError(std::string("connection failed (") + e.what() + ")");
            throw;
        }
        return page;
    }
};

// What a reading hands back to the receiver's thread.
struct Outcome {
    std::unique_ptr<StaticBrowser> browser;
    std::vector<std::pair<std::string, std::string>> setCookies;
    int retries = 0;
};

}  // namespace

StaticPages::StaticPages(const ExtractCliOptions& options, BrowserCookies& cookies, std::string saveRoot,
                         QObject* receiver, std::size_t threads, TerminalProgress& progress)
    : options_(options),
      cookies_(cookies),
      saveRoot_(std::move(saveRoot)),
      receiver_(receiver),
      progress_(progress),
      // The downloads ahead are those of a list whose entries all go (no filter decides
      // once the list is complete).
      ahead_(options.engine == CliEngine::Auto && options.download && !options.filter.Active() &&
             !NeedsPictureSizes(options) &&
             (options.type == DocType::Images || options.type == DocType::Flash || options.type == DocType::Other)),
      // The engine's User-Agent, so that the server answers as it answers the engine.
      userAgent_(options.userAgent.empty() ? EngineUserAgent() : options.userAgent),
      pool_(std::max<std::size_t>(threads, 1)) {}

StaticPages::~StaticPages() = default;

std::vector<std::string> StaticPages::AheadList(StaticBrowser& browser, std::size_t serial) {
    const std::string staging = saveRoot_ + std::string(kPartialDownloadPrefix) + "ahead-sheets-" +
                                std::to_string(getpid()) + "-" + std::to_string(serial) + "/";
    const RemovedAtEnd remove{staging};
    const PageExtractionSetup setup{options_, cookies_, saveRoot_, staging, progress_, false, nullptr, &sheets_,
                                    &kept_};
    PageExtraction extraction(browser, setup);
    CliReport report;
    report.type = options_.type;
    try {
        extraction.Run(report);
    } catch (const std::exception&) {
        return {};  // a run that stops; nothing goes ahead
    }
    return std::move(report.list);
}

DownloaderLoan StaticPages::Borrow() {
    std::unique_ptr<CurlDownloader> downloader;
    {
        const std::lock_guard lock(idleMutex_);
        if (!idle_.empty()) {
            downloader = std::move(idle_.back());
            idle_.pop_back();
        }
    }
    if (!downloader) {
        downloader = std::make_unique<CurlDownloader>();
        downloader->SetCookieSource(&cookies_);
        downloader->SetWaitHook(ThrowIfStopping);
        downloader->SetSaveRoot(saveRoot_);
        ApplyNetworkOptions(*downloader, options_);
        downloader->SetUserAgent(userAgent_);
    }
    return DownloaderLoan(downloader.release(), [this](CurlDownloader* d) {
        const std::lock_guard lock(idleMutex_);
        idle_.emplace_back(d);
    });
}

bool StaticPages::Read(RunPage& page, std::function<void(RunPage&)> read, AheadFound ahead) {
    const std::string address = page.report.requested;
    if (options_.engine == CliEngine::Browser || !StaticEngineFits(options_) ||
        !HasWebScheme(address))
        return false;
    const std::size_t serial = ++serial_;
    const std::size_t index = page.index;
    pool_.Post([this, &page, address, serial, index, read = std::move(read), ahead = std::move(ahead)] {
        auto result = std::make_shared<Outcome>();
        {
            Reading reading(options_, Borrow());
            result->browser = std::make_unique<StaticBrowser>(
                [&reading](const std::string& a, const std::string& parent) { return reading.Fetch(a, parent); },
                options_.engine == CliEngine::Static, options_.shown, &sheets_);
            result->browser->Navigate(address);
            result->setCookies = std::move(reading.setCookies);
            result->retries = reading.retries;
        }
        const bool toEngine = !result->browser->NeedsBrowser().empty() && options_.engine != CliEngine::Static;
        QMetaObject::invokeMethod(
            receiver_,
            [this, &page, result, read, toEngine] {
                for (const auto& [line, origin] : result->setCookies) {
                    const QUrl url(FromUtf8(origin));
                    for (const QNetworkCookie& c : QNetworkCookie::parseCookies(QByteArray::fromStdString(line)))
                        cookies_.Put(c, url);
                }
                page.report.loadRetries = result->retries;
                if (!toEngine) page.statics = std::move(result->browser);
                read(page);
            },
            Qt::QueuedConnection);
        // While the engine loads the page, the list it gives as read without the engine.
        if (!toEngine || !ahead_ || !ahead || !result->browser->LoadFailure().empty()) return;
        std::vector<std::string> list = AheadList(*result->browser, serial);
        if (list.empty()) return;
        QMetaObject::invokeMethod(
            receiver_, [index, ahead, list = std::move(list)]() mutable { ahead(index, std::move(list)); },
            Qt::QueuedConnection);
    });
    return true;
}

}  // namespace nuv
