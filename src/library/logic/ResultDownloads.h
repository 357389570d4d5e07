#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/Dialogs.h"
#include "common/Progress.h"
#include "common/Shell.h"
#include "common/WindowPorts.h"
#include "extract/ExtractionLists.h"
#include "web/Downloader.h"

// The download rules of the result window: a click on a picture or a link of a result
// page, and the two batch buttons. Plain C++; the window hands in what it needs.
namespace nuv {

// True when the lower-cased address contains ".html", ".htm", ".asp", ".php" or ".jsp"
// anywhere (a containment test, not a test of the ending).
bool HasPageExtension(std::string_view address);

// True when the lower-cased address contains ".rar", ".exe", ".zip", ".dat" or ".tar"
// anywhere; "http://img.tarot.example/a.jpg" counts as an archive.
bool HasArchiveExtension(std::string_view address);

// The file that `address` is saved to: `targetFolder` immediately followed by the text
// after the address's last "/" (query included). Nothing when the address names a web
// page or an archive, or when that text is "", "." or "..".
std::optional<std::string> DownloadTargetFile(std::string_view targetFolder, std::string_view address);

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// The collaborators of ResultDownloads; all outlive it. The window parts are called on
// the user-interface thread.
struct ResultDownloadServices {
    ISaveFolder& saveFolder;   // the main window's current save folder
    ISavedList& savedList;     // re-read after downloads
    IHintBar& hints;           // the saved-to texts
    IProgressBar& progress;    // ProgressBar1: maximum, then position
    std::string& defaultSavePath;  // the program-wide DefaultSavePath, which the settings keep
    // Lets the application handle pending window events (repaint, input). May re-enter
    // the rules: a click during a download starts a nested download.
    std::function<void()> processWindowEvents;
    IDownloader& downloader;
    IDialogs& dialogs;  // the message boxes and the folder dialog
    IShell& shell;
    const ExtractionLists& lists;  // ImageURLs and FlashURLs are read at each batch
    std::string homeFolder;        // caption of the folder dialog, ending in "/"
    SteadyClock clock;             // empty: std::chrono::steady_clock::now
};

// The result window's downloads. Runs on the user-interface thread; a download blocks
// its caller but lets the window handle events while it runs (see DownloadProgress).
class ResultDownloads {
public:
    explicit ResultDownloads(ResultDownloadServices services);

    // A click in the result page on an element with the tag `tagName`; `attribute` is
    // its raw "href" (a link) or "src" (a picture). Downloads the address into the save
    // folder, announcing it in a message box, and refreshes the saved-resources list.
    // Clicks on other elements, on blank addresses and on web pages do nothing.
    void ResultPageClick(std::string_view tagName, const std::string& attribute);

    // Downloads `address` into TargetFolder (see DownloadTargetFile), writes the saved-to
    // text into the hint bar and, when `announce` is set, into a message box; then writes
    // "全部下载完毕。". A skipped web page or archive only gets that last text. A failed
    // download changes nothing and is not reported. Never throws.
    void DownloadResource(const std::string& address, bool announce);

    // Downloads every address of ImageURLs (ImageMode set) or FlashURLs, as listed when
    // the batch starts, into TargetFolder as it was at the start; then refreshes the
    // saved-resources list. Never throws.
    void SaveAllResources();

    // The progress handler of a running download. At most once every 50 ms, and when a
    // download completes, it shows a changed progress on the bar and lets the window
    // handle events (repaint, input); it never sleeps.
    void DownloadProgress(const nuv::DownloadProgress& report);

    // BtnSaveAll: everything into the save folder.
    void BtnSaveAllClick();
    // BtnSaveAllAs: everything into a folder that the user picks, which also becomes
    // DefaultSavePath and is opened afterwards. Nothing happens when the user cancels.
    void BtnSaveAllAsClick();

    // Which list a batch downloads: ImageURLs (true) or FlashURLs (false).
    bool ImageMode = true;
    // The folder, ending in "/", into which the next downloads go.
    std::string TargetFolder;
    // The address being downloaded (the innermost one while downloads nest), or "".
    const std::string& CurrentDownload() const { return currentDownload_; }

    // The shortest time between two progress-bar updates.
    static constexpr std::chrono::milliseconds kProgressInterval{50};

private:
    ResultDownloadServices s_;
    std::string currentDownload_;
    ProgressThrottle throttle_{kProgressInterval};
    ProgressBarValues lastShown_{-1, -1};
};

}  // namespace nuv
