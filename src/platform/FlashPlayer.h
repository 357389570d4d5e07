#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QDeadlineTimer>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include "platform/FlashPlayerFiles.h"
#include "web/AddressSpace.h"

class QNetworkAccessManager;

namespace nuv {

// Flash movies play through Ruffle, a Flash Player emulator in WebAssembly whose files lie
// beside the program (never compiled in). The program serves them to its pages under the
// scheme "nuvplayer:", never from the network.
//
// The user turns playback off with the environment variable NUV_FLASH_PLAYER=off, or
// points it at another copy of the player's files with NUV_FLASH_PLAYER=<folder>.

// The scheme of the player's files: "nuvplayer:/ruffle/<file>".
inline constexpr const char* kPlayerScheme = "nuvplayer";

// Which movies the relay may fetch: `page` is the address of the program's page that asks,
// `movie` the movie's address. Gives the address of the web page whose list holds the
// movie (the relay reaches only what that page may reach), nothing when it may not be
// fetched. Runs on the user-interface thread.
using MovieRelayPolicy = std::function<std::optional<std::string>(const QUrl& page, const QUrl& movie)>;

// Sets the policy of the relay; without one (the default) it fetches nothing. The result
// window allows the movies that the result page it shows lists, and only to that page.
void SetMovieRelayPolicy(MovieRelayPolicy policy);

// True when `a` and `b` name the same address once both are written the way a page's
// script resolves it (host in lower case and ASCII, default port left out, path and
// query percent-encoded, fragment dropped).
bool SameWebAddress(const QUrl& a, const QUrl& b);

// The most a relayed movie may weigh, and how long its transfer may take in all.
inline constexpr qint64 kRelayedMovieLimit = 64 << 20;
inline constexpr int kRelayedMovieTimeoutMs = 60000;

// Serves the player's files from its folder ("nuvplayer:/ruffle/<file>"), and relays movies
// to the result window's pages ("nuvplayer:/movie?page=<the page's address>&address=<http
// or https address>"): those pages come from the program, and a site does not let pages of
// another origin read its movies. The relay answers only pages of the program, only for
// the movies the policy allows, within kRelayedMovieLimit and kRelayedMovieTimeoutMs.
// Anything else is not found.
class PlayerFileHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit PlayerFileHandler(QObject* parent);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    void RelayMovie(QWebEngineUrlRequestJob* job);
    // Fetches `address` for the job, following up to 20 redirects, each one checked by the
    // fetch rules and the network rule of a page of space `space`.
    void Fetch(QWebEngineUrlRequestJob* job, const QUrl& address, AddressSpace space, int redirects,
               QDeadlineTimer deadline);
    QNetworkAccessManager* network_;
};

}  // namespace nuv
