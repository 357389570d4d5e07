#include "net/HttpPageFetcher.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <optional>

#include "common/Text.h"

namespace nuv {
namespace {

// What a Retry-After header asks for: seconds, or an HTTP date. Nothing when it says
// neither, or no wait at all (0, a date gone by): the back-off decides then, as for
// the downloads.
std::optional<std::chrono::seconds> RetryAfterOf(const HttpResponseHead& head) {
    const std::string value = Trim(head.Value("Retry-After"));
    long long seconds = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size()) {
        const auto at = ParseCookieDate(value);
        if (!at) return std::nullopt;
        seconds = static_cast<long long>(*at) - static_cast<long long>(std::time(nullptr));
    }
    if (seconds <= 0) return std::nullopt;
    return std::chrono::seconds(std::min<long long>(seconds, 24 * 3600));
}

bool Busy(int status) { return status == 429 || status == 502 || status == 503 || status == 504; }

}  // namespace

std::string HttpPageFetcher::Get(const std::string& url) {
    for (int attempt = 1;; ++attempt) {
        const auto start = std::chrono::steady_clock::now();
        std::optional<std::chrono::seconds> retryAfter;
        try {
            return IdHTTP1.Get(url);
        } catch (const HttpProtocolError& e) {
            if (attempt > retry.retries || !Busy(e.StatusCode())) throw;
            retryAfter = RetryAfterOf(IdHTTP1.LastResponse());
        } catch (const HttpTimeoutError&) {
            const auto whole = IdHTTP1.Limits().totalTimeout;
            if (attempt > retry.retries || (whole.count() > 0 && std::chrono::steady_clock::now() - start >= whole))
                throw;
        } catch (const HttpBrokenError&) {
            if (attempt > retry.retries) throw;
        }
        IdHTTP1.Pause(RetryDelay(retry, attempt, retryAfter, RetryJitter()));
    }
}

}  // namespace nuv
