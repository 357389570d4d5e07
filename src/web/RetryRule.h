#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "web/Downloader.h"

// When a failed download is tried again, and after how long.
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

}  // namespace nuv
