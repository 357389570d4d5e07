#include "cli/HeadlessPage.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>

#include <QAuthenticator>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "platform/BrowserCookies.h"
#include "platform/PageScripts.h"
#include "platform/QtText.h"
#include "platform/WebPage.h"
#include "cli/logic/CliJson.h"

namespace nuv {
namespace {

// The extraction reads documents, never what they play or how their text looks: the
// movies, sounds and fonts of the headless pages are not fetched. Called on the engine's
// I/O thread.
class SilentPages : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const auto type = info.resourceType();
        if (type == QWebEngineUrlRequestInfo::ResourceTypeMedia ||
            type == QWebEngineUrlRequestInfo::ResourceTypeFontResource)
            info.block(true);
    }
};

// A page that never waits for a person: script dialogs are answered at once, requests
// for credentials are refused, and the page's console stays off standard error. Its
// Flash movies are not played: nobody sees them, and the player's script alone took
// 30 to 80 ms of a fresh renderer's time a page.
class HeadlessPage : public WebPage {
public:
    explicit HeadlessPage(QObject* parent) : WebPage(parent, false) {
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

// A failure of the load that may pass when tried again, as MayRetry has it for the
// downloads: 429, 502, 503 or 504, or a connection that broke, stalled or was answered
// with nothing.
bool LoadMayPass(const QWebEngineLoadingInfo& info) {
    const int code = std::abs(info.errorCode());
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
        return code == 429 || code == 502 || code == 503 || code == 504;
    // The engine's network errors: timed out (7), connection closed (100), reset (101),
    // timed out while connecting (118), empty answer (324).
    return info.errorDomain() == QWebEngineLoadingInfo::ConnectionErrorDomain &&
           (code == 7 || code == 100 || code == 101 || code == 118 || code == 324);
}

// A failed load whose reason the engine has not told.
const std::string kFailedLoad = "load failed";

}  // namespace

void StartRunEngine(const std::string& userAgent, BrowserCookies& cookies) {
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    // Pages that are closed leave little behind: the engine's cache of the run is bounded.
    profile->setHttpCacheMaximumSize(32 << 20);
    static SilentPages silent;
    profile->setUrlRequestInterceptor(&silent);
    if (!userAgent.empty()) profile->setHttpUserAgent(FromUtf8(userAgent));
    cookies.Attach(profile);
}

HeadlessView::HeadlessView() : view_(std::make_unique<QWebEngineView>()) {
    view_->setPage(new HeadlessPage(view_.get()));
    // The extraction reads addresses, never pixels: pictures are neither fetched nor
    // decoded (the document still holds every picture element, script-made ones too).
    view_->page()->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    view_->setAttribute(Qt::WA_DontShowOnScreen);
    view_->resize(1280, 900);
    view_->show();
    browser_ = std::make_unique<WebEngineBrowser>(view_.get());
}

HeadlessView::~HeadlessView() {
    // Waits on the page end before the page goes.
    browser_->Close();
    browser_.reset();
    view_.reset();
}

PageLoad::PageLoad(HeadlessView& view, int timeoutMs, QObject* receiver, Finished finished,
                   std::function<void(int, int)> progress, RetryRule retry)
    : view_(view), timeoutMs_(timeoutMs), receiver_(receiver), finished_(std::move(finished)), retry_(retry) {
    QWebEnginePage* page = view.View()->page();
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && failure_.empty()) {
            failure_ = DescribeLoadError(info);
            mayPass_ = LoadMayPass(info);
        }
    });
    again_.setSingleShot(true);
    connect(&again_, &QTimer::timeout, this, &PageLoad::Navigate);
    if (progress) connect(&view.Browser(), &WebEngineBrowser::ProgressChange, this, std::move(progress));
    connect(&view.Browser(), &WebEngineBrowser::NavigateComplete, this,
            [this](bool ok) { Finish(ok ? std::string() : kFailedLoad, false); });
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this, [this] {
        if (documentReady_) {
            Finish({}, true);
            return;
        }
        view_.View()->stop();
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", timeoutMs_ / 1000.0);
        Finish(std::string("no answer within ") + seconds + " seconds", false);
    });
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, [this] { Finish({}, true); });
    // Whether the page's own document is there yet, asked of the page four times a second.
    connect(&poll_, &QTimer::timeout, this, [this, page] {
        if (documentReady_ || done_) return;
        // The document that stands before the first answer does not count: the empty one
        // of a new view, or the page before.
        const QString ask = QStringLiteral("location.href === 'about:blank' || location.href === %1 ? '' : "
                                           "document.readyState")
                                .arg(FromUtf8(JsonString(ToUtf8(before_))));
        page->runJavaScript(ask, scripts::kWorld, [this, alive = alive_](const QVariant& v) {
            if (!*alive || documentReady_ || done_) return;
            const QString state = v.toString();
            if (state != QLatin1String("interactive") && state != QLatin1String("complete")) return;
            documentReady_ = true;
            settle_.start(std::min(kSubresourceSettleMs, std::max(0, timeout_.remainingTime())));
        });
    });
}

PageLoad::~PageLoad() { *alive_ = false; }

void PageLoad::Start(const std::string& address) {
    before_ = view_.View()->url().toString(QUrl::FullyEncoded);
    address_ = address;
    Navigate();
}

void PageLoad::Navigate() {
    done_ = false;
    documentReady_ = false;
    failure_.clear();
    mayPass_ = false;
    timeout_.start(timeoutMs_);
    poll_.start(250);
    view_.Browser().Navigate(address_);
}

void PageLoad::Stop() {
    again_.stop();
    if (done_) return;
    done_ = true;
    timeout_.stop();
    settle_.stop();
    poll_.stop();
    view_.View()->stop();
}

void PageLoad::Finish(const std::string& failure, bool settled) {
    if (done_) return;
    done_ = true;
    timeout_.stop();
    settle_.stop();
    poll_.stop();
    // Reported from the event loop, not from inside the engine's signal: the receiver may
    // close the page at once.
    // The engine tells why a load failed just after it tells that it failed.
    QMetaObject::invokeMethod(
        receiver_,
        [this, alive = alive_, finished = finished_, failure, settled] {
            if (!*alive) return;
            if (failure == kFailedLoad && mayPass_ && retries_ < retry_.retries) {
                ++retries_;
                again_.start(RetryDelay(retry_, retries_, std::nullopt, RetryJitter()));
                return;
            }
            if (failure == kFailedLoad && !failure_.empty()) finished(failure_, settled);
            else finished(failure, settled);
        },
        Qt::QueuedConnection);
}

}  // namespace nuv
