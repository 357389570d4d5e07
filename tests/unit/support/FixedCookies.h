#pragma once

#include <vector>

#include "web/Downloader.h"

namespace nuv::test {

// A browser's cookies, fixed by the test.
struct FixedCookies : ICookieSource {
    std::vector<CookieLine> lines;
    std::vector<CookieLine> CookieLines() const override { return lines; }
};

}  // namespace nuv::test
