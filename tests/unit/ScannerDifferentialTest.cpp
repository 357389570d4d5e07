// The indexed scanner against the literal copying scanner kept in support/, on seeded
// random texts built from the bytes that matter to it.
#include "extract/Scanner.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "support/LiteralScanner.h"
#include "support/ScannerFakes.h"

namespace nuv {
namespace {

const std::vector<std::string> kPieces = {
    ".gif", ".GIF", ".Gif", ".gi", "gif", ".swf", ".SWF", ".sw", ".jpg", ".jpeg", ".JPEG", ".png",
    ".ico", ".css", ".giftshop", "\"", " ", "'", "=", "(", ")", ",", "/", "//", "\\", ".", "..",
    "../", "\t", "\r\n", "\n", "\x01", "a", "Z", "img", "url(", "src=", "http://", "HTTP://",
    "https://", "?x=1/2", "\xE5\x9B\xBE", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xE5\x9B"};

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

        testing_support::SourceOnlyBrowser browser;
        browser.source = text;
        browser.address = [&base] { return base; };
        const auto expectedPage = literal::ScanWithCopies(
            marker, text, false, [&base] { return base; }, literalCount);
        EXPECT_EQ(ScanPageReferences(marker, browser), expectedPage);
        EXPECT_EQ(ScanCount, literalCount);

        EXPECT_EQ(ScanSourceFlash(text, base), literal::ScanSourceFlash(text, base, literalCount));
        EXPECT_EQ(ScanCount, literalCount);

        const std::vector<std::string> lines = SplitLines(text);
        EXPECT_EQ(ScanSheetImages(base, lines), literal::ScanSheetImages(base, lines));
        EXPECT_EQ(ScanSheetFlash(base, lines), literal::ScanSheetFlash(base, lines));
        if (HasFailure()) break;  // one reported text is enough to debug
    }
    EXPECT_GT(withResults, 1000);  // the generator really produces references
}

}  // namespace
}  // namespace nuv
