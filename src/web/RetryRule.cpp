#include "web/RetryRule.h"

#include <algorithm>
#include <random>
#include <thread>

namespace nuv {

bool MayRetry(const DownloadError& error) {
    if (error.Transient()) return true;
    if (error.kind() != DownloadFailure::Http) return false;
    const int status = error.Status();
    return status == 429 || status == 502 || status == 503 || status == 504;
}

std::chrono::milliseconds RetryDelay(const RetryRule& rule, int attempt,
                                     std::optional<std::chrono::seconds> retryAfter, double jitter) {
    using std::chrono::milliseconds;
    const milliseconds cap = std::max(rule.cap, milliseconds(0));
    if (retryAfter) return std::min<milliseconds>(std::chrono::duration_cast<milliseconds>(*retryAfter), cap);
    milliseconds wait = std::max(rule.first, milliseconds(0));
    for (int i = 1; i < attempt && wait < cap; ++i) wait *= 2;
    wait = std::min(wait, cap);
    const double spread = 0.75 + 0.5 * std::clamp(jitter, 0.0, 1.0);
    return std::min(milliseconds(static_cast<long long>(static_cast<double>(wait.count()) * spread)), cap);
}

int DownloadWithRetries(IDownloader& downloader, const std::string& url, const std::string& filePath,
                        const DownloadProgressFn& progress, const RetryRule& rule, const DownloadBounds& bounds) {
    return WithRetries([&] { downloader.DownloadToFile(url, filePath, progress, bounds); }, progress, rule);
}

int WithRetries(const std::function<void()>& attempt, const DownloadProgressFn& progress, const RetryRule& rule) {
    for (int retries = 0;; ++retries) {
        try {
            attempt();
            return retries;
        } catch (const DownloadError& e) {
            if (retries >= rule.retries || !MayRetry(e)) throw;
            const auto until = std::chrono::steady_clock::now() + RetryDelay(rule, retries + 1, e.RetryAfter(), RetryJitter());
            for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now()) {
                if (progress) progress(DownloadProgress{});
                std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(100)));
            }
        }
    }
}

double RetryJitter() {
    thread_local std::minstd_rand random{std::random_device{}()};
    return std::uniform_real_distribution<double>(0.0, 1.0)(random);
}

std::optional<HostPacer::Time> HostPacer::NotBefore(const std::string& host) const {
    const auto it = notBefore_.find(host);
    if (it == notBefore_.end()) return std::nullopt;
    return it->second;
}

bool HostPacer::TryTake(const std::string& host, Time now) {
    if (!Paced()) return true;
    if (const auto at = NotBefore(host); at && now < *at) return false;
    Book(host, now);
    return true;
}

HostPacer::Time HostPacer::Book(const std::string& host, Time now) {
    if (!Paced()) return now;
    Time& next = notBefore_[host];
    const Time turn = std::max(next, now);
    const double spread = pace_.random ? 0.5 + RetryJitter() : 1.0;
    next = turn + std::chrono::milliseconds(static_cast<long long>(static_cast<double>(pace_.wait.count()) * spread));
    return turn;
}

}  // namespace nuv
