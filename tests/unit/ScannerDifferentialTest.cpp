// The indexed scanner against the literal copying scanner kept in support/, on seeded
// random texts built from the bytes that matter to it.
#include "extract/Scanner.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "extract/Collectors.h"
#include "support/FakeBrowser.h"
#include "support/FakeWindowParts.h"
#include "support/LiteralScanner.h"

namespace nuv {
namespace {

const std::vector<std::string> kPieces = {
    ".gif", ".GIF", ".Gif", ".gi", "gif", ".swf", ".SWF", ".sw", ".jpg", ".jpeg", ".JPEG", ".png",
    ".ico", ".css", ".giftshop", "\"", " ", "'", "=", "(", ")", ",", "/", "//", "\\", ".", "..",
    "../", "\t", "\r\n", "\n", "\x01", "a", "Z", "img", "url(", "src=", "http://", "HTTP://",
    "https://", "?x=1/2", "\xE5\x9B\xBE", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xE5\x9B", ".tiff", ".BMP",
    ".Svg", ".wmf", ".emf", ".psd", "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n"};

const std::vector<std::string_view> kImageMarkers = {".gif", ".png", ".jpg", ".jpeg", ".ico", ".bmp",
                                                     ".tiff", ".psd", ".svg", ".emf", ".wmf"};

const std::vector<std::string> kMarkers = {".gif", ".GIF", ".swf", ".jpeg", ".css", ".", "g", "gif", "\xE5\x9B\xBE", ""};

const std::vector<std::string> kBases = {"http://site.example/dir/page.htm", "https://s.example/", "site.example",
                                         "http://site.example", "", "HTTP://A.example//b/c?d=e/f"};

std::string RandomText(std::mt19937& rng) {
    std::uniform_int_distribution<int> count(0, 60);
    std::uniform_int_distribution<size_t> pick(0, kPieces.size() - 1);
    std::uniform_int_distribution<int> longRun(0, 15);
    std::string text;
    for (int n = count(rng); n > 0; --n) {
        if (longRun(rng) == 0) {
            text.append(std::uniform_int_distribution<size_t>(40, 60)(rng), 'w');
        } else {
            text += kPieces[pick(rng)];
        }
    }
    return text;
}

TEST(ScannerDifferential, IndexedScansEqualTheLiteralCopyingScans) {
    std::mt19937 rng(20090101u);
    std::uniform_int_distribution<size_t> pickMarker(0, kMarkers.size() - 1);
    std::uniform_int_distribution<size_t> pickBase(0, kBases.size() - 1);
    int withResults = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string text = RandomText(rng);
        const std::string& marker = kMarkers[pickMarker(rng)];
        const std::string& base = kBases[pickBase(rng)];
        SCOPED_TRACE("round " + std::to_string(round) + " marker \"" + marker + "\" text \"" + text + "\"");

        int literalCount = 0;
        const auto expected = literal::ScanReferences(marker, text, base, literalCount);
        EXPECT_EQ(ScanReferences(marker, text, base), expected);
        EXPECT_EQ(ScanCount, literalCount);
        if (!expected.empty()) ++withResults;

        test::FakeBrowser browser;
        browser.source = text;
        browser.location = base;
        const auto expectedPage = literal::ScanWithCopies(
            marker, text, false, [&base] { return base; }, literalCount);
        EXPECT_EQ(ScanPageReferences(marker, browser), expectedPage);
        EXPECT_EQ(ScanCount, literalCount);

        EXPECT_EQ(ScanSourceFlash(text, base), literal::ScanSourceFlash(text, base, literalCount));
        EXPECT_EQ(ScanCount, literalCount);

        // The one-walk scan of several markers gives each marker's single scan.
        const std::vector<std::vector<std::string>> each = ScanReferencesEach(kImageMarkers, text, base);
        for (size_t m = 0; m < kImageMarkers.size(); ++m)
            EXPECT_EQ(each[m], literal::ScanReferences(kImageMarkers[m], text, base, literalCount)) << kImageMarkers[m];
        EXPECT_EQ(ScanReferencesEach({marker, ".gif"}, text, base)[0], expected);

        const std::vector<std::string> lines = SplitLines(text);
        EXPECT_EQ(ScanSheetImages(base, lines), literal::ScanSheetImages(base, lines));
        EXPECT_EQ(ScanSheetFlash(base, lines), literal::ScanSheetFlash(base, lines));
        if (HasFailure()) break;  // one reported text is enough to debug
    }
    EXPECT_GT(withResults, 1000);  // the generator really produces references
}

// The image collection of a page source: every marker's references, resolved, each new
// one appended; judged by the literal scans and a literal walk of the list.
TEST(ScannerDifferential, SourceImageCollectionEqualsTheLiteralCollection) {
    struct NoFetch : IPageFetcher {
        std::string Get(const std::string&) override { return {}; }
    };
    struct NoDownload : IDownloader {
        void DownloadToFile(const std::string&, const std::string&, const DownloadProgressFn&, const DownloadBounds&) override {}
    };
    test::FakeExtractionWindow window;
    test::FakeBrowser browser;
    NoFetch http;
    NoDownload downloader;
    const ExtractionServices services = window.Services(browser, downloader, http, false);
    ExtractionLists lists;
    Collectors x{services, lists};
    std::mt19937 rng(20260101u);
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        for (int i = 0; i < 4; ++i) text += RandomText(rng);
        const std::string& base = kBases[round % kBases.size()];
        std::vector<std::string> expected;
        int count = 0;
        for (std::string_view marker : kImageMarkers) {
            for (const std::string& address : literal::ScanReferences(marker, text, base, count)) {
                bool listed = false;
                for (const std::string& e : expected) listed = listed || LowerAscii(Trim(e)) == LowerAscii(Trim(address));
                if (!listed) expected.push_back(address);
            }
        }
        lists.ClearImages();
        x.CollectSourceImages(text, base, false);
        ASSERT_EQ(lists.ImageURLs.Items(), expected) << "round " << round << " text \"" << text << "\"";
        ASSERT_EQ(lists.ImageAlts, expected);
    }
}

}  // namespace
}  // namespace nuv
