#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "cli/logic/ExtractCli.h"
#include "web/CurlDownloader.h"
#include "web/StaticBrowser.h"

namespace nuv {

class BrowserCookies;
struct RunPage;

// The pages that nuv-extract reads without the engine: fetched through the transport of
// its downloads (the engine's cookies, the network options, the bounds, the tries
// again), then decoded and parsed as the engine would.
class StaticPages {
public:
    StaticPages(const ExtractCliOptions& options, BrowserCookies& cookies, std::string saveRoot);

    // The page at `address` and its frames, read; its LoadFailure and NeedsBrowser say
    // whether it can stand for the engine's.
    std::unique_ptr<StaticBrowser> Open(const std::string& address);
    // How often the last page opened was fetched again.
    int Retries() const { return retries_; }
    // Reads `page` without the engine where the options allow it (--engine, a web page,
    // a type the static reading gives) and, with --engine auto, where it needs no
    // browser: then `page.statics` holds it. False when the engine must read it.
    bool Read(RunPage& page);

private:
    FetchedPage Fetch(const std::string& address, const std::string& parent);

    const ExtractCliOptions& options_;
    BrowserCookies& cookies_;
    std::string saveRoot_;
    CurlDownloader downloader_;
    std::size_t serial_ = 0;
    int retries_ = 0;
};

// The largest page (and frame page) that is read without the engine.
inline constexpr std::uint64_t kMostStaticPageBytes = std::uint64_t{32} << 20;

}  // namespace nuv
