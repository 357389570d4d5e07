#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "web/Downloader.h"

namespace nuv {

// The URL-to-file downloader over libcurl: follows redirects, verifies https
// certificates, reports progress on the calling thread, and writes into a file without a
// name in the target folder, which replaces the target only when the body is complete.
// Addresses are percent-encoded where they hold bytes a request may not carry. Only http
// and https are fetched, and "file:" (a copy of the local file) for a page that is itself
// a local file; each redirect is checked again and gets its own Referer. Requests carry
// the Referer and the browser's cookies as the browser sends them for the page's
// subresources.
// One thread uses an instance. Successive downloads share one handle, so a connection
// to the same server is reused; a download started from inside a progress report (the
// window handles events meanwhile) gets a handle of its own. A transfer is driven in
// steps of at most 100 ms, so the progress function runs even while no byte arrives.
class CurlDownloader : public IDownloader {
public:
    CurlDownloader();
    ~CurlDownloader() override;
    CurlDownloader(const CurlDownloader&) = delete;
    CurlDownloader& operator=(const CurlDownloader&) = delete;
    void DownloadToFile(const std::string& url, const std::string& filePath, const DownloadProgressFn& progress = {},
                        const DownloadBounds& bounds = {}) override;

    // Seconds without any received byte after which a download fails (0: no limit).
    void SetStallTimeout(long seconds) { stallSeconds_ = seconds; }
    // The most bytes any download may have (4 GiB unless set; 0: no limit).
    void SetMaxBytes(std::uint64_t bytes) { maxBytes_ = bytes; }
    // The browser's cookies, sent with every download where they apply.
    void SetCookieSource(const ICookieSource* cookies) { cookies_ = cookies; }
    // Runs at least every 100 ms while any download waits, with or without a progress
    // function (the window handles its events there). What it throws ends the download
    // as a progress function's exception does.
    void SetWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }
    // The address of the page whose resources are downloaded, read at the start of each
    // download: the Referer, the site of SameSite cookies and the permission of "file:"
    // addresses follow from it. Without it (or with "") no Referer, no SameSite=Lax or
    // Strict cookie and no local file.
    void SetPageAddress(std::function<std::string()> page) { pageAddress_ = std::move(page); }
    // Certificate authorities (a PEM file) that https servers are verified against,
    // instead of the system's; "" for the system's.
    void SetCaFile(std::string path) { caFile_ = std::move(path); }
    // Accepts https only, for the address and for every redirect.
    void SetHttpsOnly(bool on) { httpsOnly_ = on; }

private:
    long stallSeconds_ = 30;
    std::uint64_t maxBytes_ = std::uint64_t{4} << 30;
    const ICookieSource* cookies_ = nullptr;
    std::function<std::string()> pageAddress_;
    std::function<void()> waitHook_;
    std::string caFile_;
    bool httpsOnly_ = false;
    void* shared_ = nullptr;       // the reusable CURL handle
    void* sharedMulti_ = nullptr;  // the CURLM that drives it and keeps its connections
    bool sharedBusy_ = false;
};

}  // namespace nuv
