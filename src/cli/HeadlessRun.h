#pragma once

#include <string>
#include <utility>
#include <vector>

#include <QNetworkCookie>
#include <QUrl>

#include "cli/TerminalProgress.h"
#include "cli/logic/ExtractCli.h"
#include "save/DownloadArchive.h"
#include "save/ZipWriter.h"

namespace nuv {

// Every page of a command line on one engine: -j pages load at a time, their
// extractions run one after the other on this thread (each re-enters the event loop
// while it reads the page), and their downloads share one batch over one set of
// connections, which starts them while the extraction still reads style sheets and
// frames. Each page prints when its downloads are done. Stops on SIGINT and SIGTERM.
// `saveFolder` ends in "/"; `archive` and `zip` may be null; no download replaces one of
// `programFiles`. Returns the exit status. Runs on the
// user-interface thread of a QApplication.
// `cookies` (a login's, with the address each is for) go into the engine's store and the
// downloads' copy of it before the first page.
using GivenCookies = std::vector<std::pair<QNetworkCookie, QUrl>>;
int RunPages(const ExtractCliOptions& options, std::vector<std::string> addresses, std::string saveFolder,
             DownloadArchive* archive, ZipWriter* zip, const std::vector<std::string>& programFiles,
             TerminalProgress& progress, const GivenCookies& cookies = {});

}  // namespace nuv
