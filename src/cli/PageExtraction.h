#pragma once

#include <string>
#include <utility>

#include "cli/TerminalProgress.h"
#include "cli/logic/CliOutput.h"
#include "cli/logic/ExtractCli.h"
#include "cli/logic/RobotsCache.h"
#include "extract/Extraction.h"
#include "extract/ExtractionResult.h"
#include "extract/ExtractionServices.h"
#include "net/HttpPageFetcher.h"
#include "web/CurlDownloader.h"
#include "web/SheetCache.h"

namespace nuv {

class BrowserCookies;

// The folder the extraction fetches style sheets into.
class FixedSaveFolder : public ISaveFolder {
public:
    explicit FixedSaveFolder(std::string folder) : folder_(std::move(folder)) {}
    std::string SaveFolder() const override { return folder_; }

private:
    std::string folder_;
};

// What the extraction of one page of a run works with.
struct PageExtractionSetup {
    const ExtractCliOptions& options;
    BrowserCookies& cookies;
    std::string saveRoot;  // the save folder, ending in "/"
    std::string staging;   // beneath it: where the style sheets are fetched to, ending in "/"
    TerminalProgress& progress;
    bool showProgress = false;                // the extraction's bar (a one-page run)
    IExtractionObserver* observer = nullptr;  // told of finds and of sheet fetches
    SheetCache* sheets = nullptr;             // the style sheets the run has read, by address
    IKeptSheets* kept = nullptr;              // and those of them the extraction takes from memory
};

// The extraction's fetches of style sheets, through `inner`: what each gave (its text, or
// a lasting failure) is kept for the pages after, which take it from memory (KeptSheets).
class CachedSheetDownloads : public IDownloader {
public:
    CachedSheetDownloads(IDownloader& inner, SheetCache* sheets) : inner_(inner), sheets_(sheets) {}
    void DownloadToFile(const std::string& url, const std::string& filePath, const DownloadProgressFn& progress = {},
                        const DownloadBounds& bounds = {}) override;

private:
    IDownloader& inner_;
    SheetCache* sheets_;
};

// Gives `downloader` what the options say of every request: the private-network rule,
// the proxy, the User-Agent and the speed limit.
void ApplyNetworkOptions(CurlDownloader& downloader, const ExtractCliOptions& options);

// Asks for the robots.txt at `robotsAddress` as the run's downloads ask (the options'
// network rules, the browser's cookies), into a file beneath `saveRoot` that it removes.
RobotsAnswer FetchRobots(const ExtractCliOptions& options, BrowserCookies& cookies, const std::string& saveRoot,
                         const std::string& robotsAddress);

// The extraction of the page loaded in `browser` (the engine's page, or a page read
// without it), with its own fetches (style sheets, frame pages) bounded like every fetch
// of the run and stopped with it.
class PageExtraction {
public:
    PageExtraction(IBrowser& browser, const PageExtractionSetup& setup);
    PageExtraction(const PageExtraction&) = delete;
    PageExtraction& operator=(const PageExtraction&) = delete;

    // The address of the page as the running extraction took it.
    const std::string& PageAddress() const { return extraction_.PageAddress(); }
    // Whether the last picture listed is one the page shows (they come last).
    bool ListingShownPictures() const;

    // Extracts the type the options ask for and fills `report` with what was found and
    // what the extraction got over. Returns the extraction's result (its frames and style
    // sheets besides).
    ExtractionResult Run(CliReport& report);

private:
    const PageExtractionSetup& setup_;
    CurlDownloader downloader_;
    CachedSheetDownloads sheetDownloads_;
    HttpPageFetcher http_;
    TerminalProgressBar bar_;
    FixedSaveFolder folder_;
    Extraction extraction_;
};

}  // namespace nuv
