#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace nuv {

class DownloadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct DownloadProgress {
    std::uint64_t progress = 0;
    std::uint64_t maximum = 0;  // 0 while the size is unknown
    int statusCode = 0;
    std::string statusText;
};

// Called on the thread that runs the download, while it waits.
using DownloadProgressFn = std::function<void(const DownloadProgress&)>;

// URL-to-file download. Blocks until the file is complete. The file is written under
// a temporary name in the target folder and renamed over `filePath` only when the
// whole body has arrived, so a failure never leaves a truncated file nor destroys an
// older one. Throws DownloadError when the download fails.
class IDownloader {
public:
    virtual ~IDownloader() = default;
    virtual void DownloadToFile(const std::string& url, const std::string& filePath,
                                const DownloadProgressFn& progress = {}) = 0;
};

}  // namespace nuv
