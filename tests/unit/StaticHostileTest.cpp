// Pages made to be slow or ruinous to read without a browser: url( after url( in a lazy
// attribute, thousands of <img> in one <picture>, thousands of comments after the body's end,
// elements nested deeper than calls can go. Each is read in about the time its size takes,
// with the results of the plain readings (kept here, for url()s, to compare with).
#include "web/PictureText.h"
#include "web/StaticDocument.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nuv {
namespace {

std::string Repeat(std::string_view s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    while (n-- > 0) out += s;
    return out;
}

// The plain reading of url()s, which goes on from every url( to the end of its reference.
size_t PlainSpaceAt(std::string_view s, size_t i) {
    const auto at = [&](size_t k) { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0u; };
    const unsigned c = at(0), second = at(1), third = at(2);
    if (c == ' ' || (c >= 9 && c <= 13)) return 1;
    if (c == 0xC2 && second == 0xA0) return 2;
    if (c == 0xE1 && second == 0x9A && third == 0x80) return 3;
    if (c == 0xE2 && second == 0x80 && ((third >= 0x80 && third <= 0x8A) || third == 0xA8 || third == 0xA9 ||
                                        third == 0xAF))
        return 3;
    if ((c == 0xE2 && second == 0x81 && third == 0x9F) || (c == 0xE3 && second == 0x80 && third == 0x80) ||
        (c == 0xEF && second == 0xBB && third == 0xBF))
        return 3;
    return 0;
}
bool PlainLineTerminator(std::string_view s, size_t i) {
    return s[i] == '\n' || s[i] == '\r' || s.substr(i, 3) == "\xE2\x80\xA8" || s.substr(i, 3) == "\xE2\x80\xA9";
}
std::vector<std::string> PlainCssUrls(std::string_view v) {
    std::vector<std::string> out;
    const auto spaces = [&v](size_t j) {
        while (j < v.size() && PlainSpaceAt(v, j)) j += PlainSpaceAt(v, j);
        return j;
    };
    for (size_t at = v.find("url("); at != std::string_view::npos; at = v.find("url(", at + 1)) {
        const size_t open = spaces(at + 4);
        size_t from = 0, to = 0, end = 0;
        bool captured = false;
        if (open < v.size() && (v[open] == '"' || v[open] == '\'')) {
            size_t k = open + 1;
            const auto escaped = [&v](size_t j) { return j < v.size() && !PlainLineTerminator(v, j); };
            while (k < v.size() && v[k] != v[open] && (v[k] != '\\' || escaped(k + 1))) k += v[k] == '\\' ? 2 : 1;
            if (k < v.size() && v[k] == v[open] && (end = spaces(k + 1)) < v.size() && v[end] == ')')
                captured = true, from = open + 1, to = k;
        }
        if (!captured) {
            size_t k = open;
            while (k < v.size() && v[k] != ')' && !PlainSpaceAt(v, k)) ++k;
            if ((end = spaces(k)) < v.size() && v[end] == ')') captured = true, from = open, to = k;
        }
        if (!captured) continue;
        std::string reference;
        for (size_t k = from; k < to; ++k) {
            if (v[k] == '\\' && k + 1 < to && !PlainLineTerminator(v, k + 1)) ++k;
            reference += v[k];
        }
        out.push_back(std::move(reference));
        at = end;
    }
    return out;
}

TEST(StaticHostile, CssUrlsAsThePlainReading) {
    const std::vector<std::string> pieces = {
        "url(", "url( ", "url(\"", "url('", "url(url(", "(", ")", " )", " ", "\t", "\"", "'", "\\", "\\)", "\\\n",
        "\\\"", "a", "b.png", "\xC2\xA0", "\xE2\x80\xA8", "\xE2\x80\x80", "\xE2\x80", "url", "\n"};
    std::mt19937 random(7);
    const auto piece = [&] { return pieces[random() % pieces.size()]; };
    for (int n = 0; n < 6000; ++n) {
        std::string v;
        // Half of them one piece over and over, as the slow pages have it, then anything.
        if (n % 2 == 0) v = Repeat(piece(), random() % 12);
        for (size_t k = random() % 16; k > 0; --k) v += piece();
        ASSERT_EQ(detail::LooseCssUrls(v), PlainCssUrls(v)) << v;
    }
}

TEST(StaticHostile, CssUrlsOfAHugeAttribute) {
    const size_t n = 200000;
    EXPECT_TRUE(detail::LooseCssUrls(Repeat("url(", n)).empty());
    EXPECT_TRUE(detail::LooseCssUrls(Repeat("url(", n) + Repeat(" ", n)).empty());
    EXPECT_EQ(detail::LooseCssUrls(Repeat("url(", n) + ")"), std::vector<std::string>{Repeat("url(", n - 1)});
}

// The pictures of a page, "x.png" standing for http://a.test/d/x.png; "!" last when the
// page needs a browser.
std::vector<std::string> Pictures(const std::string& html) {
    const DocumentPictures got = StaticDocument(html).ShownPictures(
        "http://a.test/d/p.html", [](const std::string&) { return std::optional<std::string>(); }, 1000000);
    std::vector<std::string> out;
    for (const ShownPicture& p : got.pictures)
        out.push_back(p.address.substr(p.address.rfind('/') + 1) + (p.declaredType.empty() ? "" : "|") +
                      p.declaredType);
    if (!got.needsBrowser.empty()) out.push_back("!");
    return out;
}

// The <source>s before an <img> of a <picture> that may apply decide what it shows first.
TEST(StaticHostile, PictureSourcesBeforeEachImg) {
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {R"h(<picture><source srcset=a.png><img src=b.png srcset="c.png 1x">
            <img src=d.png srcset="e.png 1x"></picture>)h",
         {"a.png", "b.png", "c.png", "d.png", "e.png"}},
        {R"h(<picture><img src=b.png srcset="c.png 1x"><source srcset=a.png>
            <img src=d.png srcset="e.png 1x"></picture>)h",
         {"c.png", "b.png", "a.png", "d.png", "e.png"}},
        {R"h(<picture><source media="(min-width: 800px)" srcset=m.png><source srcset=a.png>
            <img src=b.png srcset="c.png 1x"></picture>)h",
         {"m.png", "a.png", "b.png", "c.png"}},
        {R"h(<picture><source srcset=a.png><source media="(min-width: 800px)" srcset=m.png>
            <img src=b.png srcset="c.png 1x"></picture>)h",
         {"a.png", "m.png", "b.png", "c.png"}},
        {R"h(<picture><source media="(min-width: 800px)" srcset=m.png><img src=d.png>
            <img src=b.png srcset="c.png 1x"></picture>)h",
         {"m.png", "d.png", "b.png", "c.png", "!"}},
        {R"h(<picture><source srcset=p.png media=print><source srcset=w.jxl type=image/jxl><source srcset="q.png 1q">
            <source><img src=b.png srcset="c.png 1x"></picture>)h",
         {"p.png", "w.jxl|image/jxl", "q.png", "c.png", "b.png"}},
        {R"h(<picture><source srcset=a.png></picture><picture><img src=b.png srcset="c.png 1x"></picture>
            <picture><div><source srcset=d.png></div><img src=e.png srcset="f.png 1x"></picture>)h",
         {"a.png", "c.png", "b.png", "f.png", "e.png"}},
        // Of widths the layout picks one; listed already or no address, it changes nothing.
        {R"h(<img src=a.png srcset="a.png 10w, b.png 20w">)h", {"a.png", "b.png", "!"}},
        {R"h(<img srcset="http://[ 10w, c.png 20w">)h", {"c.png"}},
        {R"h(<img src=b.png srcset="c.png 1x, b.png 2x"><img src=b.png srcset="c.png 10w, d.png 20w">)h",
         {"c.png", "b.png", "d.png"}},
    };
    for (const auto& [html, expected] : rows) EXPECT_EQ(Pictures(html), expected) << html;
}

// Every <img> of a <picture> after a <source>; two <img>s of a srcset of widths each.
TEST(StaticHostile, ManyImgsAndCandidates) {
    const size_t n = 20000;
    std::string html = R"h(<picture><source media="(min-width: 800px)" srcset=m.png>)h";
    for (size_t i = 0; i < n; ++i) html += "<img src=" + std::to_string(i) + ".png>";
    std::vector<std::string> pictures = Pictures(html + "</picture>");
    ASSERT_EQ(pictures.size(), n + 1);
    EXPECT_EQ(pictures.back(), std::to_string(n - 1) + ".png");

    std::string widths = "<img src=a.png srcset='";
    for (size_t i = 0; i < n; ++i) widths += std::to_string(i) + ".png " + std::to_string(i + 1) + "w,";
    widths += "'>";
    pictures = Pictures(widths + widths);
    ASSERT_EQ(pictures.size(), n + 2);
    EXPECT_EQ(pictures.back(), "!");
}

// The comments after the body's end go where the page goes on after them.
TEST(StaticHostile, CommentsAfterTheBody) {
    const std::pair<std::string, std::string> rows[] = {
        {"<body><p>a</p></body><!--1--><div>b</div>", "<body><p>a</p><!--1--><div>b</div></body>"},
        {"<body><div><span>x</body><!--2-->", "<body><div><span>x<!--2--></span></div></body>"},
        {"<body><div>x</div></body><!--3-->", "<body><div>x</div><!--3--></body>"},
        {"<body><div><br></body><!--4-->", "<body><div><br><!--4--></div></body>"},
        {"<body><p>x</body></html><!--5-->", "<body><p>x<!--5--></p></body>"},
        {"<body><div>a</body><!--6--><!--7--><p>b</p><!--8-->",
         "<body><div>a<!--6--><!--7--><p>b</p><!--8--></div></body>"},
        {"</body><!--9--><a>", "<body><!--9--><a></a></body>"},
        {"<ul><li>a<li>b</body><!--10--> <!--11--></html><!--12-->",
         "<body><ul><li>a</li><li>b<!--10--> <!--11--><!--12--></li></ul></body>"},
        {"<p>x</p><!--0--></body><!--13-->", "<body><p>x</p><!--0--><!--13--></body>"},
    };
    for (const auto& [html, body] : rows)
        EXPECT_EQ(StaticDocument(html).TopElementOuterHtml(), "<html><head></head>" + body + "</html>") << html;

    // Each </body> makes the comment after it a late one again.
    const size_t n = 40000;
    const std::string children = Repeat("<i></i>", n), last = Repeat("<!--e-->", n);
    EXPECT_EQ(StaticDocument("<body>" + children + Repeat("</body><!--c--><b></b>", n) + "</body>" + last)
                  .TopElementOuterHtml(),
              "<html><head></head><body>" + children + Repeat("<!--c--><b></b>", n) + last + "</body></html>");
}

// Its tree outgrows a parse's arena too, and is then freed node by node.
TEST(StaticHostile, ElementsNestedDeeperThanCallsGo) {
    const size_t n = 500000;
    const StaticDocument document(Repeat("<span>", n) + "<a href=x>");
    EXPECT_EQ(document.LinkHrefs(), std::vector<std::string>{"x"});
    EXPECT_EQ(document.TopElementOuterHtml(), "<html><head></head><body>" + Repeat("<span>", n) +
                                                  "<a href=\"x\"></a>" + Repeat("</span>", n) + "</body></html>");
}

}  // namespace
}  // namespace nuv
