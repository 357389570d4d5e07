#include "web/CurlDownloader.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include <curl/curl.h>

#include "common/Text.h"

namespace nuv {
namespace {

struct Transfer {
    std::FILE* file = nullptr;
    const DownloadProgressFn* progress = nullptr;
    CURL* curl = nullptr;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    return std::fwrite(data, size, count, t->file) * size;
}

int ReportProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    if (!t->progress || !*t->progress) return 0;
    try {
        long code = 0;
        curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &code);
        DownloadProgress p;
        p.progress = static_cast<std::uint64_t>(now < 0 ? 0 : now);
        p.maximum = static_cast<std::uint64_t>(total < 0 ? 0 : total);
        p.statusCode = static_cast<int>(code);
        (*t->progress)(p);
    } catch (...) {
        return 1;  // a report that fails ends the download like any other failure
    }
    return 0;
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
    if (shared_) curl_easy_cleanup(static_cast<CURL*>(shared_));
}

void CurlDownloader::DownloadToFile(const std::string& url, const std::string& filePath,
                                    const DownloadProgressFn& progress) {
    namespace fs = std::filesystem;
    const fs::path target(filePath);
    // The shared handle keeps its connections between downloads; a nested download
    // (started while the shared one runs) uses a handle of its own.
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> own(nullptr, &curl_easy_cleanup);
    CURL* c = nullptr;
    const bool useShared = !sharedBusy_;
    if (useShared) {
        if (!shared_) shared_ = curl_easy_init();
        c = static_cast<CURL*>(shared_);
        if (c) curl_easy_reset(c);
    } else {
        own.reset(curl_easy_init());
        c = own.get();
    }
    if (!c) throw DownloadError("cannot start a download");
    PartialFile partial(target.parent_path());
    if (!partial.Stream()) throw DownloadError("cannot write into " + target.parent_path().string());

    Transfer t{partial.Stream(), &progress, c};
    char error[CURL_ERROR_SIZE] = {};
    const std::string request = EncodeRequestAddress(url);
    curl_easy_setopt(c, CURLOPT_URL, request.c_str());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 15L);
    if (stallSeconds_ > 0) {
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stallSeconds_);
    }
    if (!caFile_.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, caFile_.c_str());
    const std::string referer = referer_ ? referer_() : std::string();
    if (!referer.empty()) curl_easy_setopt(c, CURLOPT_REFERER, referer.c_str());
    // The browser's cookies: curl's own engine, which the first line switches on, picks
    // those that fit each request, redirects included. It starts empty for every download.
    curl_easy_setopt(c, CURLOPT_COOKIELIST, "ALL");
    if (cookies_) {
        for (const std::string& line : cookies_->CookieLines()) curl_easy_setopt(c, CURLOPT_COOKIELIST, line.c_str());
    }
    if (httpsOnly_) {
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    }
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &ReportProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, progress ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Mozilla/5.0 (compatible; NUV-WebExtract/2.2)");

    if (useShared) sharedBusy_ = true;
    const CURLcode rc = curl_easy_perform(c);
    if (useShared) sharedBusy_ = false;
    if (rc != CURLE_OK) throw DownloadError(error[0] ? error : curl_easy_strerror(rc));
    if (!partial.Commit(target)) throw DownloadError("cannot write " + filePath);
}

}  // namespace nuv
