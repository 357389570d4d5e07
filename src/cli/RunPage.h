#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/RunEngine.h"
#include "cli/PageExtraction.h"
#include "cli/logic/CliOutput.h"
#include "cli/logic/RobotsCache.h"
#include "extract/ExtractionServices.h"
#include "save/DownloadArchive.h"
#include "save/Duplicates.h"
#include "save/ListDownloads.h"
#include "web/StaticBrowser.h"

namespace nuv {

inline long long MsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

// A page of the run from its start to its output.
struct RunPage {
    std::size_t index = 0;
    CliReport report;
    std::unique_ptr<IEngineView> view;  // while it loads and is extracted
    std::unique_ptr<StaticBrowser> statics;  // read without the engine: until it is extracted
    std::unique_ptr<IEngineLoad> load;
    std::unique_ptr<IEngineScroll> scroller;  // --scroll: between its load and its extraction
    std::chrono::steady_clock::time_point started, loaded, extracted;
    bool settled = false;  // extracted before its load ended
    bool allFrames = false;
    long long framesMs = 0;   // from the end of the load to the start of the extraction
    long long extractMs = 0;  // the extraction itself
    std::vector<std::string> frames;
    std::string staging;  // where its extraction fetched style sheets; removed with the page
    std::string folder;   // where its files go
    // -d of a list: its downloads, once the first address is handed over.
    std::unique_ptr<ListDownloads> downloads;
    // The files in `folder` that style sheets fetched into `staging` take, by name, when
    // taken before the fetch.
    std::map<std::string, std::string> sheetFiles;
    bool loading = false;       // in the engine, until its load ends
    bool aheadStarted = false;  // what it gave without the engine is downloaded ahead

    ~RunPage();
};

// Gives the run's files what the options ask of the saving: the names of --name, the
// ZIP of --zip, the sizes and hashes of the pictures, and with --dedup the finder of
// duplicates (files of earlier runs as `archive` names them) and its readers.
void SetUpSaving(RunFiles& files, const ExtractCliOptions& options, DownloadArchive* archive, ZipWriter* zip,
                 const std::string& base, std::optional<DuplicateFinder>& duplicates, std::optional<TaskPool>& reading);

// Sets the address that `page` opens (report.requested) from `given`, an address of the
// run's list (`listed`) or of the command line. False, with the reason in report.loadError,
// when it cannot be opened: not a valid address, a local file a list may not name, or
// one that `robots` (when given) keeps the run off.
bool AimPage(RunPage& page, const std::string& given, bool listed, bool allowLocalFiles, RobotsCache* robots);

// What the extraction of a page finds while it runs, for the page's downloads: with
// `feed` each entry of the list `fed` as it is found, so the downloads start while the
// extraction still reads style sheets and frames; with `hold` the file each style sheet
// will take in the page's folder before the sheet is fetched, kept from the downloads
// until it is there, so that a listed download of the same name still writes it after
// the sheet, as when the downloads start after the extraction.
class PageFinds : public IExtractionObserver {
public:
    using DownloadsOf = std::function<ListDownloads&(const std::string& pageAddress)>;
    PageFinds(RunPage& page, RunFiles& files, ListKind fed, bool feed, bool hold, DownloadsOf downloads)
        : page_(page), files_(files), fed_(fed), feed_(feed), hold_(hold), downloads_(std::move(downloads)) {}

    void Found(ListKind list, const std::string& address) override;
    void FetchingSheet(const std::string& address, const std::string& file) override;

    const PageExtraction* running = nullptr;  // the page's extraction while it runs

private:
    RunPage& page_;
    RunFiles& files_;
    ListKind fed_;
    bool feed_;
    bool hold_;
    DownloadsOf downloads_;
    std::vector<std::string> found_;
};

}  // namespace nuv
