#include "web/CurlDownloader.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>

#include <curl/curl.h>

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

std::string TemporaryNameBeside(const std::filesystem::path& target) {
    // One generator a thread: downloaders on several threads name their files at once.
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%016llx.part", static_cast<unsigned long long>(rng()));
    return target.string() + suffix;
}

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
    const std::string temp = TemporaryNameBeside(target);
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
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) throw DownloadError("cannot write " + temp);

    Transfer t{file, &progress, c};
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
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
    const bool written = std::fflush(file) == 0 && !std::ferror(file);
    std::fclose(file);
    std::error_code ec;
    if (rc != CURLE_OK || !written) {
        fs::remove(temp, ec);
        throw DownloadError(rc != CURLE_OK ? std::string(error[0] ? error : curl_easy_strerror(rc))
                                           : "cannot write " + filePath);
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw DownloadError("cannot replace " + filePath);
    }
}

}  // namespace nuv
