#pragma once

#include <functional>
#include <string>
#include <utility>

#include "web/Downloader.h"

namespace nuv {

// The URL-to-file downloader over libcurl: follows redirects, verifies https
// certificates, reports progress on the calling thread, and writes into a file without a
// name in the target folder, which replaces the target only when the body is complete.
// Addresses are percent-encoded where they hold bytes a request may not carry; "file:"
// addresses copy the local file.
// One thread uses an instance. Successive downloads share one handle, so a connection
// to the same server is reused; a download started from inside a progress report (the
// window handles events meanwhile) gets a handle of its own.
class CurlDownloader : public IDownloader {
public:
    CurlDownloader();
    ~CurlDownloader() override;
    CurlDownloader(const CurlDownloader&) = delete;
    CurlDownloader& operator=(const CurlDownloader&) = delete;
    void DownloadToFile(const std::string& url, const std::string& filePath,
                        const DownloadProgressFn& progress = {}) override;

    // Seconds without any received byte after which a download fails (0: no limit).
    void SetStallTimeout(long seconds) { stallSeconds_ = seconds; }
    // The browser's cookies, sent with every download where they apply.
    void SetCookieSource(const ICookieSource* cookies) { cookies_ = cookies; }
    // The page whose resources are downloaded, sent as Referer; "" sends none.
    void SetReferer(std::function<std::string()> referer) { referer_ = std::move(referer); }
    // Certificate authorities (a PEM file) that https servers are verified against,
    // instead of the system's; "" for the system's.
    void SetCaFile(std::string path) { caFile_ = std::move(path); }
    // Accepts https only, for the address and for every redirect.
    void SetHttpsOnly(bool on) { httpsOnly_ = on; }

private:
    long stallSeconds_ = 30;
    const ICookieSource* cookies_ = nullptr;
    std::function<std::string()> referer_;
    std::string caFile_;
    bool httpsOnly_ = false;
    void* shared_ = nullptr;  // the reusable CURL handle
    bool sharedBusy_ = false;
};

}  // namespace nuv
