#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/logic/RobotsCache.h"
#include "web/Robots.h"

namespace nuv {
namespace {

TEST(Robots, TheLongestMatchOfTheTokensGroupDecides) {
    const std::string site =
        "# the shop\r\n"
        "User-agent: *\n"
        "Disallow: /private/\n"
        "Disallow: /*.pdf$\n"
        "\n"
        "User-agent: other-bot\n"
        "User-Agent: NUV-Extract   # ours, any case\n"
        "Disallow: /\n"
        "Allow: /gallery/\n"
        "Disallow: /gallery/raw\n"
        "Allow: /gallery/raw/ok\n"
        "Disallow: /*?session=\n"
        "Sitemap: https://shop.example/sitemap.xml\n"
        "User-agent: nuv-extract\n"  // a second group of ours is merged
        "Allow: /news$\n";
    const std::string anyone = "User-agent: *\nDisallow: /private/\nDisallow: /*.pdf$\nAllow: /private/open\nDisallow:\n";
    struct Case {
        const std::string& text;
        const char* path;
        bool allowed;
    } cases[] = {
        {site, "/", false},
        {site, "/gallery/1.html", true},
        {site, "/gallery/raw/9", false},
        {site, "/gallery/raw/ok/9", true},
        {site, "/gallery/x?session=1", false},  // the wildcard rule is longer than /gallery/
        {site, "/news", true},
        {site, "/news/old", false},  // "$" ends the match
        {site, "/robots.txt", true},
        {anyone, "/private/a", false},
        {anyone, "/private/open", true},  // the longer allow
        {anyone, "/doc.pdf", false},
        {anyone, "/doc.pdf?x", true},
        {anyone, "/public/", true},  // an empty disallow disallows nothing
    };
    for (const Case& c : cases)
        EXPECT_EQ(RobotsRules::Parse(c.text, kRobotsToken).Allows(c.path), c.allowed) << c.path;

    // An allow and a disallow of the same length: the allow. No group for us or for "*".
    EXPECT_TRUE(RobotsRules::Parse("User-agent: *\nDisallow: /a\nAllow: /a\n", kRobotsToken).Allows("/a"));
    EXPECT_TRUE(RobotsRules::Parse("User-agent: bot\nDisallow: /\n", kRobotsToken).Allows("/x"));
    EXPECT_FALSE(RobotsRules::DisallowAll().Allows("/x"));
    EXPECT_TRUE(RobotsRules::DisallowAll().Allows("/robots.txt"));
    // Rules beyond the first 500 KiB are not read.
    const std::string padded = "User-agent: *\n" + std::string(kMaxRobotsBytes, '#') + "\nDisallow: /\n";
    EXPECT_TRUE(RobotsRules::Parse(padded, kRobotsToken).Allows("/x"));

    EXPECT_EQ(RobotsAddressOf("https://user@Shop.Example:8443/a/b?c#d"), "https://shop.example:8443/robots.txt");
    EXPECT_EQ(RobotsAddressOf("file:///tmp/a.html"), "");
    EXPECT_EQ(RobotsPathOf("http://h/a/b?c=1#top"), "/a/b?c=1");
    EXPECT_EQ(RobotsPathOf("http://h?q"), "/?q");
    EXPECT_EQ(RobotsPathOf("http://h"), "/");
}

TEST(Robots, EachSiteIsAskedOnceAndAnUnreachableOneKeepsItsPages) {
    std::map<std::string, int> asked;
    RobotsCache cache([&](const std::string& robots) {
        ++asked[robots];
        if (robots == "http://gone/robots.txt") return RobotsAnswer{RobotsAnswer::Kind::Unreachable, {}};
        if (robots == "http://none/robots.txt") return RobotsAnswer{RobotsAnswer::Kind::Unavailable, {}};
        return RobotsAnswer{RobotsAnswer::Kind::Found, "User-agent: *\nDisallow: /private\n"};
    });
    EXPECT_FALSE(cache.Allows("http://site/private/1"));
    EXPECT_TRUE(cache.Allows("http://site/public/1"));
    EXPECT_FALSE(cache.Allows("http://gone/a"));
    EXPECT_TRUE(cache.Allows("http://none/private"));
    EXPECT_TRUE(cache.Allows("/tmp/local.html"));
    EXPECT_EQ(asked, (std::map<std::string, int>{
                         {"http://gone/robots.txt", 1}, {"http://none/robots.txt", 1}, {"http://site/robots.txt", 1}}));
}

}  // namespace
}  // namespace nuv
