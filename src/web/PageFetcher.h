#pragma once

#include <string>

namespace nuv {

// Fetches the body of an address as text (the HTTP client of the main window).
// Raises on any failure.
class IPageFetcher {
public:
    virtual ~IPageFetcher() = default;
    virtual std::string Get(const std::string& url) = 0;
};

}  // namespace nuv
