#include "platform/BrowserCookies.h"

#include <algorithm>

#include <QDateTime>

#include "platform/QtText.h"

namespace nuv {
namespace {

// Tabs and line breaks would break the cookie-file line; such a cookie is not passed on.
bool Clean(const std::string& s) { return s.find_first_of("\t\r\n") == std::string::npos; }

SameSite SameSiteOf(const QNetworkCookie& c) {
    switch (c.sameSitePolicy()) {
        case QNetworkCookie::SameSite::None: return SameSite::None;
        case QNetworkCookie::SameSite::Lax: return SameSite::Lax;
        case QNetworkCookie::SameSite::Strict: return SameSite::Strict;
        case QNetworkCookie::SameSite::Default: break;
    }
    return SameSite::Unset;
}

}  // namespace

void BrowserCookies::Put(const QNetworkCookie& cookie, const QUrl& origin) {
    if (toStore_) toStore_(cookie, origin);
    else unattached_.emplace_back(cookie, origin);
    QNetworkCookie normalized = cookie;
    normalized.normalize(origin);
    Add(normalized);
}

void BrowserCookies::Add(const QNetworkCookie& cookie) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto same = [&](const QNetworkCookie& c) { return c.hasSameIdentifier(cookie); };
    cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(), same), cookies_.end());
    cookies_.push_back(cookie);
    ++generation_;
}

void BrowserCookies::Remove(const QNetworkCookie& cookie) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto same = [&](const QNetworkCookie& c) { return c.hasSameIdentifier(cookie); };
    cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(), same), cookies_.end());
    ++generation_;
}

std::optional<std::uint64_t> BrowserCookies::Generation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation_;
}

std::vector<CookieLine> BrowserCookies::CookieLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<CookieLine> lines;
    for (const QNetworkCookie& c : cookies_) {
        const std::string domain = ToUtf8(c.domain());
        const std::string path = c.path().isEmpty() ? std::string("/") : ToUtf8(c.path());
        const std::string name = ToUtf8(QString::fromUtf8(c.name()));
        const std::string value = ToUtf8(QString::fromUtf8(c.value()));
        if (domain.empty() || name.empty() || !Clean(domain) || !Clean(path) || !Clean(name) || !Clean(value))
            continue;
        const long long expires = c.isSessionCookie() ? 0 : c.expirationDate().toSecsSinceEpoch();
        lines.push_back({domain + "\t" + (domain.front() == '.' ? "TRUE" : "FALSE") + "\t" + path + "\t" +
                             (c.isSecure() ? "TRUE" : "FALSE") + "\t" + std::to_string(expires) + "\t" + name + "\t" +
                             value,
                         SameSiteOf(c)});
    }
    return lines;
}

}  // namespace nuv

// The meta-object code of BrowserCookies goes with it.
#include "moc_BrowserCookies.cpp"
