#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "web/Downloader.h"

// When a failed download is tried again, and after how long; how far apart the requests
// to one host go.
namespace nuv {

struct RetryRule {
    int retries = 0;                                 // tries after the first; 0 never again
    std::chrono::milliseconds first{1000};           // the wait before the first retry
    std::chrono::milliseconds cap{60000};            // no wait is longer, Retry-After included
};

// The retries of a download without --retries, in both programs.
inline constexpr int kDefaultRetries = 3;
// The most --retries takes.
inline constexpr int kMostRetries = 20;

// A failure that may pass when tried again: a transient failure of the transfer (a
// connection that broke or stalled, an empty answer), or an answer of 429 Too Many
// Requests, 502, 503 or 504. Other answers of 400 and more, refusals, bounds and
// failures to name or reach the host are final.
bool MayRetry(const DownloadError& error);

// The wait before retry number `attempt` (1, 2, ...): what the server asked for
// (`retryAfter`), else `first` doubled for every retry before, either at most `cap`. The
// back-off is spread by `jitter` (0 to 1, taken at random by the caller) over three
// quarters to five quarters of it, so that many downloads do not come back at once.
std::chrono::milliseconds RetryDelay(const RetryRule& rule, int attempt,
                                     std::optional<std::chrono::seconds> retryAfter, double jitter);

// A number from 0 to 1 for RetryDelay's jitter. Any thread.
double RetryJitter();

// `downloader`.DownloadToFile, tried again as `rule` allows. Between two tries it waits
// in steps of at most 100 ms, each time calling `progress` with an empty report, so that
// what stops the download (an exception of `progress`) stops the wait as well. Throws the
// last failure; returns the number of tries again.
int DownloadWithRetries(IDownloader& downloader, const std::string& url, const std::string& filePath,
                        const DownloadProgressFn& progress, const RetryRule& rule, const DownloadBounds& bounds = {});
// The same for any download `attempt` makes.
int WithRetries(const std::function<void()>& attempt, const DownloadProgressFn& progress, const RetryRule& rule);

// How far apart the requests to one host start (nuv-extract --wait): at least `wait`, or
// with `random` 0.5 to 1.5 times it, taken anew each time (--random-wait).
struct HostPace {
    std::chrono::milliseconds wait{0};
    bool random = false;
};

// The turns of the hosts under a HostPace. Used by one thread at a time.
class HostPacer {
public:
    using Time = std::chrono::steady_clock::time_point;
    explicit HostPacer(HostPace pace = {}) : pace_(pace) {}

    bool Paced() const { return pace_.wait.count() > 0; }
    // When `host` may be asked next; nothing when it may be at once.
    std::optional<Time> NotBefore(const std::string& host) const;
    // Takes `host`'s turn when it is free at `now`; false when its turn has not come.
    bool TryTake(const std::string& host, Time now);
    // Takes `host`'s next turn at `now` or later and returns when it is.
    Time Book(const std::string& host, Time now);

private:
    HostPace pace_;
    std::unordered_map<std::string, Time> notBefore_;
};

}  // namespace nuv
