#include "extract/ExtractionLists.h"

#include <random>

#include <gtest/gtest.h>

#include "common/Text.h"

namespace nuv {
namespace {

// The duplicate test as a walk: both sides trimmed and lower-cased at every comparison,
// first equal entry wins.
int LiteralIndexOf(const std::vector<std::string>& list, const std::string& address) {
    for (size_t i = 0; i < list.size(); ++i)
        if (LowerAscii(Trim(list[i])) == LowerAscii(Trim(address))) return static_cast<int>(i);
    return -1;
}

TEST(ExtractionLists, IsListedIgnoresAsciiCaseAndBlanksButNotOtherBytes) {
    ExtractionLists lists;
    EXPECT_FALSE(lists.IsListed(ListKind::lkImage, ""));  // an empty list holds nothing
    lists.AddImage("http://site.example/logo.gif");
    EXPECT_TRUE(lists.IsListed(ListKind::lkImage, "  HTTP://SITE.EXAMPLE/LOGO.GIF \t"));
    EXPECT_FALSE(lists.IsListed(ListKind::lkFlash, "http://site.example/logo.gif"));

    lists.OtherURLs.Add("http://site.example/\xE5\x9B\xBE.zip");
    EXPECT_TRUE(lists.IsListed(ListKind::lkOther, "http://SITE.example/\xE5\x9B\xBE.zip"));
    EXPECT_FALSE(lists.IsListed(ListKind::lkOther, "http://site.example/\xE5\x9B\xBF.zip"));
    // Non-ASCII capitals are different bytes: no Unicode folding.
    lists.LinkURLs.Add("http://site.example/\xC3\x84");
    EXPECT_FALSE(lists.IsListed(ListKind::lkLink, "http://site.example/\xC3\xA4"));
}

TEST(ExtractionLists, CompanionsFollowTheirPartnerAndClearingForgetsTheIndex) {
    ExtractionLists lists;
    lists.AddImage(" a.gif");
    lists.AddImage("A.GIF");  // the lists themselves accept repeats
    EXPECT_EQ(lists.ImageAlts, (std::vector<std::string>{" a.gif", "A.GIF"}));
    EXPECT_EQ(lists.ImageURLs.IndexOfNormalized("a.gif"), 0);
    lists.ClearImages();
    EXPECT_TRUE(lists.ImageAlts.empty());
    EXPECT_FALSE(lists.IsListed(ListKind::lkImage, "a.gif"));
    lists.AddImage("b.gif");
    EXPECT_EQ(lists.ImageURLs.IndexOfNormalized("B.GIF"), 0);
}

TEST(ExtractionLists, IndexedLookupMatchesTheLiteralWalk) {
    std::mt19937 rng(1234);
    const std::vector<std::string> pieces = {"a", "A", "b", " ", "\t", ".gif", ".GIF", "/", "\xE5\x9B", "\xBE", "\x01", "z"};
    auto random = [&] {
        std::string s;
        const int n = static_cast<int>(rng() % 6);
        for (int i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
        return s;
    };
    for (int round = 0; round < 200; ++round) {
        AddressList list;
        std::vector<std::string> plain;
        for (int i = 0; i < 30; ++i) {
            const std::string s = random();
            ASSERT_EQ(list.IndexOfNormalized(s), LiteralIndexOf(plain, s)) << '"' << s << '"';
            if (rng() % 2) {
                list.Add(s);
                plain.push_back(s);
            }
        }
    }
}

}  // namespace
}  // namespace nuv
