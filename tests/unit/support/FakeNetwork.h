#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
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

// Parallel downloads that all end on the next Wait after they started, each as End
// decides (in the order started, or the reverse with `reverse`); with none running, Wait
// waits for Wake or its timeout. Start and End run with `mutex` held.
class InstantTransfers : public IParallelDownloader {
public:
    struct Started {
        std::size_t id;
        std::string url, file, page;
    };
    explicit InstantTransfers(std::size_t slots, bool reverse = false) : slots_(slots), reverse_(reverse) {}
    std::size_t Slots() const override { return slots_; }
    void Start(std::size_t id, const std::string& url, const std::string& file, const std::string& page) override {
        std::lock_guard<std::mutex> lock(mutex);
        running_.push_back({id, url, file, page});
        OnStart(running_.back(), running_.size());
    }
    void Wait(std::chrono::milliseconds timeout, std::vector<Ended>& ended) override {
        std::unique_lock<std::mutex> lock(mutex);
        if (running_.empty()) {
            woken_.wait_for(lock, timeout, [this] { return wake_; });
            wake_ = false;
            return;
        }
        if (reverse_) std::reverse(running_.begin(), running_.end());
        for (const Started& s : running_) ended.push_back(End(s));
        running_.clear();
    }
    void Wake() override {
        std::lock_guard<std::mutex> lock(mutex);
        wake_ = true;
        woken_.notify_one();
    }

    std::mutex mutex;

protected:
    // Told of each start, with how many run now.
    virtual void OnStart(const Started&, std::size_t) {}
    virtual Ended End(const Started& s) = 0;

private:
    std::size_t slots_;
    bool reverse_;
    std::vector<Started> running_;
    std::condition_variable woken_;
    bool wake_ = false;
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
