#pragma once

#include <string>
#include <vector>

#include <QString>

#include "support/TestHttpServer.h"

// The site over which both programs, the window and nuv-extract, are tested, and the
// lists that an extraction of its page yields. One expectation for both programs keeps
// their results the same.
namespace nuv::test {

// Serves the files of tests/data/`folder` as its site.txt lists them (one line a
// served address: A or B, the request target, the Content-Type, the file under `folder`):
// on `site` (A) or on `other` (B), whose origin then replaces {{OTHER}} in every body.
void PutSite(const QString& folder, TestHttpServer& site, TestHttpServer* other = nullptr);

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

// The page of pictures as today's sites serve them (tests/data/shown, its addresses listed in
// site.txt there): `site` serves the page, `other`, of another origin, the frame it shows.
void PutShownSite(TestHttpServer& site, TestHttpServer& other);
QString ShownPage(const TestHttpServer& site);

// A picture that the image extraction appends with the pictures the page shows, as
// tests/data/shown/expected.txt lists them in order.
struct ShownEntry {
    std::string address;
    std::string type;
    int width = 0;
    int height = 0;
    std::string file;  // the name a batch download saves it under
};
std::vector<ShownEntry> ExpectedShownPictures(const TestHttpServer& site, const TestHttpServer& other);

}  // namespace nuv::test
