#include "save/PictureRules.h"

#include <string>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "save/PictureHeaders.h"
#include "support/DownloadFolder.h"
#include "support/Files.h"
#include "web/Downloader.h"

namespace nuv {
namespace {

TEST(PictureRules, TypeByTheAddressThenByWhatThePageDeclared) {
    const struct {
        const char* address;
        const char* declared;
        const char* type;
    } cases[] = {
        {"http://h/a/photo.JPEG", "", "jpg"},
        {"http://h/a/b.webp?w=800#top", "", "webp"},
        {"http://h/x.png/hero.avif", "", "avif"},
        {"http://h/a.gif?next=b.png", "", "gif"},
        {"http://h/i/8f3a?w=800", "", "other"},
        {"http://h/i/8f3a?w=800", "image/AVIF; q=1", "avif"},
        {"http://h/icon", "image/vnd.microsoft.icon", "ico"},
        {"http://h/_next/image?url=%2Fa%2Fhero.jpg&w=640", "", "other"},  // the service picks the type
        {"http://h/logo.svgz", "", "svg"},
        {"http://h/scan.TIF", "", "tiff"},
        {"http://host.png", "", "other"},  // a host is no file name
        {"http://h/archive.tar.gz", "image/png", "png"},
        {"", "", "other"},
    };
    for (const auto& c : cases) EXPECT_EQ(PictureTypeOf(c.address, c.declared), c.type) << c.address;
}

TEST(PictureRules, AnAnswerNamesItsTypeByContentTypeElseByItsFirstBytes) {
    const struct {
        const char* contentType;
        std::string head;
        const char* extension;
    } cases[] = {
        {"image/webp", "", ".webp"},
        {"Image/JPEG; charset=binary", "", ".jpg"},
        {"image/svg+xml", "", ".svg"},
        {"image/avif", "\x89PNG\r\n\x1A\n", ".avif"},  // the server's word first
        {"application/octet-stream", "\x89PNG\r\n\x1A\nrest", ".png"},
        {"", "\xFF\xD8\xFF\xE0", ".jpg"},
        {"", "GIF89a", ".gif"},
        {"", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), ".webp"},
        {"", std::string("\0\0\0\x1C" "ftypavif", 12), ".avif"},
        {"", std::string("\0\0\1\0\1\0", 6), ".ico"},
        {"", "BM6\0", ".bmp"},
        {"", "  <?xml version=\"1.0\"?>\n<svg xmlns=", ".svg"},
        {"text/html", "<html><body>not found", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtensionFromAnswer(c.contentType, c.head), c.extension) << c.contentType;
}

TEST(PictureRules, ShownPicturesAreNamedReadablyWithTheirExtensionOrTheAnswers) {
    const struct {
        const char* address;
        const char* stem;
        const char* extension;
    } cases[] = {
        {"http://h/pics/hero.webp?v=2", "hero", ".webp"},
        {"http://h/pics/Hero.JPG", "Hero", ".JPG"},
        {"http://h/cdn/i/8f3a?w=800", "8f3a", ""},
        {"http://h/%E5%9B%BE/%E7%8C%AB.webp", "猫", ".webp"},
        {"http://h/a%20b.png", "a b", ".png"},
        {"http://h/_next/image?url=%2Fimg%2Fhero.jpg&w=1920&q=75", "hero", ""},
        {"http://h/resize?src=https%3A%2F%2Fcdn.example%2Fu%2Fcat.png%3Fx%3D1&w=2", "cat", ""},
        {"http://h/a%2F..%2Fb.png", "a%2F..%2Fb", ".png"},  // decoding would name another folder
        {"http://h/bad%FF.gif", "bad%FF", ".gif"},           // no UTF-8: kept as written
        {"http://h/pics/", "picture", ""},
        {"http://h/.png", "picture", ".png"},
        {"http://h/..hidden", "hidden", ""},
        {"http://h", "picture", ""},
    };
    for (const auto& c : cases) {
        const ShownFileName n = ShownPictureFileName(c.address);
        EXPECT_EQ(n.stem, c.stem) << c.address;
        EXPECT_EQ(n.extension, c.extension) << c.address;
    }
    EXPECT_LE(ShownPictureFileName("http://h/" + std::string(400, 'x') + ".webp").stem.size(), 230u);
}

TEST(PictureRules, NoTwoPicturesOfABatchShareAName) {
    const std::vector<std::string> addresses = {
        "http://a/hero.jpg",         // from the page source: its own name
        "http://b/hero.jpg",         // the same, as the result window always did: the later one wins
        "http://a/pics/hero.avif",   // shown
        "http://c/HERO.avif",        // shown, the same name in other letters
        "http://a/_next/image?url=%2Fhero.jpg",  // shown, its type from the answer
        "http://a/cdn/photo",        // shown
        "http://b/cdn/photo",        // shown
        "http://a/photo.webp",       // shown, after a name whose type is open
        "http://a/page.php?id=1",    // from the source: a web page, skipped
        "http://a/show.php?id=2",    // shown: a picture whatever its address
    };
    const std::vector<bool> shown = {false, false, true, true, true, true, true, true, false, true};
    const std::vector<PictureTarget> t = PlanPictureTargets("/s/", addresses, shown);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"/s/hero.jpg", false},     {"/s/hero.jpg", false},       {"/s/hero.avif", false},
        {"/s/HERO (2).avif", false}, {"/s/hero (3)", true},        {"/s/photo", true},
        {"/s/photo (2)", true},     {"/s/photo (3).webp", false}, {"", false},
        {"/s/show.php", true},
    };
    ASSERT_EQ(t.size(), expected.size());
    for (size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].file, expected[i].first) << addresses[i];
        EXPECT_EQ(t[i].extensionFromAnswer, expected[i].second) << addresses[i];
    }
}

using PictureDownload = test::DownloadFolderTest;

TEST_F(PictureDownload, AFinishedDownloadTakesTheNameItsAnswerGives) {
    const std::string folder = dir.string() + "/";
    const std::string stem = folder + "8f3a";
    const std::string provisional = ProvisionalPictureFile(stem);
    EXPECT_EQ(provisional, folder + ".nuvpart.shown.8f3a");
    EXPECT_TRUE(IsPartialDownloadName(".nuvpart.shown.8f3a"));  // hidden from the saved list

    const auto write = [](const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    };
    write(folder + "8f3a.png", "older");
    write(provisional, "\x89PNG\r\n\x1A\nnew");
    EXPECT_EQ(FinishPictureDownload(provisional, stem, "application/octet-stream"), stem + ".png");
    EXPECT_EQ(Read(folder + "8f3a.png"), "\x89PNG\r\n\x1A\nnew");
    EXPECT_FALSE(std::filesystem::exists(provisional));

    write(provisional, "no picture at all");
    EXPECT_EQ(FinishPictureDownload(provisional, stem, "text/plain"), stem);

    // A folder that went away: the provisional file is not left behind.
    write(provisional, "GIF89a");
    EXPECT_THROW(MoveFinishedDownload(provisional, folder + "gone/x.gif"), DownloadError);
    EXPECT_FALSE(std::filesystem::exists(provisional));
}

TEST(PictureRules, FilterBySmallestSizeAndTypes) {
    PictureFilter f;
    EXPECT_FALSE(f.Active());
    EXPECT_TRUE(PassesPictureFilter(f, "other", 0, 0));
    f.minWidth = 300;
    f.minHeight = 200;
    EXPECT_TRUE(f.Active());
    EXPECT_TRUE(PassesPictureFilter(f, "png", 300, 200));
    EXPECT_FALSE(PassesPictureFilter(f, "png", 299, 900));
    EXPECT_FALSE(PassesPictureFilter(f, "png", 0, 0));  // a size never known does not pass
    f.types = {"webp", "other"};
    EXPECT_TRUE(PassesPictureFilter(f, "other", 640, 360));
    EXPECT_FALSE(PassesPictureFilter(f, "jpg", 640, 360));

    EXPECT_EQ(ParseMinSize("800x600"), (std::pair{800, 600}));
    EXPECT_EQ(ParseMinSize(" 0X50 "), (std::pair{0, 50}));
    EXPECT_EQ(ParseMinSize("64×64"), (std::pair{64, 64}));
    for (const char* bad : {"", "800", "x600", "800x", "-1x5", "1.5x2", "100001x1", "8 x 6"})
        EXPECT_FALSE(ParseMinSize(bad)) << bad;

    std::string error;
    EXPECT_EQ(ParsePictureTypes("WEBP, jpeg,png,jpg,other", error),
              (std::vector<std::string>{"webp", "jpg", "png", "other"}));
    EXPECT_FALSE(ParsePictureTypes("webp,heic", error));
    EXPECT_NE(error.find("unknown picture type 'heic' (one of jpg, png, gif, webp, avif"), std::string::npos);
    EXPECT_FALSE(ParsePictureTypes("webp,", error));
    EXPECT_NE(error.find("an empty picture type"), std::string::npos);
}

// The size of an AVIF or HEIF picture from its first bytes: the primary item's extents,
// turned by its rotation, whatever other items the file holds; an icon's, its largest.
TEST(PictureRules, TheSizeOfAnAvifIsItsPrimaryItemsExtentsAndOfAnIconItsLargestEntry) {
    const auto u32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    const auto box = [&](const std::string& type, const std::string& body) {
        return u32(static_cast<std::uint32_t>(body.size() + 8)) + type + body;
    };
    const auto ispe = [&](std::uint32_t w, std::uint32_t h) { return box("ispe", u32(0) + u32(w) + u32(h)); };
    const auto file = [&](const std::string& brand, const std::string& properties, const std::string& more) {
        return box("ftyp", brand + u32(0) + brand) +
               box("meta", u32(0) + box("pitm", u32(0) + std::string("\0\2", 2)) +
                               box("iprp", box("ipco", properties) + more));
    };
    // Item 2 (the primary) has properties 2 and 3; item 1 (its alpha, say) property 1.
    const std::string ipma = box("ipma", u32(0) + u32(2) + std::string("\0\1\1\x81", 4) +
                                             std::string("\0\2\2\x82\x03", 5));
    const struct {
        std::string head;
        std::optional<std::pair<int, int>> size;
    } cases[] = {
        {test::ReadData("shown/pics/hero.avif"), std::pair(640, 360)},
        {test::ReadData("shown/pics/poster.avif"), std::pair(160, 90)},
        {file("avif", ispe(8, 8) + ispe(640, 360), ipma), std::pair(640, 360)},
        {file("heic", ispe(8, 8) + ispe(640, 360) + box("irot", std::string(1, 1)), ipma), std::pair(360, 640)},
        {file("avif", ispe(300, 200), ""), std::pair(300, 200)},  // no association: the first extents
        {file("avif", ispe(0, 200), ""), std::nullopt},
        {file("jpeg", ispe(300, 200), ""), std::nullopt},  // no picture of the container
        {file("avif", ispe(300, 200), "").substr(0, 60), std::nullopt},  // too little of it
        {test::ReadData("shown/pics/hero.webp"), std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(IsoPictureSize(c.head), c.size) << c.head.size();

    // An icon shows its largest entry; 0 stands for 256.
    const auto entry = [](int w, int h) {
        return std::string{static_cast<char>(w), static_cast<char>(h)} + std::string(14, '\0');
    };
    const std::string icon = std::string("\0\0\1\0\3\0", 6) + entry(16, 16) + entry(0, 0) + entry(48, 48);
    EXPECT_EQ(IcoPictureSize(icon), std::pair(256, 256));
    EXPECT_EQ(IcoPictureSize(test::ReadData("shown/pics/favicon.ico")), std::pair(32, 32));
    EXPECT_EQ(IcoPictureSize(icon.substr(0, 30)), std::nullopt);  // fewer entries than it counts
    EXPECT_EQ(IcoPictureSize(test::ReadData("shown/pics/small.png")), std::nullopt);
}

}  // namespace
}  // namespace nuv
