// The name templates of nuv-extract --name: what each field gives, how every value is
// cleaned so that nothing leaves the page's folder, and the templates refused.
#include "save/NameTemplate.h"

#include <gtest/gtest.h>

#include "support/Files.h"

namespace nuv {
namespace {

NameFields Plain() {
    NameFields f;
    f.host = "img.example";
    f.page = "site.example/forum/t.php?id=5";
    f.index = 7;
    f.name = "photo";
    f.ext = "jpg";
    f.type = "jpg";
    f.width = 640;
    f.height = 480;
    f.sha256 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    return f;
}

// Values a page or a server may make up.
NameFields Hostile() {
    NameFields f;
    f.host = "a/b";
    f.page = "a/../.";
    f.index = 7;
    f.name = "../../etc/passwd";
    f.ext = "\x1b[31m";
    return f;
}

TEST(NameTemplateTest, TableOfTemplates) {
    const auto rows = test::ReadTable("names/templates.txt");
    ASSERT_GT(rows.size(), 20u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        SCOPED_TRACE(row[1]);
        std::string error;
        const auto parsed = NameTemplate::Parse(row[1], error);
        if (row[2].front() == '!') {
            EXPECT_FALSE(parsed);
            EXPECT_NE(error.find(row[2].substr(1)), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(parsed) << error;
        EXPECT_EQ(parsed->Apply(row[0] == "plain" ? Plain() : Hostile()), row[2] == "-" ? "" : row[2]);
    }
}

TEST(NameTemplateTest, OnlyTypeSizeAndDigestNeedTheFile) {
    std::string error;
    for (const char* later : {"{type}", "{width}", "{height:4}", "{sha256:12}"})
        EXPECT_TRUE(NameTemplate::Parse(std::string("a/") + later, error)->NeedsFile()) << later;
    EXPECT_FALSE(NameTemplate::Parse("{host}/{page}/{index:03}-{name}.{ext}", error)->NeedsFile());
}

TEST(NameTemplateTest, HostsAndExtensions) {
    EXPECT_EQ(NameHostOf("http://user:pw@IMG.Example:8080/a.jpg"), "img.example");
    EXPECT_EQ(NameHostOf("http://[::1]:8080/a.jpg"), "::1");
    EXPECT_EQ(NameHostOf("file:///home/a.jpg"), "file");
    EXPECT_EQ(NameHostOf("data:image/png;base64,xx"), "");
    EXPECT_EQ(SplitExtension("a.b.jpg"), std::make_pair(std::string("a.b"), std::string("jpg")));
    EXPECT_EQ(SplitExtension(".hidden"), std::make_pair(std::string(".hidden"), std::string()));
    EXPECT_EQ(SplitExtension("b.png?v=2"), std::make_pair(std::string("b"), std::string("png?v=2")));
    EXPECT_EQ(SplitExtension("x.12345678901234567"), std::make_pair(std::string("x.12345678901234567"), std::string()));
}

}  // namespace
}  // namespace nuv
