#include "common/Text.h"

#include <gtest/gtest.h>

namespace nuv {
namespace {

TEST(Text, TrimRemovesControlBytesAndBlanksButNotUtf8) {
    EXPECT_EQ(Trim(" \t\r\n a b \x01\x1f"), "a b");
    EXPECT_EQ(Trim("\xe5\x9b\xbe "), "\xe5\x9b\xbe");  // bytes above 127 are never trimmed
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(""), "");
}

TEST(Text, LowerAsciiTouchesOnlyAsciiCapitals) {
    EXPECT_EQ(LowerAscii("HTTP://Site.EXAMPLE/\xC3\x84"), "http://site.example/\xC3\x84");
    EXPECT_EQ(NormalizedKey("  A.GIF\t"), "a.gif");
    EXPECT_TRUE(ContainsNoCase("x.JPEG", ".jpeg"));
    EXPECT_FALSE(ContainsNoCase("x.jpg", ".jpeg"));
}

TEST(Text, SplitLinesAcceptsEveryLineBreakAndJoinEndsEachWithCrLf) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitLines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitLines("").empty());
    EXPECT_EQ(JoinLinesCrLf(SplitLines("<p>\n</p>")), "<p>\r\n</p>\r\n");
    EXPECT_EQ(JoinLinesCrLf({}), "");
}

TEST(Text, ReplaceAllDoesNotRescanAndFormatSFillsInOrder) {
    EXPECT_EQ(ReplaceAll("a////b", "///", "/"), "a//b");
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "a"), "aa");
    EXPECT_EQ(FormatS("%s<td>%s</td>%d", {"x", "y"}), "x<td>y</td>%d");
    EXPECT_EQ(FormatS("%s%s", {"only"}), "only");
}

TEST(Text, RequestAddressesEncodeWhatARequestMayNotCarry) {
    EXPECT_EQ(EncodeUnsafeAddressBytes("a b\t%41\x7f\xe5\x9b\xbe?x=1#f"), "a%20b%09%41%7F%E5%9B%BE?x=1#f");
    // The authority stays as written for the resolver.
    EXPECT_EQ(EncodeRequestAddress("http://h\xc3\xa9.example:81/sp ace/\xe9\xa1\xb5.html?q= 1"),
              "http://h\xc3\xa9.example:81/sp%20ace/%E9%A1%B5.html?q=%201");
    EXPECT_EQ(EncodeRequestAddress("https://host"), "https://host");
    EXPECT_EQ(EncodeRequestAddress("file:///x y/a.css"), "file:///x%20y/a.css");
}

}  // namespace
}  // namespace nuv
