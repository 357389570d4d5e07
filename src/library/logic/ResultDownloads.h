#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Dialogs.h"
#include "common/Progress.h"
#include "common/SaveTargets.h"
#include "common/Shell.h"
#include "common/WindowPorts.h"
#include "extract/ExtractionLists.h"
#include "save/DownloadTargets.h"
#include "web/Downloader.h"

// The download rules of the result window: a click on a picture or a link of a result
// page, and the two batch buttons. Plain C++; the window hands in what it needs.
namespace nuv {

// Thrown through a running download when the window closes: the transfer ends at once.
class DownloadCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "the window closes"; }
};

// The hint after a batch: "全部下载完毕。" when nothing failed, else the count of failures.
std::string BatchEndHint(std::size_t failed);
// The same after a batch that took the `kept` of `listed` pictures that a filter showed:
// "全部下载完毕（按筛选：40 张中的 12 张）。".
std::string BatchEndHint(std::size_t failed, std::size_t kept, std::size_t listed);

struct PictureTarget;

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
    // True once the window closes: a running download or batch stops at its next report
    // and nothing more is shown. Empty: never.
    std::function<bool()> closing = {};
    // Files that a download must never replace (the program's settings, history, update
    // files and programs), as full paths.
    std::vector<std::string> protectedFiles = {};
    // The addresses of the pictures that the filter of the image result page shows, or
    // nothing when no filter is set. Empty: no filter.
    std::function<std::optional<std::vector<std::string>>()> filteredPictures = {};
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
    // download keeps an older file and says why in the hint bar (and in the message box
    // when `announce` is set). Never throws.
    void DownloadResource(const std::string& address, bool announce);

    // Downloads every address of ImageURLs (ImageMode set) or FlashURLs, as listed when
    // the batch starts, into TargetFolder as it was at the start; then refreshes the
    // saved-resources list and ends with BatchEndHint. Stops when the window closes.
    // With a filter set on the image result page only the pictures it shows are taken.
    // Pictures the page showed are named by PlanPictureTargets.
    // Returns the number of failed downloads. Never throws.
    std::size_t SaveAllResources();

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
    enum class Outcome { Saved, Skipped, Failed, Cancelled };
    // `planned`: the target a batch chose for the address; without it the address's own.
    Outcome Download(const std::string& address, bool announce, const PictureTarget* planned = nullptr);
    // True when ImageURLs lists `address` as a picture that the page showed.
    bool IsShownPicture(const std::string& address) const;
    bool Closing() const { return s_.closing && s_.closing(); }
    // Shows `values` on the bar unless it shows them already.
    void ShowOnBar(ProgressBarValues values);
    // A saved download ends with a full bar.
    void ShowCompleted();
    // The save folder for a click or BtnSaveAll; "" (with strInvalidFolderName in the
    // hint bar) when there is none.
    std::string UsableSaveFolder();

    ResultDownloadServices s_;
    ProtectedFiles protected_;  // s_.protectedFiles, resolved once
    std::string currentDownload_;
    ProgressThrottle throttle_{kProgressInterval};
    ProgressBarValues lastShown_{-1, -1};
    int depth_ = 0;          // downloads running, nested ones included
    bool batching_ = false;  // a batch runs its downloads with one throttle
    std::size_t lastBatchSize_ = 0;  // the addresses the last batch took
};

}  // namespace nuv
