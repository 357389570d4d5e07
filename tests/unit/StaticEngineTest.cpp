#include "web/HtmlDecoding.h"
#include "web/StaticBrowser.h"
#include "web/StaticDocument.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <random>

namespace nuv {
namespace {

TEST(StaticEngine, DecodesAsTheEngineDecodes) {
    const struct {
        std::string bytes, contentType, encoding, text;
        bool guessed;
    } rows[] = {
        {"\xEF\xBB\xBFh\xC3\xA9", "text/html; charset=iso-8859-1", "UTF-8", "h\xC3\xA9", false},  // the mark wins
        {"caf\xE9", "text/html; charset=\"Windows-1252\"", "windows-1252", "caf\xC3\xA9", false},
        {"\x80\x81", "text/html; charset=latin1", "windows-1252", "\xE2\x82\xAC\xC2\x81", false},
        {"<meta charset=gb2312>\xD6\xD0", "text/html", "GBK", "<meta charset=gb2312>\xE4\xB8\xAD", false},
        {"<!-- <meta charset=gbk> --><meta http-equiv=Content-Type content='text/html; charset=utf-8'>\xE4\xB8\xAD",
         "", "UTF-8", "", false},
        // content= counts only beside http-equiv="content-type"; UTF-16 so declared reads as UTF-8.
        {"<meta content='charset=gbk'>\xE4", "", "windows-1252", "", true},
        {"<meta charset='utf-16'>x", "", "UTF-8", "<meta charset='utf-16'>x", false},
        {"x\xE4\xB8\xAD", "text/html", "windows-1252", "x\xC3\xA4\xC2\xB8\xC2\xAD", true},  // no declaration
        {"a\xFF\xE4\xB8", "text/html; charset=utf-8", "UTF-8", "a\xEF\xBF\xBD\xEF\xBF\xBD", false},
    };
    for (const auto& row : rows) {
        const DecodedPage page = DecodeHtml(row.bytes, row.contentType);
        EXPECT_EQ(page.encoding, row.encoding) << row.bytes;
        if (!row.text.empty()) {
            EXPECT_EQ(page.text, row.text) << row.bytes;
        }
        EXPECT_EQ(page.guessed, row.guessed) << row.bytes;
    }
    EXPECT_EQ(EncodingOfLabel(" SJIS "), "Shift_JIS");
    EXPECT_EQ(EncodingOfLabel("x-unknown"), "");
    EXPECT_TRUE(HoldsParserReplacedCharacters("a\xC2\x81"));
    EXPECT_TRUE(HoldsParserReplacedCharacters("a\x01"));
    EXPECT_FALSE(HoldsParserReplacedCharacters("a\t\r\n\x0C\xE4\xB8\xAD"));
}

// The decoder and the check byte by byte, as the Encoding Standard and the HTML parser
// put them; the fast ones must agree on any bytes.
std::string LiteralUtf8(std::string_view in) {
    std::string out;
    for (size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {
            out += in[i++];
            continue;
        }
        int need = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
        unsigned char lower = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80, upper = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        size_t j = i + 1;
        int seen = 0;
        for (; seen < need && j < in.size(); ++j, ++seen, lower = 0x80, upper = 0xBF) {
            const auto c = static_cast<unsigned char>(in[j]);
            if (c < lower || c > upper) break;
        }
        out += need > 0 && seen == need ? std::string(in.substr(i, j - i)) : std::string("\xEF\xBF\xBD");
        i = need > 0 && seen == need ? j : need == 0 ? i + 1 : j;
    }
    return out;
}

bool LiteralReplaced(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        std::uint32_t c = length == 4 ? b & 0x07 : length == 3 ? b & 0x0F : length == 2 ? b & 0x1F : b;
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
        i += length;
        if ((c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || (c >= 0x7F && c <= 0x9F) ||
            (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
            return true;
    }
    return false;
}

TEST(StaticEngine, FastDecodingAgreesWithTheBytewiseRules) {
    const std::string_view pieces[] = {"abcdefgh", "<p class=x>", "\xE4\xB8\xAD", "\xC3\xA9", "\xF0\x9F\x98\x80",
                                       "\x80", "\xFF", "\xE0\x80", "\xED\xA0\x80", "\xF4\x90", "\x01", "\x7F",
                                       "\t\n", "\xEF\xB7\x90", "\xEF\xBF\xBE", " "};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        for (int n = static_cast<int>(random() % 24); n-- > 0;) bytes += pieces[random() % std::size(pieces)];
        const std::string text = DecodeHtml(bytes, "text/html; charset=utf-8").text;
        ASSERT_EQ(text, LiteralUtf8(bytes)) << round;
        ASSERT_EQ(HoldsParserReplacedCharacters(text), LiteralReplaced(text)) << round;
        ASSERT_EQ(HoldsParserReplacedCharacters(bytes), LiteralReplaced(bytes)) << round;
    }
}

std::string Repeated(std::string_view text, unsigned times) {
    std::string out;
    for (unsigned i = 0; i < times; ++i) out += text;
    return out;
}

// What makes a page the browser's to read: anything that runs, moves or holds a page of
// its own that this reading cannot give.
TEST(StaticEngine, PagesThatNeedTheBrowser) {
    const struct {
        std::string markup, why;  // "" when it needs none
    } rows[] = {
        {"<p>plain<img src=a.png><a href='x.zip'>x</a>", ""},
        {"<script>alert(1)</script>", "it runs scripts"},
        {"<script type=module src=m.js></script>", "it runs scripts"},
        {"<script type='application/ld+json'>{}</script><script type=text/template>x</script>", ""},
        {"<script language=vbscript>x</script>", ""},
        {"<body onload='go()'>", "it runs scripts"},
        {"<a href=' JavaScript:go()'>x</a>", "it runs scripts"},
        {"<svg><a xlink:href='javascript:x'>y</a></svg>", "it runs scripts"},
        {"<meta http-equiv=Refresh content='0; url=/next'>", "it refreshes to another page"},
        {"<noscript><img src=n.png></noscript>", "it has a <noscript>"},
        {"<object data=page.html></object>", "it embeds an object that may be a page"},
        {"<object data=movie.swf></object><embed type=application/x-shockwave-flash src=m>", ""},
        {"<iframe src=f.html loading=lazy></iframe>", "it has lazily loaded frames"},
        {"<iframe srcdoc='<p>x'></iframe>", "it has a frame of its own markup (srcdoc)"},
        {"<p>\x01</p>", "it holds control characters"},
        // <html> and <body> are the first two levels.
        {Repeated("<div>", kDeepestStaticNesting - 2) + "x", ""},
        {Repeated("<div>", kDeepestStaticNesting - 1) + "x",
         "it nests elements more deeply than a browser's parser keeps them"},
        // Found by the tags alone, before the parser would take long over them.
        {Repeated("<div>", 400000), "it nests elements more deeply than a browser's parser keeps them"},
        // Tags that open no level, or close themselves, or are text or a comment.
        {Repeated("<p>x", 2000) + Repeated("<li>", 2000) + "<svg>" + Repeated("<path d='M0 0'/>", 2000) + "</svg>" +
             "<textarea>" + Repeated("<div>", 2000) + "</textarea><!--" + Repeated("<div>", 2000) + "-->" +
             Repeated("<span>", 400) + Repeated("</span>", 400) + Repeated("<span>", 400),
         ""},
        {"<script>" + Repeated("<div>", 2000) + "</script>", "it runs scripts"},
    };
    for (const auto& row : rows) {
        StaticBrowser browser([&row](const std::string& address, const std::string&) {
            return FetchedPage{address, "text/html; charset=utf-8", row.markup};
        });
        browser.Navigate("http://a.test/p.html");
        EXPECT_EQ(browser.NeedsBrowser(), row.why) << row.markup;
        EXPECT_EQ(browser.LoadFailure(), "");
    }
    // Read whole, such a page is not read at all.
    StaticBrowser deep(
        [](const std::string& address, const std::string&) {
            return FetchedPage{address, "text/html", Repeated("<b><i>", 400)};
        },
        true);
    deep.Navigate("http://a.test/p.html");
    EXPECT_EQ(deep.LoadFailure(),
              "it nests elements more deeply than a browser's parser keeps them; it is not read without one");
    StaticBrowser json([](const std::string& address, const std::string&) {
        return FetchedPage{address, "application/json", "{}"};
    });
    json.Navigate("http://a.test/data");
    EXPECT_EQ(json.NeedsBrowser(), "the answer is application/json, not HTML");
    StaticBrowser gone([](const std::string&, const std::string&) -> FetchedPage { throw BrowserError("refused"); });
    gone.Navigate("http://a.test/");
    EXPECT_EQ(gone.LoadFailure(), "refused");
    EXPECT_FALSE(gone.HasDocument());
}

// Frames are read as the engine's tree gives them: nested, about:blank for none, the
// address that answered; links resolve against the <base>.
TEST(StaticEngine, FramesAndLinks) {
    std::vector<std::string> asked;
    StaticBrowser browser([&asked](const std::string& address, const std::string& parent) {
        asked.push_back(address + " <- " + parent);
        if (address == "http://a.test/top.html")
            return FetchedPage{"http://a.test/moved/top.html", "text/html",
                               "<base href='/b/'><a href=x.zip>x</a><iframe src=f.html></iframe><iframe></iframe>"
                               "<area href='../y.rar'>"};
        if (address == "http://a.test/b/f.html")
            return FetchedPage{address, "text/html", "<frameset><frame src=inner.html></frameset>"};
        return FetchedPage{address, "text/html", "<p>inner"};
    });
    browser.Navigate("http://a.test/top.html");
    EXPECT_EQ(browser.LocationURL(), "http://a.test/moved/top.html");
    const FrameDocument tree = browser.DocumentTree();
    ASSERT_EQ(tree.frames.size(), 2u);
    EXPECT_EQ(tree.frames[0].url, "http://a.test/b/f.html");
    ASSERT_EQ(tree.frames[0].frames.size(), 1u);
    EXPECT_EQ(tree.frames[0].frames[0].url, "http://a.test/b/inner.html");
    EXPECT_EQ(tree.frames[1].url, "about:blank");
    EXPECT_EQ(asked, (std::vector<std::string>{"http://a.test/top.html <- ", "http://a.test/b/f.html <- http://a.test/moved/top.html",
                                               "http://a.test/b/inner.html <- http://a.test/b/f.html"}));
    const DocumentLinkList links = browser.DocumentLinks(1);
    EXPECT_EQ(links.links, std::vector<std::string>{"http://a.test/b/x.zip"});
    EXPECT_EQ(links.cut, 1u);
    EXPECT_EQ(browser.NeedsBrowser(), "");
    EXPECT_EQ(ResolveHref("http://a.test/d/p.html", " HTTP://Ex.TEST:80/a b\\c?q=<'>#f g"),
              "http://ex.test/a%20b/c?q=%3C%27%3E#f%20g");
    // A part of the page keeps the page's address.
    EXPECT_EQ(ResolveHref("http://a.test/d/p.html?x=1#old", " #m n"), "http://a.test/d/p.html?x=1#m%20n");
}

// The pictures a page shows, read with its style sheets: a sheet that answers with a failure
// is none, as in a browser; one that cannot be had leaves the pictures to the browser.
TEST(StaticEngine, PicturesOfAPageWhoseStyleSheetFails) {
    for (const bool answered : {true, false}) {
        StaticBrowser browser(
            [answered](const std::string& address, const std::string&) -> FetchedPage {
                if (address.ends_with(".css")) {
                    if (answered) throw PageStatusError(404);
                    throw std::runtime_error("connection failed");
                }
                return {address, "text/html", "<link rel=stylesheet href=s.css><img srcset=\"a.png 1x, b.png 2x\">"};
            },
            false, true);
        browser.Navigate("http://a.test/p.html");
        EXPECT_EQ(browser.NeedsBrowser().empty(), answered);
        const ShownPictureList shown = browser.ShownPictures(1);
        ASSERT_EQ(shown.pictures.size(), 1u);
        EXPECT_EQ(shown.pictures[0].address, "http://a.test/a.png");
        EXPECT_EQ(shown.picturesCut, 1u);
    }
}

// Pages of a run that share a style sheet have it fetched once, a failed answer included.
TEST(StaticEngine, PagesShareTheStyleSheetsTheyRead) {
    SheetCache sheets;
    std::map<std::string, int> asked;
    const PageFetch fetch = [&asked](const std::string& address, const std::string&) -> FetchedPage {
        ++asked[address];
        if (address.ends_with("gone.css")) throw PageStatusError(404);
        if (address.ends_with(".css")) return {address, "text/css", "p { background: url(bg.png) }"};
        return {address, "text/html", "<link rel=stylesheet href=/s.css><link rel=stylesheet href=/gone.css><p>"};
    };
    for (const char* page : {"http://a.test/1.html", "http://a.test/2.html"}) {
        StaticBrowser browser(fetch, false, true, &sheets);
        browser.Navigate(page);
        const ShownPictureList shown = browser.ShownPictures(10);
        ASSERT_EQ(shown.pictures.size(), 1u);
        EXPECT_EQ(shown.pictures[0].address, "http://a.test/bg.png");
    }
    EXPECT_EQ(asked["http://a.test/s.css"], 1);
    EXPECT_EQ(asked["http://a.test/gone.css"], 1);
}

// The serialisation's escaping, which copies the runs between escapes whole, gives what
// the walk over every character gives.
TEST(StaticEngine, EscapingGivesWhatTheCharacterWalkGives) {
    const auto walk = [](std::string_view text, bool attribute) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '&') out += "&amp;";
            else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') out += "&nbsp;", ++i;
            else if (attribute && c == '"') out += "&quot;";
            else if (!attribute && c == '<') out += "&lt;";
            else if (!attribute && c == '>') out += "&gt;";
            else out += c;
        }
        return out;
    };
    const std::string alphabet = "a&<>\"\xC2\xA0\xC3";
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 12, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        for (const bool attribute : {false, true}) ASSERT_EQ(EscapeHtmlText(text, attribute), walk(text, attribute)) << text;
    }
}

}  // namespace
}  // namespace nuv
