#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "web/Downloader.h"

namespace nuv {

class OpenFolders;

// The URL-to-file downloader over libcurl: follows redirects, verifies https
// certificates, reports progress on the calling thread, and writes into a file without a
// name in the target folder, which takes the target's name only when the body is complete.
// Addresses are percent-encoded where they hold bytes a request may not carry. Only http
// and https are fetched, and "file:" (a copy of the local file) for a page that is itself
// a local file; each redirect is checked again and gets its own Referer. Requests carry
// the Referer and the browser's cookies as the browser sends them for the page's
// subresources; the cookies are read again only when they or the page change.
// One thread uses an instance (Wake excepted). Successive downloads share one handle, so
// a connection to the same server is reused; a download started from inside a progress
// report (the window handles events meanwhile) gets a handle of its own. A transfer is
// driven in steps of at most 100 ms, so the progress function runs even while no byte
// arrives. As an IParallelDownloader it runs several downloads at once over one set of
// connections, on the thread that calls Wait.
class CurlDownloader : public IDownloader, public IParallelDownloader {
public:
    CurlDownloader();
    ~CurlDownloader() override;
    CurlDownloader(const CurlDownloader&) = delete;
    CurlDownloader& operator=(const CurlDownloader&) = delete;
    void DownloadToFile(const std::string& url, const std::string& filePath, const DownloadProgressFn& progress = {},
                        const DownloadBounds& bounds = {}) override;
    // As DownloadToFile, the body going into `body` (replacing what it held) instead of a file.
    void DownloadToMemory(const std::string& url, std::string& body, const DownloadProgressFn& progress = {},
                          const DownloadBounds& bounds = {});

    std::size_t Slots() const override { return slots_; }
    void Start(std::size_t id, const std::string& url, const std::string& filePath,
               const std::string& pageAddress) override;
    void Wait(std::chrono::milliseconds timeout, std::vector<Ended>& ended) override;
    void Wake() override;

    // Seconds without any received byte after which a download fails (0: no limit).
    void SetStallTimeout(long seconds) { stallSeconds_ = seconds; }
    // The most bytes any download may have (4 GiB unless set; 0: no limit).
    void SetMaxBytes(std::uint64_t bytes) { maxBytes_ = bytes; }
    // The browser's cookies, sent with every download where they apply.
    void SetCookieSource(const ICookieSource* cookies) {
        cookies_ = cookies;
        cookieCache_.reset();
    }
    // Runs at least every 100 ms while any download waits, with or without a progress
    // function (the window handles its events there). What it throws ends the download
    // as a progress function's exception does.
    void SetWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }
    // The address of the page whose resources are downloaded, read at the start of each
    // DownloadToFile: the Referer, the site of SameSite cookies and the permission of
    // "file:" addresses follow from it. Without it (or with "") no Referer, no
    // SameSite=Lax or Strict cookie and no local file.
    void SetPageAddress(std::function<std::string()> page) { pageAddress_ = std::move(page); }
    // Certificate authorities (a PEM file) that https servers are verified against,
    // instead of the system's; "" for the system's.
    void SetCaFile(std::string path) { caFile_ = std::move(path); }
    // Lets pages on the public network make the downloader connect to private and
    // loopback addresses (nuv-extract --allow-private-network); refused unless set.
    void SetAllowPrivateNetwork(bool on) { allowPrivate_ = on; }
    // Accepts https only, for the address and for every redirect.
    void SetHttpsOnly(bool on) { httpsOnly_ = on; }
    // The save folder (ending in "/") that every file lies beneath: the part of a target
    // after it is opened from it without following links, its missing folders made. A
    // target outside it, and any target while it is "", has its own folder as the root.
    void SetSaveRoot(std::string folder) { beneath_ = std::move(folder); }
    // Follows a redirect, beyond the fetch rules, only to an address `mayFollow` accepts;
    // another fails the download as refused. Runs on the downloading thread.
    void SetRedirectRule(std::function<bool(const std::string& address)> mayFollow) {
        redirectRule_ = std::move(mayFollow);
    }
    // The proxy of every http(s) download ("http://", "https://", "socks5://" or
    // "socks5h://" HOST:PORT), instead of the one the environment names; the environment's
    // "no_proxy" still exempts its hosts. "" for the environment's.
    void SetProxy(std::string address) { proxy_ = std::move(address); }
    // Told of every Set-Cookie of every answer of DownloadToFile (redirects included), with
    // the address that answered: a reader of pages keeps what a browser would keep.
    void SetResponseCookieSink(std::function<void(const std::string& setCookie, const std::string& address)> sink) {
        cookieSink_ = std::move(sink);
    }
    // The User-Agent of every request.
    void SetUserAgent(std::string text) { userAgent_ = std::move(text); }
    // The most bytes a second that one download receives (libcurl's speed limit); 0 none.
    void SetMaxRecvSpeed(std::uint64_t bytesPerSecond) { maxRecvSpeed_ = bytesPerSecond; }
    // How many downloads run at once as an IParallelDownloader (at least 1; 4 unless set).
    void SetSlots(std::size_t count) { slots_ = count == 0 ? 1 : count; }

    struct Handle;    // a libcurl handle with the cookies it holds
    struct Transfer;  // one download on its way

private:
    // The browser's cookies that requests for `page` may carry, in cookie-file lines; read
    // again only when the page or the cookies change. `serial` names the set.
    struct CookieSet {
        const ICookieSource* source = nullptr;
        std::optional<std::uint64_t> generation;
        std::string page;
        std::vector<std::string> lines;
        std::uint64_t serial = 0;
    };
    const CookieSet& CookiesFor(const std::string& page);
    std::unique_ptr<Handle> NewHandle();
    // Opens the file (with `openLater` only checks its name: see PartialFile::Aim) and
    // sets the options of one download on its handle.
    void Begin(Transfer& t, const DownloadBounds& bounds, bool openLater = false);
    // DownloadToFile into the file `filePath`, or with `body` into it.
    void DownloadOne(const std::string& url, const std::string& filePath, std::string* body,
                     const DownloadProgressFn& progress, const DownloadBounds& bounds);
    // Sets the address and Referer of the transfer's next request.
    void Aim(Transfer& t);
    // After a request: true when it was a redirect that Aim now follows, false when the
    // body is complete. Throws DownloadError when the download failed.
    bool Redirected(Transfer& t, int code);
    // Moves the running parallel downloads on and collects those that ended.
    void Collect(std::vector<Ended>& ended);

    long stallSeconds_ = 30;
    std::string proxy_;
    std::function<void(const std::string&, const std::string&)> cookieSink_;
    std::string userAgent_ = std::string(kDownloadUserAgent);
    std::uint64_t maxRecvSpeed_ = 0;
    std::uint64_t maxBytes_ = std::uint64_t{4} << 30;
    const ICookieSource* cookies_ = nullptr;
    std::optional<CookieSet> cookieCache_;
    std::uint64_t cookieSerial_ = 0;
    std::function<std::string()> pageAddress_;
    std::function<void()> waitHook_;
    std::string caFile_;
    std::string beneath_;
    bool httpsOnly_ = false;
    bool allowPrivate_ = false;
    std::function<bool(const std::string&)> redirectRule_;
    std::size_t slots_ = 4;
    void* share_ = nullptr;        // the TLS sessions every handle of this downloader resumes
    std::unique_ptr<Handle> shared_;  // the reusable handle of DownloadToFile
    void* sharedMulti_ = nullptr;  // the CURLM that drives it and keeps its connections
    bool sharedBusy_ = false;
    // The CURLM of the parallel downloads, made by their first call: a downloader that
    // fetches one file at a time (a page's style sheets) never makes one.
    void* ParallelMulti();
    std::once_flag parallelOnce_;
    void* parallelMulti_ = nullptr;
    std::vector<std::unique_ptr<Transfer>> running_;
    std::vector<std::unique_ptr<Handle>> idle_;
    std::vector<Ended> refused_;  // downloads that ended in Start, reported by the next Wait
    std::unique_ptr<OpenFolders> folders_;  // those the parallel downloads' files go into
};

// Saves `text` as the file `target` beneath `root` (see SplitBeneath) as a download saves
// its body: unnamed until complete, then named over an older file without following a
// link, and never out of the root. Returns "" or why it could not.
std::string SaveBeneath(const std::string& root, const std::string& target, std::string_view text);

}  // namespace nuv
