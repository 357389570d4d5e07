#include "web/StaticDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace nuv {
namespace {

const std::string kPage = "http://a.test/d/p.html";

// A picture as a row writes it: "x.png" stands for http://a.test/d/x.png, "|type" adds the
// type the page declares.
std::string Expected(const std::string& text) {
    const size_t bar = std::min(text.find('|'), text.size());
    const std::string address = text.substr(0, bar), type = text.substr(std::min(bar + 1, text.size()));
    return (address.rfind("http", 0) == 0 ? "" : "http://a.test/d/") + address + "|" + type;
}

DocumentPictures Read(const std::string& html, const std::map<std::string, std::string>& sheets, size_t limit = 100) {
    return StaticDocument(html).ShownPictures(
        kPage,
        [&sheets](const std::string& address) -> std::optional<std::string> {
            const auto it = sheets.find(address);
            if (it == sheets.end()) return std::nullopt;
            return it->second;
        },
        limit);
}

struct Row {
    std::string what, html;
    std::vector<std::string> pictures;
    bool needsBrowser = false;
    std::map<std::string, std::string> sheets = {};
};

void Check(const Row& row) {
    const DocumentPictures got = Read(row.html, row.sheets);
    std::vector<std::string> addresses, expected;
    for (const ShownPicture& p : got.pictures) addresses.push_back(p.address + "|" + p.declaredType);
    for (const std::string& e : row.pictures) expected.push_back(Expected(e));
    EXPECT_EQ(addresses, expected) << row.what;
    EXPECT_EQ(!got.needsBrowser.empty(), row.needsBrowser) << row.what << ": " << got.needsBrowser;
}

// What elements name themselves, as the browser's reader takes it.
TEST(StaticPictures, NamedByElements) {
    const Row rows[] = {
        {"the named elements",
         R"h(<link rel="Shortcut Icon" href=e.ico type=image/x-icon><link rel=stylesheet href=s.css>
            <link rel=preload as=IMAGE href=f.png imagesrcset="g.png 1x, h.png 2x">
            <meta property=og:image content=i.png><meta name=twitter:image content=https://cdn.test/j.png>
            <meta name=description content=no.png>
            <img src=a.png srcset="b.png 2x"><input type=image src=c.png><input src=no.png>
            <video poster=d.png src=no.mp4></video><img src="data:image/png;base64,AA"><img src=" ftp://x/y.png">
            <svg><image xlink:href=k.png /><feImage href=l.png /><video poster=no.png /></svg>)h",
         {"e.ico|image/x-icon", "f.png", "g.png", "h.png", "i.png", "https://cdn.test/j.png", "a.png", "b.png",
          "c.png", "d.png", "k.png", "l.png"},
         true},  // s.css cannot be fetched
        {"lazy attributes",
         R"h(<div data-src=m.png data-bg="url('n\'.png') url( x y )" data-thumb=plain
                 data-srcset="o.png 1x, p.png 2x"></div>
            <video data-poster=q.png data-src=movie.mp4></video><iframe data-src=s.png></iframe>
            <span data-image="t.png 100w, u.png 200w" data-original="  v.png  "></span>)h",
         {"m.png", "n'.png", "o.png", "p.png", "q.png", "t.png", "u.png", "v.png"}},
        {"srcset splitting keeps commas in addresses",
         R"h(<img srcset="a,b.png 1x, c.png?x=1,2 2x,d.png,, e.png">)h",
         {"a,b.png", "c.png?x=1,2", "d.png", "e.png"}},
        {"the source a browser picks at 1x comes first",
         R"h(<img src=a.png srcset="b.png 1x, c.png 2x"><img srcset="d.png 0.5x, e.png 1.5x">
            <img src=f.png srcset="g.png 2x">)h",
         {"b.png", "a.png", "c.png", "e.png", "d.png", "f.png", "g.png"}},
        {"one width candidate leaves no choice", R"h(<img src=a.png srcset="b.png 100w">)h", {"b.png", "a.png"}},
        {"widths make the order the layout's", R"h(<img src=a.png srcset="b.png 100w, c.png 200w">)h",
         {"a.png", "b.png", "c.png"}, true},
        {"picture sources with their types",
         R"h(<picture><source srcset="a.avif" type=image/avif><source srcset="b.webp 1x, c.webp 2x" type=image/webp>
            <img src=d.jpg srcset="e.jpg 1x"></picture>)h",
         {"a.avif|image/avif", "b.webp|image/webp", "c.webp|image/webp", "d.jpg", "e.jpg"}},
        {"a media query that cannot change the order",
         R"h(<picture><source media="(min-width: 800px)" srcset=big.png><img src=s.png srcset="s2.png 2x"></picture>)h",
         {"big.png", "s.png", "s2.png"}},
        {"a media query that can",
         R"h(<picture><source media="(min-width: 800px)" srcset=big.png><img src=s.png srcset="x.png 1x"></picture>)h",
         {"big.png", "s.png", "x.png"}, true},
        {"base href",
         R"h(<base href="//cdn.test/x/"><img src=a.png><style>.b{background:url(b.png)}</style><p class=b>)h",
         {"http://cdn.test/x/a.png", "http://cdn.test/x/b.png"}},
        {"each address once, in its first place",
         R"h(<img src=a.png><div style="background:url(b.png)"></div><img src=b.png srcset="a.png 2x, c.png 3x">)h",
         {"a.png", "b.png", "c.png"}},
        {"shadow trees", R"h(<div><template shadowrootmode=open><img src=in.png></template></div><img src=a.png>)h",
         {"a.png"}, true},
    };
    for (const Row& row : rows) Check(row);
}

// What the cascade of the style sheets and style attributes gives elements.
TEST(StaticPictures, GivenByStyles) {
    const Row rows[] = {
        {"later rules, specificity and ids",
         R"h(<style>.a{background:url(one.png)} .a{background-image:url(two.png)}
                   #x{background-image:url(three.png)} div.a{background-image:url(four.png)}</style>
            <div id=x class=a></div><div class=a></div><p class=a></p>)h",
         {"three.png", "four.png", "two.png"}},
        {"!important and the style attribute",
         R"h(<style>.b{background-image:url(imp.png)!important} .b{background-image:url(late.png)}
                   .c{background-image:url(no.png)}</style>
            <div class=b style="background-image:url(attr.png)"></div>
            <div class=c style="background:url(attr2.png)">)h",
         {"imp.png", "attr2.png"}},
        {"shorthands without pictures reset them; the background attribute comes last",
         R"h(<style>body{background-image:url(css.png)} .d{background-image:url(x.png)} .d{background:red}
                   td{border-image:url(b.png) 30 round} td.f{border:1px solid} li{list-style-image:url(x.png) 1px}
                   q{-webkit-mask:url(m.png) center;mask-image:url(m2.png)}</style>
            <body background=attr.png><table background=t.png><tr><td class=d>1<td>2<td class=f>3</table>
            <ul><li>no</ul><q>q</q>)h",
         {"css.png", "t.png", "b.png", "m2.png"}},
        {"list-style-image is inherited",
         R"h(<style>ul{list-style-image:url(dot.png)} @media (min-width: 1px){li{list-style-image:url(dot.png)}}</style>
            <ul><li>x</ul>)h",
         {"dot.png"}},
        {"an inherited value that a rule the window decides may take",
         R"h(<style>ul{list-style-image:url(dot.png)} @media (min-width: 1px){li{list-style:none}}</style>
            <ul><li>x</ul>)h",
         {"dot.png"}, true},
        {"::before and ::after show with a content only",
         R"h(<style>.p::before{content:"";background-image:url(pb.png)} .q::after{background-image:url(qa.png)}
                   .r:after{content:none;background:url(ra.png)} .s::before{content:url(sc.png)}</style>
            <i class=p></i><i class=q></i><i class=r></i><i class=s></i><img class=s src=a.png>)h",
         {"pb.png", "sc.png", "a.png"}},
        {"@import comes before the rules of its sheet",
         R"h(<link rel=stylesheet href=css/main.css><div class=x></div><div class=y></div>)h",
         {"main.png", "css/y.png"}, false,
         {{"http://a.test/d/css/main.css", "@import url(imp.css); .x{background:url(../main.png)} @import 'late.css';"},
          {"http://a.test/d/css/imp.css", ".x{background-image:url(imp.png)} .y{background-image:url(y.png)}"}}},
        {"@media print is ignored, screen applies",
         R"h(<style media="screen, print">@media print{.m{background-image:url(print.png)}}
                   @media only screen{.m{border-image-source:url(screen.png)}}</style><style media=print>
                   .m{content:url(p.png)}</style><div class=m>)h",
         {"screen.png"}},
        {"resolutions of another device are not this one's",
         R"h(<style>.r{background-image:url(1x.png)}
                   @media (-webkit-min-device-pixel-ratio: 2), (min-resolution: 192dpi){
                     .r{background-image:url(2x.png)}}
            </style><div class=r>)h",
         {"1x.png"}},
        {"a pseudo-class the reading does not know",
         R"h(<style>.u:has(b){background-image:url(has.png)}</style><p class=u>)h",
         {}, true},
        {"a pseudo-class no element matches without a browser does not count",
         R"h(<style>.h:hover{background-image:url(hover.png)} .h:not(:focus){border-image-source:url(b.png)}
                   .u:has(b){background-image:url(has.png)}</style><p class=h>)h",
         {"b.png"}},
        {"variables need a browser", R"h(<style>.v{background:var(--bg)}</style><p class=v>)h", {}, true},
        {"selectors",
         R"h(<style>a:link{background-image:url(l.png)} li:nth-child(2n+1)[lang|=en]{background-image:url(n.png)}
                   p:first-of-type:empty ~ p[title$=".X" i]{background-image:url(s.png)}
                   input:checked + label{background-image:url(c.png)} :root>body>*:last-child>em{content:url(e.png)}
                   [data-k~=b]:not(.no, :disabled){background-image:url(k.png)} .L{background-image:url(q.png)}</style>
            <a href=x>a</a><a>no href</a><ul><li lang=en-GB>1<li lang=en>2<li lang=EN>3</ul>
            <p></p><p title=a.x>t</p><input type=checkbox checked><label>c</label>
            <button data-k="a b" disabled>d</button><b data-k="a b" class=l>k</b><div><em>e</em></div>)h",
         {"l.png", "n.png", "s.png", "c.png", "k.png", "e.png"}},
        {"layers: unlayered rules win, and for !important the first layer",
         R"h(<style>@layer base, top; .y{background-image:url(plain.png)} @layer top{.y{background-image:url(top.png)}}
                   @layer base{.z{border-image-source:url(zbase.png)!important}}
                   @layer top{.z{border-image-source:url(ztop.png)!important}}</style><p class=y><p class=z>)h",
         {"plain.png", "zbase.png"}},
    };
    for (const Row& row : rows) Check(row);
}

TEST(StaticPictures, KeepsTheFirstOfALimit) {
    const DocumentPictures got =
        Read("<img src=1.png><img src=2.png><img src=3.png><img src=2.png><div style='background:url(3.png)'>"
             "<img src=4.png>", {}, 2);
    ASSERT_EQ(got.pictures.size(), 2u);
    EXPECT_EQ(got.pictures[1].address, "http://a.test/d/2.png");
    EXPECT_EQ(got.cut, 2u);
}

// A page of many elements and rules is read in a bounded time: rules found by their
// classes as browsers find them, and a bound on what matching selectors may cost.
TEST(StaticPictures, HostilePagesFinish) {
    std::string html = "<style>";
    for (int i = 0; i < 10000; ++i) {
        const std::string n = std::to_string(i);
        html += ".c" + n + " > .s" + n + ":nth-child(odd){background-image:url(p" + n + ".png)}\n";
    }
    html += "</style>";
    for (int i = 0; i < 50000; ++i) {
        const std::string n = std::to_string(i % 2000);
        html += "<div class=c" + n + "><span class='x s" + n + "'></span></div>";
    }
    DocumentPictures got = Read(html, {}, 100000);
    EXPECT_EQ(got.pictures.size(), 2000u);
    EXPECT_EQ(got.needsBrowser, "");

    // Deeply nested elements under rules that every element tries and no element matches.
    std::string deep = "<style>";
    for (int i = 0; i < 2000; ++i) deep += "p div div div{background-image:url(d" + std::to_string(i) + ".png)}";
    deep += "</style>";
    for (int i = 0; i < 20000; ++i) deep += "<div>";
    got = Read(deep, {}, 100);
    EXPECT_NE(got.needsBrowser, "");
    EXPECT_TRUE(got.pictures.empty());
}

}  // namespace
}  // namespace nuv
