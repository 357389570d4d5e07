#include "platform/FlashPlayer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <QBuffer>
#include <QDeadlineTimer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEngineUrlRequestJob>

#include "platform/PageScripts.h"
#include "platform/QtText.h"
#include "web/AddressSpace.h"
#include "web/FetchPolicy.h"

namespace nuv {
namespace {

MovieRelayPolicy& RelayPolicy() {
    static MovieRelayPolicy policy;
    return policy;
}

// An address as a page's script writes it once resolved.
QString Resolved(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    const int defaultPort = scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1;
    QString out = scheme + QStringLiteral("://") + url.host(QUrl::FullyEncoded).toLower();
    const int port = url.port(defaultPort);
    if (port != defaultPort) out += QLatin1Char(':') + QString::number(port);
    const QString path = url.path(QUrl::FullyEncoded);
    out += path.isEmpty() ? QStringLiteral("/") : path;
    if (url.hasQuery()) out += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    return out;
}

}  // namespace

void SetMovieRelayPolicy(MovieRelayPolicy policy) { RelayPolicy() = std::move(policy); }

bool SameWebAddress(const QUrl& a, const QUrl& b) {
    return a.isValid() && b.isValid() && Resolved(a) == Resolved(b);
}

PlayerFileHandler::PlayerFileHandler(QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), network_(new QNetworkAccessManager(this)) {
    // Redirects are followed here, each checked as the first address was.
    network_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

namespace {

constexpr int kMaxRelayRedirects = 20;

// "" when `address` may be relayed for a page of space `page`, else why not.
std::string RelayRefusal(const QUrl& address, AddressSpace page) {
    const std::string text = ToUtf8(address.toString(QUrl::FullyEncoded));
    if (!address.isValid() || !MayFetch(text, {})) return RefusalText(text);
    const std::string host = ToUtf8(address.host(QUrl::FullyEncoded));
    if (!MayReach(page, SpaceOfTargetHost(host))) return PrivateNetworkRefusal(host, page);
    return {};
}

}  // namespace

void PlayerFileHandler::RelayMovie(QWebEngineUrlRequestJob* job) {
    // Only the program's own pages may have movies relayed: for a web page the relay would
    // read addresses that the engine's cross-origin rules keep from it. A movie playing in
    // such a page may ask the relay itself, so it fetches only what the page lists.
    if (job->initiator().scheme() != QLatin1String("nuvdoc")) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const QUrlQuery query(job->requestUrl());
    const QUrl page(query.queryItemValue(QStringLiteral("page"), QUrl::FullyDecoded));
    const QUrl address(query.queryItemValue(QStringLiteral("address"), QUrl::FullyDecoded));
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        job->fail(QWebEngineUrlRequestJob::UrlInvalid);
        return;
    }
    const std::optional<std::string> listedFor =
        page.scheme() == QLatin1String("nuvdoc") && RelayPolicy() ? RelayPolicy()(page, address) : std::nullopt;
    if (!listedFor) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    Fetch(job, address, SpaceOfPage(*listedFor), 0, QDeadlineTimer(kRelayedMovieTimeoutMs));
}

void PlayerFileHandler::Fetch(QWebEngineUrlRequestJob* job, const QUrl& address, AddressSpace space, int redirects,
                              QDeadlineTimer deadline) {
    if (!RelayRefusal(address, space).empty() || deadline.hasExpired()) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    QNetworkRequest request(address);
    request.setTransferTimeout(30000);
    QNetworkReply* reply = network_->get(request);
    QPointer<QWebEngineUrlRequestJob> pending(job);
    // The job may end first (the page goes away); the answer then only cleans up.
    connect(job, &QObject::destroyed, reply, &QNetworkReply::abort);
    // Bounded in size and in time: a server cannot fill the memory or hold the job for ever.
    auto body = std::make_shared<QByteArray>();
    QTimer::singleShot(std::max<qint64>(1, deadline.remainingTime()), reply, [reply] { reply->abort(); });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body] {
        body->append(reply->readAll());
        if (body->size() > kRelayedMovieLimit) reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, pending, body, space, redirects, deadline] {
        reply->deleteLater();
        if (!pending) return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QUrl next = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (status >= 300 && status <= 399 && next.isValid() && !next.isEmpty()) {
            if (redirects >= kMaxRelayRedirects) {
                pending->fail(QWebEngineUrlRequestJob::RequestFailed);
                return;
            }
            Fetch(pending, reply->url().resolved(next), space, redirects + 1, deadline);
            return;
        }
        if (reply->error() == QNetworkReply::NoError) body->append(reply->readAll());
        if (reply->error() != QNetworkReply::NoError || body->size() > kRelayedMovieLimit) {
            pending->fail(QWebEngineUrlRequestJob::RequestFailed);
            return;
        }
        auto* buffer = new QBuffer(pending);
        buffer->setData(*body);
        buffer->open(QIODevice::ReadOnly);
        pending->reply(QByteArrayLiteral("application/x-shockwave-flash"), buffer);
    });
}

void PlayerFileHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    if (job->requestUrl().path() == QLatin1String("/movie")) {
        RelayMovie(job);
        return;
    }
    static const QRegularExpression fileName(QStringLiteral("^/ruffle/([A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]+)*)$"));
    const QRegularExpressionMatch m = fileName.match(job->requestUrl().path());
    const QString folder = FlashPlayerFolder();
    if (!m.hasMatch() || folder.isEmpty()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    const QString name = m.captured(1);
    auto* file = new QFile(folder + QLatin1Char('/') + name, job);
    if (!QFileInfo(file->fileName()).isFile() || !file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    QByteArray type = QByteArrayLiteral("application/octet-stream");
    if (name.endsWith(QLatin1String(".js"))) type = QByteArrayLiteral("text/javascript");
    else if (name.endsWith(QLatin1String(".wasm"))) type = QByteArrayLiteral("application/wasm");
    job->reply(type, file);
}

}  // namespace nuv
