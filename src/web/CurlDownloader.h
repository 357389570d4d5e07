#pragma once

#include "web/Downloader.h"

namespace nuv {

// The URL-to-file downloader over libcurl: follows redirects, verifies https
// certificates, reports progress on the calling thread, and writes to a temporary name
// in the target folder that replaces the target only when the body is complete.
class CurlDownloader : public IDownloader {
public:
    CurlDownloader();
    void DownloadToFile(const std::string& url, const std::string& filePath,
                        const DownloadProgressFn& progress = {}) override;

    // Seconds without any received byte after which a download fails (0: no limit).
    void SetStallTimeout(long seconds) { stallSeconds_ = seconds; }

private:
    long stallSeconds_ = 30;
};

}  // namespace nuv
