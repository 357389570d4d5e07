#pragma once

#include <string>

#include "net/HttpClient.h"
#include "web/PageFetcher.h"

namespace nuv {

// The frame-page fetcher of the main window: its HTTP client `IdHTTP1`.
class HttpPageFetcher : public IPageFetcher {
public:
    std::string Get(const std::string& url) override { return IdHTTP1.Get(url); }

    HttpClient IdHTTP1;
};

}  // namespace nuv
