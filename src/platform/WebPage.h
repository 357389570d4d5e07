#pragma once

#include <QWebEnginePage>

namespace nuv {

// The page of every browser of the program. It carries the program's own scripts from
// the creation of each document, in the program's script world (scripts::kWorld) unless
// said otherwise:
// - in every page of its profile, the frame reporter and the reader of the pictures a
//   document shows, in its frames too;
// - in its own documents and frames, the Flash player, in the page's own world, where the
//   player's custom elements have to be; nothing when there is no player, or for a page
//   that nobody sees (nuv-extract's: the extraction reads a page the same with the player
//   as without it);
// - a result page of the program, besides, the web channel to the window's object, the
//   click hook that calls it, the layout and the picture filter, in its top document only.
// Runs on the user-interface thread.
class WebPage : public QWebEnginePage {
    Q_OBJECT
public:
    // A page of the web: the main window's, the update window's, nuv-extract's (which
    // plays no movies: `playsMovies` false).
    explicit WebPage(QObject* parent = nullptr, bool playsMovies = true);
    // A result page of the program, whose clicks go to `resultSink` (see
    // scripts::ResultClickHook); the page's scripts call it by its object name, and it
    // outlives the page. Only this world of the page reaches the channel.
    WebPage(QObject* resultSink, QObject* parent);

private:
    void InstallProgramScripts(bool playsMovies);
    void ConnectResultSink(QObject* sink);
};

}  // namespace nuv
