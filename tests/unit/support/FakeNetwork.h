#pragma once

#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "web/Downloader.h"
#include "web/PageFetcher.h"

// Downloads and page fetches served from memory, each call recorded.
namespace nuv::test {

// Writes a body held in memory into the target, as the real downloader does once the
// whole body has arrived, or fails without touching the target. By default a download
// of an address without a body succeeds and writes nothing.
class FakeDownloader : public IDownloader {
public:
    struct Call {
        std::string url;
        std::string file;
    };

    void DownloadToFile(const std::string& url, const std::string& filePath, const DownloadProgressFn& progress,
                        const DownloadBounds&) override {
        calls.push_back({url, filePath});
        if (const auto r = reports.find(url); progress && r != reports.end())
            for (const DownloadProgress& p : r->second) progress(p);
        if (failing.count(url)) throw DownloadError("refused: " + url);
        if (auto first = failFirst.find(url); first != failFirst.end() && !first->second.empty()) {
            const DownloadError e = first->second.front();
            first->second.erase(first->second.begin());
            throw e;
        }
        if (!error.empty()) throw DownloadError(error);
        const auto found = bodies.find(url);
        if (found == bodies.end() && !body && !missing.empty()) throw DownloadError(missing);
        if (found != bodies.end() || body)
            std::ofstream(filePath, std::ios::binary | std::ios::trunc) << (found != bodies.end() ? found->second : *body);
    }

    std::vector<Call> calls;
    std::map<std::string, std::string> bodies;  // by address
    std::optional<std::string> body;            // for every other address
    std::string missing;  // when set, an address without a body fails with this error
    std::string error;    // when set, every download fails with it
    std::set<std::string> failing;  // these fail with "refused: ADDRESS"
    std::map<std::string, std::vector<DownloadError>> failFirst;  // thrown by the first tries, in order
    std::map<std::string, std::vector<DownloadProgress>> reports;  // handed to the progress callback first
};

// Serves the pages it holds by address; any other fetch fails. Safe to call from the
// program's worker threads.
class FakeFetcher : public IPageFetcher {
public:
    std::string Get(const std::string& url) override {
        const std::lock_guard lock(mutex_);
        fetched.push_back(url);
        const auto it = pages.find(url);
        if (it == pages.end()) throw std::runtime_error("no page at " + url);
        return it->second;
    }
    std::map<std::string, std::string> pages;
    std::vector<std::string> fetched;

private:
    std::mutex mutex_;
};

}  // namespace nuv::test
