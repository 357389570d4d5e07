// Which files --dedup keeps: one of the same bytes, of pictures alike the largest, across
// the pages of a run and against the files of an earlier run; the groups of pictures alike
// that the result window hides.
#include "save/Duplicates.h"

#include <gtest/gtest.h>

#include "library/logic/SimilarPictures.h"

namespace nuv {
namespace {

SavedFile File(std::string file, std::string sha, std::optional<std::uint64_t> dhash = {}, std::uint64_t pixels = 0,
               std::uint64_t bytes = 100) {
    return {std::move(file), std::move(sha), dhash, pixels, bytes};
}

using Of = std::vector<std::string>;

TEST(DuplicatesTest, SameBytesAreKeptOnceAcrossPagesAndRuns) {
    DuplicateFinder exact(false, [](const std::string& sha) -> std::optional<std::string> {
        if (sha == "old") return std::string("/s/earlier.png");
        return std::nullopt;
    });
    // The same file written twice is no duplicate of itself; a file that could not be read never is.
    EXPECT_EQ(exact.Decide({File("/s/a.png", "x"), File("/s/b.png", "x"), File("/s/c.png", "y"), File("/s/a.png", "x"),
                            File("/s/u.png", ""), File("/s/v.png", "")}),
              Of({"", "/s/a.png", "", "", "", ""}));
    EXPECT_EQ(exact.Decide({File("/s/d.png", "x"), File("/s/e.png", "z"), File("/s/f.png", "old"), File("/s/c.png", "y")}),
              Of({"/s/a.png", "", "/s/earlier.png", ""}));
    // Exact mode never looks at the pictures.
    EXPECT_EQ(exact.Decide({File("/s/g.png", "p", 0xF0F0, 100), File("/s/h.png", "q", 0xF0F0, 400)}), Of({"", ""}));
}

TEST(DuplicatesTest, OfPicturesAlikeTheLargestIsKept) {
    DuplicateFinder similar(true);
    const std::uint64_t look = 0x0123456789ABCDEFull;
    const std::uint64_t near = look ^ 0x21;                 // 2 bits apart
    const std::uint64_t edge = look ^ 0x3F;                 // 6 bits apart: still alike
    const std::uint64_t far = look ^ 0x7F;                  // 7 bits apart
    EXPECT_EQ(HashDistance(look, edge), kSimilarPictureBits);
    EXPECT_EQ(similar.Decide({File("/s/thumb.png", "t", near, 32 * 24), File("/s/full.png", "f", look, 64 * 48),
                              File("/s/copy.png", "f", look, 64 * 48), File("/s/other.png", "o", far, 64 * 48),
                              File("/s/style.css", "c"), File("/s/style2.css", "c"), File("/s/recoded.jpg", "r", edge, 64 * 48, 50)}),
              Of({"/s/full.png", "", "/s/full.png", "", "", "/s/style.css", "/s/full.png"}));
    // A later page: what is not larger than a kept picture goes, a larger one is kept too
    // (the kept one is printed already); bytes of a dropped file point at the kept one.
    EXPECT_EQ(similar.Decide({File("/s/p2-small.png", "s2", near, 16 * 12), File("/s/p2-big.png", "b2", look, 128 * 96),
                              File("/s/p2-thumb.png", "t")}),
              Of({"/s/full.png", "", "/s/full.png"}));
}

// The result window's groups: alike with a group's first picture (6 bits apart, not 8),
// pictures not decoded in none.
TEST(DuplicatesTest, GroupsOfTheResultWindow) {
    const std::uint64_t look = 0xFFFF0000FFFF0000ull;
    EXPECT_EQ(SimilarPictureGroups({look ^ 1, std::nullopt, ~look, look ^ 0x3E, look ^ 0xFE, ~look ^ 2, std::nullopt}),
              std::vector<int>({0, -1, 1, 0, 2, 1, -1}));
    EXPECT_TRUE(SimilarPictureGroups({}).empty());
}

TEST(DuplicatesTest, HashText) {
    EXPECT_EQ(HashHex(0), "0000000000000000");
    EXPECT_EQ(HashHex(0x0123456789ABCDEFull), "0123456789abcdef");
    EXPECT_EQ(HashDistance(0, ~std::uint64_t{0}), 64);
}

}  // namespace
}  // namespace nuv
