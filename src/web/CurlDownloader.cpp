#include "web/CurlDownloader.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include <curl/curl.h>

#include "common/Text.h"
#include "web/FetchPolicy.h"

namespace nuv {
namespace {

using Clock = std::chrono::steady_clock;

// How often the progress function runs while no byte arrives, and the longest single
// wait for the network.
constexpr auto kReportInterval = std::chrono::milliseconds(100);
constexpr int kPollMillis = 100;
constexpr int kMaxRedirects = 20;

struct Transfer {
    std::FILE* file = nullptr;
    const DownloadProgressFn* progress = nullptr;
    CURL* curl = nullptr;
    std::uint64_t received = 0;  // body bytes of every step, redirects included
    std::uint64_t maxBytes = 0;  // 0: no bound
    bool tooLarge = false;
    std::exception_ptr failure;  // what the progress function threw
    Clock::time_point lastReport = Clock::now();
    const std::function<void()>* waitHook = nullptr;
    Clock::time_point lastHook = Clock::now();
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->received += n;
    if (t->maxBytes > 0 && t->received > t->maxBytes) {
        t->tooLarge = true;
        return 0;
    }
    long code = 0;
    curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &code);
    if (code >= 300 && code <= 399) return n;  // the body of a redirect is not the resource
    return std::fwrite(data, 1, n, t->file);
}

void Report(Transfer& t, curl_off_t total, curl_off_t now) {
    t.lastReport = Clock::now();
    if (!t.progress || !*t.progress) return;
    long code = 0;
    curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &code);
    DownloadProgress p;
    p.progress = static_cast<std::uint64_t>(now < 0 ? 0 : now);
    p.maximum = static_cast<std::uint64_t>(total < 0 ? 0 : total);
    p.statusCode = static_cast<int>(code);
    char* type = nullptr;
    if (curl_easy_getinfo(t.curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) p.contentType = type;
    (*t.progress)(p);
}

// A report between two steps of the transfer, from what the handle knows.
void ReportState(Transfer& t) {
    curl_off_t now = 0;
    curl_off_t total = -1;
    curl_easy_getinfo(t.curl, CURLINFO_SIZE_DOWNLOAD_T, &now);
    curl_easy_getinfo(t.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
    Report(t, total, now);
}

int ReportProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    if (t->failure) return 1;
    try {
        Report(*t, total, now);
    } catch (...) {
        t->failure = std::current_exception();  // rethrown once curl has let go
        return 1;
    }
    return 0;
}

std::string DurationText(std::chrono::milliseconds d) {
    if (d.count() % 1000 == 0) return std::to_string(d.count() / 1000) + " s";
    return std::to_string(d.count()) + " ms";
}

DownloadError TransferFailure(CURLcode rc, const char* error, const Transfer& t) {
    if (t.tooLarge || rc == CURLE_FILESIZE_EXCEEDED)
        return DownloadError("the download is larger than the bound of " + std::to_string(t.maxBytes) + " bytes",
                             DownloadFailure::TooLarge);
    const std::string text = error[0] ? std::string(error) : std::string(curl_easy_strerror(rc));
    switch (rc) {
        case CURLE_UNSUPPORTED_PROTOCOL: return DownloadError("refused: " + text, DownloadFailure::Refused);
        case CURLE_OPERATION_TIMEDOUT: return DownloadError(text, DownloadFailure::TimedOut);
        case CURLE_HTTP_RETURNED_ERROR: return DownloadError(text, DownloadFailure::Http);
        case CURLE_WRITE_ERROR: return DownloadError(text, DownloadFailure::Write);
        case CURLE_ABORTED_BY_CALLBACK: return DownloadError(text, DownloadFailure::Cancelled);
        default: return DownloadError(text, DownloadFailure::Network);
    }
}

// Runs one request of the handle through `multi` until it ends, waking at least every
// 100 ms to report progress, run the wait hook and check the time bound. What the
// progress function or the hook throws leaves here unchanged, with the handle detached.
CURLcode Drive(CURLM* multi, Transfer& t, Clock::time_point deadline, std::chrono::milliseconds maxTime) {
    if (curl_multi_add_handle(multi, t.curl) != CURLM_OK) throw DownloadError("cannot start a download");
    struct Detach {
        CURLM* multi;
        CURL* curl;
        ~Detach() { curl_multi_remove_handle(multi, curl); }
    } detach{multi, t.curl};
    while (true) {
        int running = 0;
        const CURLMcode performed = curl_multi_perform(multi, &running);
        if (t.failure) std::rethrow_exception(t.failure);
        if (performed != CURLM_OK) throw DownloadError(curl_multi_strerror(performed));
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == t.curl) return message->data.result;
        }
        if (Clock::now() >= deadline)
            throw DownloadError("the download took longer than " + DurationText(maxTime), DownloadFailure::TimedOut);
        if (Clock::now() - t.lastReport >= kReportInterval) ReportState(t);
        if (t.waitHook && *t.waitHook && Clock::now() - t.lastHook >= kReportInterval) {
            t.lastHook = Clock::now();
            (*t.waitHook)();
        }
        const CURLMcode polled = curl_multi_poll(multi, nullptr, 0, kPollMillis, nullptr);
        if (polled != CURLM_OK) throw DownloadError(curl_multi_strerror(polled));
    }
}

std::string PartialName() {
    // One generator a thread: downloaders on several threads name their files at once.
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(rng()));
    return std::string(kPartialDownloadPrefix) + suffix;
}

// The file a download writes into. Where the file system allows it the file has no name
// until it is complete, so no listing of the folder ever shows a download in progress;
// elsewhere it carries a partial-download name from the start.
class PartialFile {
public:
    explicit PartialFile(const std::filesystem::path& folder) : folder_(folder) {
        const std::string dir = folder.empty() ? std::string(".") : folder.string();
        fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
                name_ = (folder_ / PartialName()).string();
                fd_ = ::open(name_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
                if (fd_ < 0 && errno != EEXIST) break;
            }
            if (fd_ < 0) name_.clear();
        }
        if (fd_ >= 0) file_ = ::fdopen(fd_, "wb");
        if (!file_ && fd_ >= 0) ::close(fd_);
    }
    ~PartialFile() {
        if (file_) std::fclose(file_);
        std::error_code ec;
        if (!name_.empty()) std::filesystem::remove(name_, ec);
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    std::FILE* Stream() const { return file_; }

    // Flushes the file and renames it over `target`. False when that cannot be done;
    // the target is then untouched.
    bool Commit(const std::filesystem::path& target) {
        if (std::fflush(file_) != 0 || std::ferror(file_)) return false;
        if (name_.empty()) {
            // Give the unnamed file a name in its folder, then move it over the target.
            const std::string procPath = "/proc/self/fd/" + std::to_string(::fileno(file_));
            for (int attempt = 0; attempt < 8 && name_.empty(); ++attempt) {
                const std::string candidate = (folder_ / PartialName()).string();
                if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
                    name_ = candidate;
                else if (errno != EEXIST)
                    break;
            }
            if (name_.empty()) return false;
        }
        std::error_code ec;
        std::filesystem::rename(name_, target, ec);
        if (ec) return false;
        name_.clear();
        return true;
    }

private:
    std::filesystem::path folder_;
    std::string name_;  // empty while the file has no name
    int fd_ = -1;
    std::FILE* file_ = nullptr;
};

}  // namespace

CurlDownloader::CurlDownloader() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CurlDownloader::~CurlDownloader() {
    if (sharedMulti_) curl_multi_cleanup(static_cast<CURLM*>(sharedMulti_));
    if (shared_) curl_easy_cleanup(static_cast<CURL*>(shared_));
}

void CurlDownloader::DownloadToFile(const std::string& url, const std::string& filePath,
                                    const DownloadProgressFn& progress, const DownloadBounds& bounds) {
    namespace fs = std::filesystem;
    const std::string page = pageAddress_ ? pageAddress_() : std::string();
    // Checked before anything else happens: no connection, no file.
    if (!MayFetch(url, page)) throw DownloadError(RefusalText(url), DownloadFailure::Refused);
    const auto started = Clock::now();
    const fs::path target(filePath);
    // The shared handle keeps its connections between downloads; a nested download
    // (started while the shared one runs) uses a handle of its own.
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> ownEasy(nullptr, &curl_easy_cleanup);
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> ownMulti(nullptr, &curl_multi_cleanup);
    CURL* c = nullptr;
    CURLM* multi = nullptr;
    const bool useShared = !sharedBusy_;
    if (useShared) {
        if (!shared_) shared_ = curl_easy_init();
        if (!sharedMulti_) sharedMulti_ = curl_multi_init();
        c = static_cast<CURL*>(shared_);
        multi = static_cast<CURLM*>(sharedMulti_);
        if (c) curl_easy_reset(c);
    } else {
        ownEasy.reset(curl_easy_init());
        ownMulti.reset(curl_multi_init());
        c = ownEasy.get();
        multi = ownMulti.get();
    }
    if (!c || !multi) throw DownloadError("cannot start a download");
    PartialFile partial(target.parent_path());
    if (!partial.Stream())
        throw DownloadError("cannot write into " + target.parent_path().string(), DownloadFailure::Write);

    Transfer t;
    t.file = partial.Stream();
    t.progress = &progress;
    t.curl = c;
    t.waitHook = &waitHook_;
    for (const std::uint64_t bound : {maxBytes_, bounds.maxBytes})
        if (bound > 0 && (t.maxBytes == 0 || bound < t.maxBytes)) t.maxBytes = bound;
    const auto deadline = bounds.maxTime.count() > 0 ? started + bounds.maxTime : Clock::time_point::max();

    char error[CURL_ERROR_SIZE] = {};
    // Redirects are followed here, not by curl, so that each one is checked against the
    // fetch rules and carries the Referer that fits its own origin.
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 15L);
    if (stallSeconds_ > 0) {
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stallSeconds_);
    }
    if (t.maxBytes > 0) curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t.maxBytes));
    if (!caFile_.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, caFile_.c_str());
    // curl's own protocol list repeats the rule, and an address without a scheme is
    // taken as http (never guessed as ftp from its host name).
    const char* protocols = httpsOnly_ ? "https" : IsLocalPageAddress(page) ? "http,https,file" : "http,https";
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, httpsOnly_ ? "https" : "http,https");
    curl_easy_setopt(c, CURLOPT_DEFAULT_PROTOCOL, "http");
    // The browser's cookies that the page's own requests would carry: curl's own engine,
    // which the first line switches on, picks those that fit each request, redirects
    // included. It starts empty for every download.
    curl_easy_setopt(c, CURLOPT_COOKIELIST, "ALL");
    if (cookies_) {
        for (const std::string& line : CookieLinesForPage(cookies_->CookieLines(), page))
            curl_easy_setopt(c, CURLOPT_COOKIELIST, line.c_str());
    }
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &ReportProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, progress ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Mozilla/5.0 (compatible; NUV-WebExtract/2.2)");

    struct Busy {
        bool* flag;
        ~Busy() {
            if (flag) *flag = false;
        }
    } busy{useShared ? &sharedBusy_ : nullptr};
    if (useShared) sharedBusy_ = true;
    std::string request = EncodeRequestAddress(url);
    for (int redirects = 0;; ++redirects) {
        curl_easy_setopt(c, CURLOPT_URL, request.c_str());
        const std::string referer = RefererFor(page, request);
        curl_easy_setopt(c, CURLOPT_REFERER, referer.empty() ? nullptr : referer.c_str());
        error[0] = '\0';
        const CURLcode rc = Drive(multi, t, deadline, bounds.maxTime);
        if (rc != CURLE_OK) throw TransferFailure(rc, error, t);
        long code = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
        if (code < 300 || code > 399) break;
        char* location = nullptr;
        curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location);
        if (!location) throw DownloadError("HTTP " + std::to_string(code) + " without a Location", DownloadFailure::Http);
        if (redirects >= kMaxRedirects)
            throw DownloadError("more than " + std::to_string(kMaxRedirects) + " redirects", DownloadFailure::Http);
        std::string next = location;
        if (!MayFetch(next, {}) || (httpsOnly_ && AddressScheme(next) != "https"))
            throw DownloadError("redirect " + RefusalText(next), DownloadFailure::Refused);
        request = std::move(next);
    }
    ReportState(t);
    if (!partial.Commit(target)) throw DownloadError("cannot write " + filePath, DownloadFailure::Write);
}

}  // namespace nuv
