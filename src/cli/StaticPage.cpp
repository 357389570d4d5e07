#include "cli/StaticPage.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <QNetworkCookie>
#include <QUrl>
#include <QWebEngineProfile>

#include "cli/HeadlessPage.h"
#include "cli/PageExtraction.h"
#include "cli/RunPage.h"
#include "cli/StopSignals.h"
#include "common/FileText.h"
#include "common/Text.h"
#include "platform/BrowserCookies.h"
#include "platform/QtText.h"

namespace nuv {

StaticPages::StaticPages(const ExtractCliOptions& options, BrowserCookies& cookies, std::string saveRoot)
    : options_(options), cookies_(cookies), saveRoot_(std::move(saveRoot)) {
    downloader_.SetCookieSource(&cookies);
    // What the page's answers set, the engine would keep: the downloads carry it.
    downloader_.SetResponseCookieSink([this](const std::string& line, const std::string& address) {
        const QUrl origin(FromUtf8(address));
        for (const QNetworkCookie& c : QNetworkCookie::parseCookies(QByteArray::fromStdString(line))) cookies_.Put(c, origin);
    });
    downloader_.SetWaitHook(ThrowIfStopping);
    downloader_.SetSaveRoot(saveRoot_);
    ApplyNetworkOptions(downloader_, options);
    // The engine's User-Agent, so that the server answers as it answers the engine.
    if (options.userAgent.empty())
        downloader_.SetUserAgent(ToUtf8(QWebEngineProfile::defaultProfile()->httpUserAgent()));
}

std::unique_ptr<StaticBrowser> StaticPages::Open(const std::string& address) {
    retries_ = 0;
    auto browser = std::make_unique<StaticBrowser>(
        [this](const std::string& a, const std::string& parent) { return Fetch(a, parent); });
    browser->Navigate(address);
    return browser;
}

bool StaticPages::Read(RunPage& page) {
    const std::string& address = page.report.requested;
    if (options_.engine == CliEngine::Browser || !StaticEngineFits(options_) ||
        !(StartsWith(address, "http://") || StartsWith(address, "https://")))
        return false;
    page.statics = Open(address);
    page.report.loadRetries = Retries();
    if (page.statics->NeedsBrowser().empty() || options_.engine == CliEngine::Static) return true;
    page.statics.reset();
    return false;
}

FetchedPage StaticPages::Fetch(const std::string& address, const std::string& parent) {
    // The page is asked for as a navigation of its own site, which carries the site's
    // cookies; a frame's page as the page it is in asks: its Referer, its network rule.
    downloader_.SetPageAddress([page = parent.empty() ? address : parent] { return page; });
    const std::string file = saveRoot_ + std::string(kPartialDownloadPrefix) + "page-" + std::to_string(getpid()) +
                             "-" + std::to_string(++serial_) + ".html";
    struct Remove {
        const std::string& file;
        ~Remove() {
            std::error_code ec;
            std::filesystem::remove(file, ec);
        }
    } remove{file};
    FetchedPage page{address, {}, {}};
    const DownloadProgressFn progress = [&page](const DownloadProgress& p) {
        ThrowIfStopping();
        if (!p.contentType.empty()) page.contentType = p.contentType;
        if (!p.address.empty()) page.address = p.address;
    };
    // A frame that keeps the page waiting is given up as the engine gives it up: the
    // page then goes to the engine, which extracts it as it stands.
    const int limitMs = parent.empty() ? options_.timeoutMs : std::min(options_.timeoutMs, PageLoad::kSubresourceSettleMs);
    const DownloadBounds bounds{kMostStaticPageBytes, std::chrono::milliseconds(limitMs)};
    try {
        retries_ += DownloadWithRetries(downloader_, address, file, progress, RetryRule{options_.retries}, bounds);
    } catch (const DownloadError& e) {
        // As the engine says it of a page it loaded.
        if (e.kind() == DownloadFailure::Http && e.Status() > 0)
            throw BrowserError("the server answered with HTTP status " + std::to_string(e.Status()));
        if (e.kind() == DownloadFailure::TimedOut) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", limitMs / 1000.0);
            throw BrowserError(std::string("no answer within ") + seconds + " seconds");
        }
        if (e.kind() == DownloadFailure::Network) throw BrowserError(std::string("connection failed (") + e.what() + ")");
        throw;
    }
    page.body = ReadFileText(file, kMostStaticPageBytes).value_or(std::string());
    return page;
}

}  // namespace nuv
