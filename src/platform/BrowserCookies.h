#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QNetworkCookie>
#include <QObject>
#include <QUrl>

#include "web/Downloader.h"

class QWebEngineProfile;

namespace nuv {

// A copy of the cookies of a browser profile, kept current from the profile's cookie
// store on the user-interface thread and read by downloads on any thread. Made without a
// profile, it keeps the cookies put into it until one is attached (a run that starts the
// engine only once a page needs it).
class BrowserCookies : public QObject, public ICookieSource {
    Q_OBJECT
public:
    BrowserCookies() = default;
    explicit BrowserCookies(QWebEngineProfile* profile, QObject* parent = nullptr);

    // From now on the cookies are those of `profile`'s store: the ones put so far go
    // into it. Once, on the user-interface thread.
    void Attach(QWebEngineProfile* profile);
    bool Attached() const { return profile_ != nullptr; }

    // Puts `cookie`, as the answer from `origin` set it, into the profile's store and at
    // once into this copy, so that the next download carries it.
    void Put(const QNetworkCookie& cookie, const QUrl& origin);

    std::vector<CookieLine> CookieLines() const override;
    std::optional<std::uint64_t> Generation() const override;

private:
    void Add(const QNetworkCookie& cookie);
    void Remove(const QNetworkCookie& cookie);

    QWebEngineProfile* profile_ = nullptr;
    std::function<void(const QNetworkCookie&, const QUrl&)> toStore_;  // into the profile's store, once attached
    std::vector<std::pair<QNetworkCookie, QUrl>> unattached_;  // put before a profile was attached
    mutable std::mutex mutex_;
    std::vector<QNetworkCookie> cookies_;
    std::uint64_t generation_ = 0;  // counts the changes
};

}  // namespace nuv
