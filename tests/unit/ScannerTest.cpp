#include "extract/Scanner.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FakeBrowser.h"

namespace nuv {
namespace {

using Addresses = std::vector<std::string>;
using test::FakeBrowser;

constexpr const char* kBase = "http://site.example/dir/page.htm";

std::string Dir(const std::string& rest) { return "http://site.example/dir/" + rest; }

// A reference of exactly `length` bytes ending in ".gif", with no delimiter in it.
std::string ReferenceOfLength(size_t length) { return std::string(length - 4, 'a') + ".gif"; }

TEST(ScanReferences, CutsAtTheLastDelimiterAndKeepsCapitals) {
    EXPECT_EQ(ScanReferences(".gif", "<img src=\"images/A.GIF\" alt=\"\">", kBase),
              Addresses{Dir("images/A.GIF")});
    EXPECT_EQ(ScanReferences(".GIF", "<img src='images/A.gif'>", kBase), Addresses{Dir("images/A.gif")});
    EXPECT_EQ(ScanReferences(".gif", "background: url(img/bg.gif)", kBase), Addresses{Dir("img/bg.gif")});
    EXPECT_EQ(ScanReferences(".gif", "<img src=pic.gif>", kBase), Addresses{Dir("pic.gif")});
    EXPECT_EQ(ScanReferences(".gif", "<img src=\"my pic.gif\">", kBase), Addresses{Dir("pic.gif")});
    EXPECT_EQ(ScanReferences(".gif", "\xE5\x9B\xBE\xE7\x89\x87/\xE5\x9B\xBE.gif", kBase),
              Addresses{Dir("\xE5\x9B\xBE\xE7\x89\x87/\xE5\x9B\xBE.gif")});
    // Absolute and site-rooted references are resolved like any other.
    EXPECT_EQ(ScanReferences(".png", "a='HTTP://cdn.example//x.PNG' b=\"/i/y.png\"", kBase),
              (Addresses{"http://cdn.example/x.PNG", "http://site.example/i/y.png"}));
}

TEST(ScanReferences, EveryOccurrenceCountsEvenInsideWordsAndRepeats) {
    EXPECT_EQ(ScanReferences(".gif", "see x.giftshop", kBase), Addresses{Dir("x.gif")});
    EXPECT_EQ(ScanReferences(".gif", "\"a.gif\" \"a.gif\"", kBase), (Addresses{Dir("a.gif"), Dir("a.gif")}));
    // Without a delimiter between two occurrences the second starts one byte into the first.
    EXPECT_EQ(ScanReferences(".gif", "a.gif,b.gif", kBase), (Addresses{Dir("a.gif"), Dir("gif,b.gif")}));
    // Overlapping occurrences are each found.
    EXPECT_EQ(ScanReferences("aa", "aaa", kBase), (Addresses{Dir("aa"), Dir("aa")}));
    EXPECT_TRUE(ScanReferences(".gif", "no images here", kBase).empty());
    EXPECT_TRUE(ScanReferences("", "a.gif", kBase).empty());
    EXPECT_TRUE(ScanReferences(".gif", "", kBase).empty());
}

TEST(ScanReferences, DropsReferencesOfFiftyBytesOrMoreAfterTrimming) {
    const std::string r49 = ReferenceOfLength(49);
    const std::string r50 = ReferenceOfLength(50);
    EXPECT_EQ(ScanReferences(".gif", "src=" + r49, kBase), Addresses{Dir(r49)});
    EXPECT_TRUE(ScanReferences(".gif", "src=" + r50, kBase).empty());
    // Blanks that are not delimiters are trimmed before the length is measured.
    EXPECT_EQ(ScanReferences(".gif", "\t\n\t" + r49, kBase), Addresses{Dir(r49)});
    // A dropped reference still counts as an occurrence and still moves the cut.
    EXPECT_EQ(ScanReferences(".gif", r50 + " b.gif", kBase), Addresses{Dir("b.gif")});
}

TEST(ScanReferences, HandlesAtMostTenThousandOccurrences) {
    std::string text;
    for (int i = 0; i < 10001; ++i) text += " x" + std::to_string(i) + ".gif";
    const Addresses found = ScanReferences(".gif", text, kBase);
    ASSERT_EQ(found.size(), 10000u);
    EXPECT_EQ(found.back(), Dir("x9999.gif"));
    EXPECT_EQ(ScanCount, kScanLimit + 1);

    text.resize(text.rfind(' '));  // exactly 10 000 occurrences: all handled
    EXPECT_EQ(ScanReferences(".gif", text, kBase).size(), 10000u);
    EXPECT_EQ(ScanCount, kScanLimit);

    EXPECT_EQ(ScanReferences(".gif", "a.gif b.gif", kBase).size(), 2u);
    EXPECT_EQ(ScanCount, 2);
}

TEST(ScanPageReferences, ReadsTheSourceOnceAndTheAddressForEveryOccurrence) {
    FakeBrowser browser;
    browser.source = "<link href=\"a.css\"><link href='/b.CSS'>";
    int call = 0;
    browser.address = [&call] { return ++call == 1 ? std::string(kBase) : std::string("http://other.example/x/"); };
    EXPECT_EQ(ScanPageReferences(".css", browser), (Addresses{Dir("a.css"), "http://other.example/b.CSS"}));
    EXPECT_EQ(browser.locationReads, 2);
    EXPECT_EQ(ScanCount, 2);
}

TEST(ScanPageReferences, KeepsLongReferencesAndStopsAtTheBound) {
    FakeBrowser browser;
    browser.location = kBase;
    const std::string r49 = ReferenceOfLength(49);
    const std::string r50 = ReferenceOfLength(50);
    browser.source = "\"" + r49 + "\" \"" + r50 + "\"";
    EXPECT_EQ(ScanPageReferences(".gif", browser), (Addresses{Dir(r49), Dir(r50)}));

    browser.source = "";
    for (int i = 0; i < 10001; ++i) *browser.source += " a.gif";
    browser.locationReads = 0;
    EXPECT_EQ(ScanPageReferences(".gif", browser).size(), 10000u);
    EXPECT_EQ(browser.locationReads, 10000);
    EXPECT_EQ(ScanCount, kScanLimit + 1);
}

TEST(ScanPageReferences, AnUnreadableDocumentGivesNothing) {
    FakeBrowser browser;  // without a document: reading its source fails
    browser.hasDocument = false;
    EXPECT_TRUE(ScanPageReferences(".css", browser).empty());
    EXPECT_EQ(browser.locationReads, 0);
}

TEST(ScanSourceFlash, LowerCasesFourDelimitersNoTrimAndMovesPastTheMarker) {
    EXPECT_EQ(ScanSourceFlash("background: url(Movie.swf)", kBase), Addresses{Dir("url(movie.swf")});
    EXPECT_EQ(ScanReferences(".swf", "background: url(Movie.swf)", kBase), Addresses{Dir("Movie.swf")});
    for (const char* text : {"x\"B.SWF", "x B.SWF", "x'B.SWF", "x=B.SWF"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ScanSourceFlash(text, kBase), Addresses{Dir("b.swf")});
    }
    EXPECT_EQ(ScanSourceFlash("\"m\t.swf\"", kBase), Addresses{Dir("m\t.swf")});
    // No length filter.
    const std::string longRef(80, 'm');
    EXPECT_EQ(ScanSourceFlash("=" + longRef + ".swf", kBase), Addresses{Dir(longRef + ".swf")});
    // The next search starts after the whole ".swf"; ScanReferences moves one byte only.
    EXPECT_EQ(ScanSourceFlash("a.swf.swf", kBase), (Addresses{Dir("a.swf"), Dir(".swf")}));
    EXPECT_EQ(ScanReferences(".swf", "a.swf.swf", kBase), (Addresses{Dir("a.swf"), Dir("swf.swf")}));
    EXPECT_TRUE(ScanSourceFlash("a.sw f", kBase).empty());
}

TEST(ScanSourceFlash, HandlesAtMostTenThousandOccurrences) {
    std::string text;
    for (int i = 0; i < 10001; ++i) text += " m" + std::to_string(i) + ".swf";
    const Addresses found = ScanSourceFlash(text, kBase);
    ASSERT_EQ(found.size(), 10000u);
    EXPECT_EQ(found.back(), Dir("m9999.swf"));
    EXPECT_EQ(ScanCount, kScanLimit);
}

TEST(ScanSheetImages, FirstOccurrenceOfEachExtensionPerLineInLowerCase) {
    const std::vector<std::string> sheet = {
        "body { background: url(IMG/Bg.GIF) }",
        ".a { background: url(a.gif) } .b { background: url(b.PNG) }",
        ".c { background: url(c.gif) } .d { background: url(d.gif) }",
        ".e { background: url(\"e.jpeg\") }",
        ".f { background: url(" + std::string(60, 'f') + ".jpg) }",
        ".g { list-style: url('g.ico') url(h.jpg) }",
        "no pictures",
    };
    EXPECT_EQ(ScanSheetImages("http://site.example/css/Main.css", sheet),
              (Addresses{"http://site.example/css/img/bg.gif", "http://site.example/css/a.gif",
                         "http://site.example/css/b.png", "http://site.example/css/c.gif",
                         "http://site.example/css/e.jpeg", "http://site.example/css/" + std::string(60, 'f') + ".jpg",
                         "http://site.example/css/h.jpg", "http://site.example/css/g.ico"}));
    EXPECT_TRUE(ScanSheetImages(kBase, {}).empty());

    // One sheet gives at most kScanLimit references, the first ones.
    std::vector<std::string> huge(kScanLimit / 2 + 1, "url(a.gif) url(b.png)");
    huge.back() = "url(last.gif)";
    const Addresses found = ScanSheetImages(kBase, huge);
    ASSERT_EQ(found.size(), static_cast<size_t>(kScanLimit));
    EXPECT_EQ(found.back(), Dir("b.png"));
}

TEST(ScanSheetFlash, FirstSwfOfEveryLine) {
    EXPECT_EQ(ScanSheetFlash(kBase, {"a: url(A.SWF) url(b.swf)", "", "c=../C.swf"}),
              (Addresses{Dir("a.swf"), "http://site.example/c.swf"}));
}

}  // namespace
}  // namespace nuv
