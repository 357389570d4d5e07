#include "platform/BrowserCookies.h"

#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

// The tie of the cookies to the engine's profile, apart from the copy itself, so that a
// program that reads the cookies before the engine runs needs no engine for it.
namespace nuv {

BrowserCookies::BrowserCookies(QWebEngineProfile* profile, QObject* parent) : QObject(parent) {
    if (profile != nullptr) Attach(profile);
}

void BrowserCookies::Attach(QWebEngineProfile* profile) {
    if (profile_ != nullptr || profile == nullptr) return;
    profile_ = profile;
    QWebEngineCookieStore* store = profile->cookieStore();
    connect(store, &QWebEngineCookieStore::cookieAdded, this, [this](const QNetworkCookie& c) { Add(c); });
    connect(store, &QWebEngineCookieStore::cookieRemoved, this, [this](const QNetworkCookie& c) { Remove(c); });
    store->loadAllCookies();
    for (const auto& [cookie, origin] : unattached_) store->setCookie(cookie, origin);
    unattached_.clear();
    toStore_ = [store](const QNetworkCookie& cookie, const QUrl& origin) { store->setCookie(cookie, origin); };
}

}  // namespace nuv
