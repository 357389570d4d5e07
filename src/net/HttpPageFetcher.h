#pragma once

#include <memory>
#include <string>
#include <utility>

#include "net/HttpClient.h"
#include "web/PageFetcher.h"
#include "web/RetryRule.h"

namespace nuv {

// The frame-page fetcher of the main window: its HTTP client `IdHTTP1`.
class HttpPageFetcher : public IPageFetcher {
public:
    explicit HttpPageFetcher(std::unique_ptr<IHttpConnector> connector = nullptr) : IdHTTP1(std::move(connector)) {}

    // Fetches `url` with IdHTTP1; a fetch that meets a busy server (429, 502, 503, 504) or
    // a connection that broke or stalled is made again as `retry` allows, after what the
    // answer's Retry-After asks for or the back-off. A fetch that used up the client's
    // whole time for a request is not made again.
    std::string Get(const std::string& url) override;

    HttpClient IdHTTP1;
    RetryRule retry;  // no tries again unless set (nuv-extract --retries)
};

}  // namespace nuv
