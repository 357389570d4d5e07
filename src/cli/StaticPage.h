#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/logic/ExtractCli.h"
#include "extract/KeptSheets.h"
#include "save/TaskPool.h"
#include "web/CurlDownloader.h"
#include "web/StaticBrowser.h"

class QObject;

namespace nuv {

class BrowserCookies;
class TerminalProgress;
struct RunPage;

// A downloader lent by the static pages' pool, given back when it goes.
using DownloaderLoan = std::unique_ptr<CurlDownloader, std::function<void(CurlDownloader*)>>;

// The pages that nuv-extract reads without the engine: fetched through the transport of
// its downloads (the engine's cookies and User-Agent, the network options, the bounds,
// the tries again), then decoded and parsed as the engine would, on threads of their own
// so that a slow server keeps no other page waiting.
class StaticPages {
public:
    // `receiver` is the object on whose thread the readings end.
    StaticPages(const ExtractCliOptions& options, BrowserCookies& cookies, std::string saveRoot, QObject* receiver,
                std::size_t threads, TerminalProgress& progress);
    // Waits for the readings under way (a stopped run ends them at once).
    ~StaticPages();

    // Starts reading `page` without the engine where the options allow it (--engine, a
    // web page, a type the static reading gives); false when the engine reads it. Else
    // `read` is called on the receiver's thread once the page is read: with `page.statics`
    // holding it where it stands for the engine's (and the page's retries noted), empty
    // where --engine auto found that it needs the browser. What the page's answers set in
    // cookies is in the engine's store by then. Of a page that needs the browser, under -d
    // of a list whose entries all go, `ahead` is told (on the receiver's thread, with the
    // page's index, maybe after the page ended) the list of the page as read without it.
    using AheadFound = std::function<void(std::size_t index, std::vector<std::string> list)>;
    bool Read(RunPage& page, std::function<void(RunPage&)> read, AheadFound ahead = {});
    // The style sheets the run's pages have read, for every extraction of the run.
    SheetCache& Sheets() { return sheets_; }
    // Those sheets as an extraction takes them from memory.
    IKeptSheets& Kept() { return kept_; }

private:
    // A downloader of the readings', made on first need: the next page of a server finds
    // its connection open.
    DownloaderLoan Borrow();
    // The list the extraction gives of `browser`, a page that needs the engine.
    std::vector<std::string> AheadList(StaticBrowser& browser, std::size_t serial);

    const ExtractCliOptions& options_;
    BrowserCookies& cookies_;
    std::string saveRoot_;
    QObject* receiver_;
    TerminalProgress& progress_;
    const bool ahead_;  // the pages that need the engine are read for the downloads ahead
    std::string userAgent_;  // the engine's, unless --user-agent names one
    std::atomic<std::size_t> serial_{0};
    SheetCache sheets_;  // the style sheets the pictures of the run's pages were read with
    KeptSheets kept_{sheets_};
    std::mutex idleMutex_;
    std::vector<std::unique_ptr<CurlDownloader>> idle_;  // the readings' downloaders not in use
    TaskPool pool_;  // last: joined before the rest goes
};

// The largest page (and frame page) that is read without the engine.
inline constexpr std::uint64_t kMostStaticPageBytes = std::uint64_t{32} << 20;

}  // namespace nuv
