#include "web/Address.h"

#include <string>

#include <gtest/gtest.h>

namespace nuv {
namespace {

struct ResolveCase {
    const char* page;
    const char* reference;
    const char* expected;
};

std::ostream& operator<<(std::ostream& os, const ResolveCase& c) {
    return os << "page=\"" << c.page << "\" reference=\"" << c.reference << "\"";
}

class ResolveAddressTable : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveAddressTable, GivesTheAbsoluteAddress) {
    const ResolveCase& c = GetParam();
    EXPECT_EQ(ResolveAddress(c.page, c.reference), c.expected);
}

constexpr const char* kNewsPage = "http://site.example/news/2009/index.html";

// The published worked examples, byte for byte.
INSTANTIATE_TEST_SUITE_P(WorkedExamples, ResolveAddressTable, ::testing::Values(
    ResolveCase{kNewsPage, "pic/a.gif", "http://site.example/news/2009/pic/a.gif"},
    ResolveCase{kNewsPage, "../img/b.jpg", "http://site.example/news/img/b.jpg"},
    ResolveCase{kNewsPage, "../../c.png", "http://site.example/c.png"},
    ResolveCase{kNewsPage, "/img/e.gif", "http://site.example/img/e.gif"},
    ResolveCase{kNewsPage, "http://cdn.example//x//y.gif", "http://cdn.example/x/y.gif"},
    ResolveCase{kNewsPage, "HTTP://cdn.example/Z.GIF", "http://cdn.example/Z.GIF"},
    ResolveCase{kNewsPage, "./f.gif", "http://site.example/news/2009/./f.gif"},
    ResolveCase{kNewsPage, "img\\g.gif", "http://site.example/news/2009/img/g.gif"},
    ResolveCase{kNewsPage, "", "http://site.example/news/2009/"},
    ResolveCase{"http://site.example/", "pic/a.gif", "http://site.example/pic/a.gif"},
    ResolveCase{"http://site.example/", "../pic/a.gif", "http://site.example/pic/a.gif"},
    ResolveCase{"http://site.example/index.html", "a.gif", "http://site.example/a.gif"},
    ResolveCase{"site.example/dir/page.htm", "a.gif", "http://site.example/dir/a.gif"},
    ResolveCase{"http://site.example//dir///page.htm", "a.gif", "http://site.example/dir/a.gif"},
    ResolveCase{"http://site.example/dir/page.htm", "sub dir/../a.gif", "http://site.example/sub dir/a.gif"},
    ResolveCase{"http://site.example/dir/page.htm?x=1/2", "a.gif", "http://site.example/dir/page.htm?x=1/a.gif"}));

// The blind spots of the text rules, kept on purpose: results are compared as text.
INSTANTIATE_TEST_SUITE_P(TextRules, ResolveAddressTable, ::testing::Values(
    // "///" is replaced before "//", each in one pass: four slashes become two, then one.
    ResolveCase{kNewsPage, "http://cdn.example////x.gif", "http://cdn.example/x.gif"},
    ResolveCase{kNewsPage, "http://cdn.example/////x.gif", "http://cdn.example//x.gif"},
    // A ".." piece climbs wherever it stands; "../" is then deleted, also out of "...".
    ResolveCase{"http://site.example/d/e/p.htm", "x/../y.gif", "http://site.example/d/x/y.gif"},
    ResolveCase{"http://site.example/d/p.htm", "x/.../a.gif", "http://site.example/d/x/.a.gif"},
    // Blanks and control bytes separate pieces too; "../" with a blank is not deleted.
    ResolveCase{"http://site.example/d/e/p.htm", "x ..\t/a.gif", "http://site.example/d/x ..\t/a.gif"},
    ResolveCase{"http://site.example/d/e/p.htm", "\"..\"/a.gif", "http://site.example/d/\"..\"/a.gif"},
    // The reference keeps its own case and bytes beyond ASCII.
    ResolveCase{"http://site.example/d/p.htm", "\xE5\x9B\xBE/A.GIF", "http://site.example/d/\xE5\x9B\xBE/A.GIF"},
    // "http://" anywhere in a reference makes the rule drop its first seven bytes.
    ResolveCase{kNewsPage, "x.gif?u=http://b", "http://=http:/b"}));

// A page opened from a file resolves against its own folder and the file system's root.
INSTANTIATE_TEST_SUITE_P(LocalPages, ResolveAddressTable, ::testing::Values(
    ResolveCase{"file:///x/page.html", "a.gif", "file:///x/a.gif"},
    ResolveCase{"file:///x/page.html", "/a.gif", "file:///a.gif"},
    ResolveCase{"file:", "/", "file:///"},
    ResolveCase{"file:///x/page.html", "\\", "file:///"},
    ResolveCase{"file:///x/y/page.html?q=1/2", "../css\\s.css", "file:///x/css/s.css"},
    ResolveCase{"file:///x/page.html", "../../../a.gif", "file:///a.gif"},
    ResolveCase{"file:///sp%20ace/page.html", "./b%20c.gif", "file:///sp%20ace/b%20c.gif"},
    ResolveCase{"file:///x/page.html", "http://cdn.example/a.gif", "http://cdn.example/a.gif"},
    ResolveCase{"FILE:///x/page.html", "//host/a.gif", "file://host/a.gif"}));

// Decisions of this program where the plain rules break down.
INSTANTIATE_TEST_SUITE_P(Https, ResolveAddressTable, ::testing::Values(
    ResolveCase{"https://site.example/news/2009/index.html", "pic/a.gif", "https://site.example/news/2009/pic/a.gif"},
    ResolveCase{"https://site.example/news/2009/index.html", "../../c.png", "https://site.example/c.png"},
    ResolveCase{"https://site.example/news/2009/index.html", "/img/e.gif", "https://site.example/img/e.gif"},
    ResolveCase{"https://site.example/", "../pic/a.gif", "https://site.example/pic/a.gif"},
    ResolveCase{"HTTPS://Site.example//dir///page.htm", "a.gif", "https://Site.example/dir/a.gif"},
    ResolveCase{kNewsPage, "HTTPS://cdn.example//x//Y.GIF", "https://cdn.example/x/Y.GIF"},
    ResolveCase{"https://site.example/a/", "http://cdn.example/z.gif", "http://cdn.example/z.gif"},
    ResolveCase{"https://site.example/a/b.htm?u=http://x", "c.gif", "https://site.example/a/b.htm?u=http:/c.gif"}));

INSTANTIATE_TEST_SUITE_P(ProtocolRelative, ResolveAddressTable, ::testing::Values(
    ResolveCase{kNewsPage, "//cdn.example/h.gif", "http://cdn.example/h.gif"},
    ResolveCase{"https://site.example/a/", "//cdn.example/h.gif", "https://cdn.example/h.gif"},
    ResolveCase{"site.example/a/", "//cdn.example//x///H.gif", "http://cdn.example/x/H.gif"},
    ResolveCase{kNewsPage, "\\\\cdn.example\\h.gif", "http://cdn.example/h.gif"}));

INSTANTIATE_TEST_SUITE_P(NeverAboveTheHost, ResolveAddressTable, ::testing::Values(
    ResolveCase{"http://site.example/a/page.htm", "../../../b.gif", "http://site.example/b.gif"},
    ResolveCase{"http://site.example/a/page.htm", "x/../../../../b.gif", "http://site.example/x/b.gif"},
    ResolveCase{"http://site.example", "a.gif", "http://site.example/a.gif"},
    ResolveCase{"http://site.example", "../x/a.gif", "http://site.example/x/a.gif"},
    ResolveCase{"https://site.example", "a.gif", "https://site.example/a.gif"},
    ResolveCase{"site.example", "a.gif", "http://site.example/a.gif"}));

TEST(SiteRoot, KeepsTheHostAndItsCase) {
    EXPECT_EQ(SiteRoot("http://site.example"), "http://site.example/");
    EXPECT_EQ(SiteRoot("http://SITE.Example/a/b.html"), "http://SITE.Example/");
    EXPECT_EQ(SiteRoot("site.example/x"), "http://site.example/");
    // Only "http:" counts as a scheme; a short address never reads past its end.
    EXPECT_EQ(SiteRoot("ftp://x/y"), "http://ftp:/");
    EXPECT_EQ(SiteRoot(""), "http:///");
    EXPECT_EQ(SiteRoot("http:"), "http:/");
    EXPECT_EQ(SiteRoot("HTTP://x"), "HTTP://x/");
}

TEST(SiteRoot, HttpsKeepsItsScheme) {
    EXPECT_EQ(SiteRoot("https://SITE.example/a/b"), "https://SITE.example/");
    EXPECT_EQ(SiteRoot("https://site.example"), "https://site.example/");
    EXPECT_EQ(SiteRoot("HTTPS://x/y?u=http://z/"), "https://x/");
    EXPECT_EQ(SiteRoot("https://"), "https:///");
}

TEST(JoinRelativeAddress, SiteRootPagesTakeTheReferenceAsItIs) {
    EXPECT_EQ(JoinRelativeAddress("HTTP://Site.example/", "../a/../b.gif"), "HTTP://Site.example/a/b.gif");
    EXPECT_EQ(JoinRelativeAddress("http://site.example/d/p.htm", "./a.gif"), "http://site.example/d/./a.gif");
    EXPECT_EQ(JoinRelativeAddress("https://s.example/d/e/p", "../a.gif"), "https://s.example/d/a.gif");
}

TEST(IsWebPageAddress, WorkedExamples) {
    EXPECT_TRUE(IsWebPageAddress("http://site.example/show.php?id=3"));
    EXPECT_TRUE(IsWebPageAddress("http://site.example"));
    EXPECT_TRUE(IsWebPageAddress("http://site.example/"));
    EXPECT_FALSE(IsWebPageAddress("http://site.example/news/"));
    EXPECT_FALSE(IsWebPageAddress("http://site.example/a/b.gif"));
    EXPECT_FALSE(IsWebPageAddress("HTTP://site.example/PAGE.HTML"));
}

TEST(IsWebPageAddress, ExtensionsCountAnywhereAndHttpsIsStripped) {
    EXPECT_TRUE(IsWebPageAddress("x.php?img=a.gif"));
    EXPECT_TRUE(IsWebPageAddress("http://s.example/a.gif?from=/b.jsp"));
    EXPECT_TRUE(IsWebPageAddress("http://s.example/x.aspx"));
    EXPECT_FALSE(IsWebPageAddress("http://s.example/x.PHP"));
    EXPECT_TRUE(IsWebPageAddress("https://site.example"));
    EXPECT_TRUE(IsWebPageAddress("HTTPS://site.example/"));
    EXPECT_FALSE(IsWebPageAddress("https://site.example/news/"));
    EXPECT_FALSE(IsWebPageAddress("https://site.example/a.swf"));
    EXPECT_TRUE(IsWebPageAddress(""));
}

TEST(FileNameOfAddress, IsTheTextAfterTheLastSlash) {
    EXPECT_EQ(FileNameOfAddress("http://site.example/css/Main.css"), "Main.css");
    EXPECT_EQ(FileNameOfAddress("main.css"), "main.css");
    EXPECT_EQ(FileNameOfAddress("http://site.example/a.php?f=x/y.css"), "y.css");
    EXPECT_EQ(FileNameOfAddress("http://site.example/"), "");
    EXPECT_EQ(FileNameOfAddress("http://site.example/a/.."), "..");
    EXPECT_EQ(FileNameOfAddress("a\\b.css"), "a\\b.css");
}

TEST(IsStorableFileName, RefusesNamesThatLeaveTheFolder) {
    EXPECT_TRUE(IsStorableFileName("main.css"));
    EXPECT_TRUE(IsStorableFileName("..css"));
    EXPECT_TRUE(IsStorableFileName("..."));
    EXPECT_FALSE(IsStorableFileName(""));
    EXPECT_FALSE(IsStorableFileName("."));
    EXPECT_FALSE(IsStorableFileName(".."));
    EXPECT_FALSE(IsStorableFileName(std::string("a\0b.css", 7)));
}

}  // namespace
}  // namespace nuv
