#pragma once

#include <string>

#include <QString>
#include <QWebEngineUrlSchemeHandler>

class QNetworkAccessManager;
class QWebEnginePage;

namespace nuv {

// Flash movies play through Ruffle, a Flash Player emulator in WebAssembly whose files lie
// beside the program (never compiled in). The program serves them to its pages under the
// scheme "nuvplayer:", never from the network.
//
// The user turns playback off with the environment variable NUV_FLASH_PLAYER=off, or
// points it at another copy of the player's files with NUV_FLASH_PLAYER=<folder>.

// The scheme of the player's files: "nuvplayer:/ruffle/<file>".
inline constexpr const char* kPlayerScheme = "nuvplayer";

// The folder of the player's files in use, "" when playback is off or no player was found.
// Looks beside the program ("ruffle/"), in "../share/nuv-webextract/ruffle/" of it, then in
// the data folder of the build tree.
QString FlashPlayerFolder();
// The player's version ("0.6.0"), "" without a player.
QString FlashPlayerVersion();
// One line for the version text, ending in a newline: whether movies play, and why not.
std::string FlashPlayerStatus();

// Installs the player into every document that `page` loads from now on, its frames too.
// Does nothing when there is no player.
void InstallFlashPlayer(QWebEnginePage* page);

// Serves the player's files from its folder ("nuvplayer:/ruffle/<file>"), and relays movies
// to the result window's pages ("nuvplayer:/movie?address=<http or https address>"): those
// pages come from the program, and a site does not let pages of another origin read its
// movies. Anything else is not found.
class PlayerFileHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit PlayerFileHandler(QObject* parent);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    void RelayMovie(QWebEngineUrlRequestJob* job);
    QNetworkAccessManager* network_;
};

}  // namespace nuv
