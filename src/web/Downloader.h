#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

// A download in progress has no name in its folder; only in the instant between its
// completion and the rename over the target does it carry a name with this prefix.
// Listings of a save folder leave such names out.
inline constexpr std::string_view kPartialDownloadPrefix = ".nuvpart.";
inline bool IsPartialDownloadName(std::string_view fileName) {
    return fileName.substr(0, kPartialDownloadPrefix.size()) == kPartialDownloadPrefix;
}

// The cookies of the program's browser, so that a download carries them as the browser's
// own request for the same address would.
class ICookieSource {
public:
    virtual ~ICookieSource() = default;
    // Every cookie, one line each in the Netscape cookie-file format (domain, subdomains
    // flag, path, secure flag, expiry, name, value, separated by tabs). Any thread.
    virtual std::vector<std::string> CookieLines() const = 0;
};

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
