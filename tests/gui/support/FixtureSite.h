#pragma once

#include <string>
#include <vector>

#include "support/TestHttpServer.h"

// The site over which both programs, the window and nuv-extract, are tested, and the
// lists that an extraction of its page yields. One expectation for both programs keeps
// their results the same.
namespace nuv::test {

// Puts the pages, style sheet and pictures of the site on `site`.
void PutFixtureSite(TestHttpServer& site);

// The address of the site's page.
std::string FixturePage(const TestHttpServer& site);

// The lists of one extraction of the page, each in list order.
struct FixtureLists {
    std::vector<std::string> images;  // ImageURLs: source, style sheet, frames
    std::vector<std::string> flash;   // FlashURLs of the Flash extraction
    std::vector<std::string> other;   // OtherURLs
    std::vector<std::string> links;   // LinkURLs
    std::vector<std::string> css;     // CssURLs
};
FixtureLists ExpectedFixtureLists(const TestHttpServer& site);

}  // namespace nuv::test
