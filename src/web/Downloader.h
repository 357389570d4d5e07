#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace nuv {

// Why a download failed; what() says it in English with the technical detail.
enum class DownloadFailure {
    Refused,    // the address is of a kind that is never fetched; nothing was sent
    TooLarge,   // the body grew beyond the size bound
    TimedOut,   // no byte within the stall timeout, or longer than the time bound
    Network,    // name lookup, connection, TLS, transfer
    Http,       // the server refused (status 400 or more, a redirect loop)
    Write,      // the file could not be written
    Cancelled,  // the caller stopped it
    PrivateNetwork,  // a page on the public network named a private or loopback address
};

class DownloadError : public std::runtime_error {
public:
    explicit DownloadError(const std::string& what, DownloadFailure kind = DownloadFailure::Network)
        : std::runtime_error(what), kind_(kind) {}
    DownloadFailure kind() const { return kind_; }

    // The answer's status of an Http failure, 0 for the others.
    int Status() const { return status_; }
    // How long the server asked to be left alone (Retry-After), when it said.
    std::optional<std::chrono::seconds> RetryAfter() const { return retryAfter_; }
    // A failure of the transfer that may pass when tried again: the connection broke or
    // stalled, or nothing came back.
    bool Transient() const { return transient_; }

    DownloadError& WithAnswer(int status, std::optional<std::chrono::seconds> retryAfter) {
        status_ = status;
        retryAfter_ = retryAfter;
        return *this;
    }
    DownloadError& WithTransient() {
        transient_ = true;
        return *this;
    }

private:
    DownloadFailure kind_;
    int status_ = 0;
    std::optional<std::chrono::seconds> retryAfter_;
    bool transient_ = false;
};

// The User-Agent of the program's downloads unless one is given.
inline constexpr std::string_view kDownloadUserAgent = "Mozilla/5.0 (compatible; NUV-WebExtract/2.2)";

// Bounds of one download beyond the downloader's own; zero leaves the bound out.
struct DownloadBounds {
    std::uint64_t maxBytes = 0;
    std::chrono::milliseconds maxTime{0};  // from the start to the last byte, redirects included
};

// The bounds of a text the program reads itself: a style sheet.
inline constexpr DownloadBounds kStyleSheetBounds{std::uint64_t{16} << 20, std::chrono::seconds(60)};

struct DownloadProgress {
    std::uint64_t progress = 0;
    std::uint64_t maximum = 0;  // 0 while the size is unknown
    int statusCode = 0;
    std::string statusText;
    std::string contentType = {};  // the answer's Content-Type once its head has arrived
    std::string address = {};      // the address answering: the request's after the redirects so far
};

// Called on the thread that runs the download, while it waits: as bytes arrive and at
// least every 250 ms while none do. An exception thrown by it ends the download at once
// (no new file, an older one kept) and leaves DownloadToFile unchanged.
using DownloadProgressFn = std::function<void(const DownloadProgress&)>;

// A download in progress has no name in its folder; only in the instant between its
// completion and the rename over the target does it carry a name with this prefix.
// Listings of a save folder leave such names out.
inline constexpr std::string_view kPartialDownloadPrefix = ".nuvpart.";
inline bool IsPartialDownloadName(std::string_view fileName) {
    return fileName.substr(0, kPartialDownloadPrefix.size()) == kPartialDownloadPrefix;
}

// A cookie's SameSite attribute; Unset when the server gave none.
enum class SameSite { Unset, None, Lax, Strict };

// One browser cookie: its line in the Netscape cookie-file format (domain, subdomains
// flag, path, secure flag, expiry, name, value, separated by tabs) and its SameSite.
struct CookieLine {
    std::string netscape;
    SameSite sameSite = SameSite::Unset;
};

// The cookies of the program's browser, so that a download carries them as the browser's
// own request for the same address would.
class ICookieSource {
public:
    virtual ~ICookieSource() = default;
    // Every cookie. Any thread.
    virtual std::vector<CookieLine> CookieLines() const = 0;
    // A number that changes whenever the cookies do, so that a downloader reads them again
    // only then; nothing when the source cannot tell (they are read for every download).
    virtual std::optional<std::uint64_t> Generation() const { return std::nullopt; }
};

// URL-to-file download. Blocks until the file is complete. The file is written under
// a temporary name in the target folder and renamed over `filePath` only when the
// whole body has arrived, so a failure never leaves a truncated file nor destroys an
// older one. Throws DownloadError when the download fails; `bounds` narrows the
// downloader's own bounds for this download.
class IDownloader {
public:
    virtual ~IDownloader() = default;
    virtual void DownloadToFile(const std::string& url, const std::string& filePath,
                                const DownloadProgressFn& progress = {}, const DownloadBounds& bounds = {}) = 0;
};

// Downloads that run side by side, each as DownloadToFile writes its file, driven by one
// thread: Start and Wait are called by that thread only, Wake by any.
class IParallelDownloader {
public:
    // A download that ended: its size when the file is complete, else why it failed.
    struct Ended {
        std::size_t id = 0;
        std::uint64_t size = 0;
        std::optional<DownloadError> error;
        std::string contentType = {};  // the answer's Content-Type, "" when it gave none
    };
    virtual ~IParallelDownloader() = default;
    // How many downloads run at once; the caller starts no more.
    virtual std::size_t Slots() const = 0;
    // Begins downloading `url` into `filePath` for the page `pageAddress` (its Referer,
    // its cookies and whether "file:" may be read, as DownloadToFile has them).
    virtual void Start(std::size_t id, const std::string& url, const std::string& filePath,
                       const std::string& pageAddress) = 0;
    // Moves the running downloads on; appends those that ended to `ended`, waiting up to
    // `timeout` for one to end unless Wake is called.
    virtual void Wait(std::chrono::milliseconds timeout, std::vector<Ended>& ended) = 0;
    // Makes a Wait that runs or comes next return at once.
    virtual void Wake() = 0;
};

}  // namespace nuv
