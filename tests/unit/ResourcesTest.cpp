#include "common/Resources.h"

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "support/Files.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;

const fs::path kResources = NUV_RESOURCES_DIR;

using test::ReadFile;

uint32_t Le(const std::string& b, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

uint32_t Be16(const std::string& b, size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 8) | static_cast<unsigned char>(b[at + 1]);
}

struct Size {
    int width;
    int height;
};

// Checks a complete uncompressed 24-bit BMP file and returns its size.
std::optional<Size> BmpSize(const std::string& b, std::string& why) {
    if (b.size() < 54 || b.compare(0, 2, "BM") != 0) return why = "no BM header", std::nullopt;
    if (Le(b, 2, 4) != b.size()) return why = "file size field differs from the file", std::nullopt;
    const uint32_t offset = Le(b, 10, 4);
    if (Le(b, 14, 4) < 40) return why = "no BITMAPINFOHEADER", std::nullopt;
    const int width = static_cast<int32_t>(Le(b, 18, 4));
    const int height = static_cast<int32_t>(Le(b, 22, 4));
    if (Le(b, 26, 2) != 1) return why = "planes", std::nullopt;
    if (Le(b, 28, 2) != 24) return why = "not 24 bits per pixel", std::nullopt;
    if (Le(b, 30, 4) != 0) return why = "compressed", std::nullopt;
    const int rows = height < 0 ? -height : height;
    const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) / 4 * 4;
    if (width <= 0 || offset + stride * rows > b.size()) return why = "pixel data missing", std::nullopt;
    return Size{width, rows};
}

// Walks the markers of a JPEG file up to its frame header and returns the frame size.
std::optional<Size> JpegSize(const std::string& b, std::string& why) {
    if (b.size() < 4 || b.compare(0, 2, "\xFF\xD8") != 0) return why = "no SOI", std::nullopt;
    if (b.compare(b.size() - 2, 2, "\xFF\xD9") != 0) return why = "no EOI at the end", std::nullopt;
    size_t at = 2;
    while (at + 4 <= b.size()) {
        if (static_cast<unsigned char>(b[at]) != 0xFF) return why = "marker expected", std::nullopt;
        const unsigned marker = static_cast<unsigned char>(b[at + 1]);
        const uint32_t length = Be16(b, at + 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 9 > b.size()) break;
            return Size{static_cast<int>(Be16(b, at + 7)), static_cast<int>(Be16(b, at + 5))};
        }
        if (length < 2) return why = "bad segment length", std::nullopt;
        at += 2 + length;
    }
    return why = "no frame header", std::nullopt;
}

struct Glyph {
    const char* name;
    int maxWidth;  // the width of the button that shows it, or the largest glyph width
};

const Glyph kGlyphs[] = {
    {"BTNABOUT", 122},      {"BTNABOUTSMALL", 122},   {"BTNCLOSE", 57},       {"BTNDEFAULT", 122},
    {"BTNEXIT", 122},       {"BTNFULLSCREEN", 122},   {"BTNHELP", 122},       {"BTNHELPDOC2", 122},
    {"BTNONLINEUPDATE", 122}, {"BTNOPENWEBPAGE", 101}, {"BTNOTHERFUN", 122},   {"BTNSAVE", 122},
    {"BTNSAVEALL", 82},     {"BTNSAVEALLAS", 97},     {"BTNZELTABOUT", 122},  {"BTNZELTHELP", 122},
    {"BUTTONCONFIG", 122},  {"CANCEL", 122},          {"CONFIRM", 122},       {"NEWDIR", 122},
    {"OPENDIR", 122},       {"SELECTPATH", 89},       {"ZELT_EXIT", 122},
};

struct Banner {
    const char* name;
    Size size;
};

const Banner kBanners[] = {
    {"TESVARN", {120, 55}},         {"HELPDOC", {160, 98}},      {"IMGPREVIEWTITLE", {406, 22}},
    {"RESSAVETITLE", {396, 22}},    {"RESTYPETITLE", {355, 22}}, {"TOPAVERT", {160, 5}},
    {"ZELTTOP", {160, 11}},         {"UPDATEBANNER", {651, 98}},
};

TEST(Resources, NamesAndTypesMapToLowerCaseFiles) {
    EXPECT_EQ(ResourceFile("BTNOPENWEBPAGE", "BMP"), "bmp/btnopenwebpage.bmp");
    EXPECT_EQ(ResourceFile("BtnSaveAllAs", "bmp"), "bmp/btnsaveallas.bmp");
    EXPECT_EQ(ResourceFile("Tesvarn", "jpg"), "jpg/tesvarn.jpg");
    EXPECT_EQ(ResourceFile("page1", "TXT"), "txt/page1.txt");
    EXPECT_EQ(ResourceFile("ZELT_EXIT", "Bmp"), "bmp/zelt_exit.bmp");
    EXPECT_EQ(std::string(ResourcePrefix) + ResourceFile("OpenDir", "BMP"), ":/res/bmp/opendir.bmp");
}

TEST(Resources, EveryGlyphIsA24BitBmp25PixelsHighThatFitsItsButton) {
    for (const Glyph& g : kGlyphs) {
        SCOPED_TRACE(g.name);
        const fs::path path = kResources / ResourceFile(g.name, "BMP");
        ASSERT_TRUE(fs::is_regular_file(path)) << path;
        std::string why;
        const auto size = BmpSize(ReadFile(path), why);
        ASSERT_TRUE(size) << why;
        EXPECT_EQ(size->height, 25);
        EXPECT_GE(size->width, 56);
        EXPECT_LE(size->width, g.maxWidth);
    }
}

TEST(Resources, EveryBannerIsAJpegOfItsSize) {
    for (const Banner& b : kBanners) {
        SCOPED_TRACE(b.name);
        const fs::path path = kResources / ResourceFile(b.name, "JPG");
        ASSERT_TRUE(fs::is_regular_file(path)) << path;
        std::string why;
        const auto size = JpegSize(ReadFile(path), why);
        ASSERT_TRUE(size) << why;
        EXPECT_EQ(size->width, b.size.width);
        EXPECT_EQ(size->height, b.size.height);
    }
}

TEST(Resources, HeaderParsersRejectBrokenFiles) {
    const std::string bmp = ReadFile(kResources / "bmp/opendir.bmp");
    const std::string jpg = ReadFile(kResources / "jpg/tesvarn.jpg");
    std::string why;
    ASSERT_TRUE(BmpSize(bmp, why));
    ASSERT_TRUE(JpegSize(jpg, why));
    EXPECT_FALSE(BmpSize(bmp.substr(0, bmp.size() - 1), why));
    std::string bpp32 = bmp;
    bpp32[28] = 32;
    EXPECT_FALSE(BmpSize(bpp32, why));
    EXPECT_FALSE(BmpSize("PK" + bmp.substr(2), why));
    EXPECT_FALSE(JpegSize(jpg.substr(0, jpg.size() / 2), why));
    EXPECT_FALSE(JpegSize(std::string("\xFF\xD8\xFF\xD9", 4), why));
}

// The declarations of one style rule, in order, from the rule's opening line to "}".
std::vector<std::string> Declarations(const std::vector<std::string>& lines, const std::string& selector) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]) != selector + " {") ++i;
    bool comment = false;
    for (++i; i < lines.size() && Trim(lines[i]) != "}"; ++i) {
        const std::string line = Trim(lines[i]);
        if (StartsWith(line, "/*")) comment = true;
        if (!comment && !line.empty()) out.push_back(line);
        if (comment && line.size() >= 2 && line.compare(line.size() - 2, 2, "*/") == 0) comment = false;
    }
    return out;
}

TEST(Resources, ResultPageHeadIs62CrLfLinesOf1317Bytes) {
    const std::string text = ReadFile(kResources / ResourceFile("page1", "TXT"));
    ASSERT_EQ(text.size(), 1317u);
    size_t crlf = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
            ++crlf;
        }
        if (text[i] == '\r') {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
        }
    }
    EXPECT_EQ(crlf, 62u);
    ASSERT_TRUE(StartsWith(text, "<html> <style>\r\n"));
    const std::vector<std::string> lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 62u);
    EXPECT_EQ(JoinLinesCrLf(lines), text);
    EXPECT_EQ(lines[60], "</style>");
    EXPECT_EQ(lines[61], "<body><table>");

    using L = std::vector<std::string>;
    EXPECT_EQ(Declarations(lines, "table"),
              (L{"text-align: center;", "font-family: Verdana;", "font-weight: normal;", "font-size: 11px;",
                 "color: #404040;", "background-color: #FFFFFF;", "border: 1px #6699CC solid;",
                 "border-collapse: collapse;", "border-spacing: 0px;", "margin-left: 0px;", "margin-right: 5px;",
                 "padding-left: 0px;", "margin-top: 5px;"}));
    EXPECT_EQ(Declarations(lines, "td"),
              (L{"border-bottom: 1px solid #6699CC;", "border-top: 0px;", "border-left: 1px solid #6699CC;",
                 "border-right: 0px;", "text-align: left;", "text-indent: 10px;",
                 "font-family: Verdana, sans-serif, Arial;", "font-weight: normal;", "font-size: 11px;",
                 "color: #404040;", "width: 200px;", "heigth: 200px;", "background-color: #FFFFFF;"}));
    EXPECT_EQ(Declarations(lines, "img"),
              (L{"max-width:200px;", "max-height:180px;",
                 "width: expression(this.width > 200 && this.width / 200 >= this.height / 180 ? 200 : true);",
                 "height: expression(this.height > 180 && this.width / 200 < this.height / 180 ? 180 : true);"}));
    EXPECT_EQ(Declarations(lines, "td.yemei"),
              (L{"border-bottom: 1px solid #6699CC;", "border-left: 1px solid #6699CC;", "background-color:#E0F0FF;",
                 "text-align: left;", "font-family: Verdana;", "font-weight: bold;", "font-size: 11px;",
                 "color: #404040;", "margin-top: 5px;"}));
    EXPECT_EQ(Declarations(lines, ".moreintro"), (L{"padding-left: 25px;", "margin-left: 0px;"}));

    // Nothing but the five rules, their comment and blank lines between the tags.
    size_t meaningful = 0;
    for (size_t i = 1; i < 60; ++i) {
        if (!Trim(lines[i]).empty()) ++meaningful;
    }
    EXPECT_EQ(meaningful, 41u + 5u * 2u + 2u);
}

TEST(Resources, HelpTextIsOneBlank) { EXPECT_EQ(ReadFile(kResources / ResourceFile("HELPLI5", "TXT")), " "); }

TEST(Resources, QrcListsEveryResourceFileUnderTheResPrefix) {
    const std::string qrc = ReadFile(kResources / "resources.qrc");
    ASSERT_NE(qrc.find("<qresource prefix=\"/res\">"), std::string::npos);
    std::set<std::string> listed;
    const std::regex file("<file>([^<]+)</file>");
    for (auto it = std::sregex_iterator(qrc.begin(), qrc.end(), file); it != std::sregex_iterator(); ++it) {
        EXPECT_TRUE(listed.insert((*it)[1].str()).second) << "listed twice: " << (*it)[1];
    }
    std::set<std::string> present;
    for (const char* folder : {"bmp", "jpg", "js", "txt"}) {
        for (const auto& entry : fs::directory_iterator(kResources / folder)) {
            present.insert(std::string(folder) + "/" + entry.path().filename().string());
        }
    }
    EXPECT_EQ(listed, present);
    for (const Glyph& g : kGlyphs) EXPECT_EQ(listed.count(ResourceFile(g.name, "BMP")), 1u) << g.name;
    for (const Banner& b : kBanners) EXPECT_EQ(listed.count(ResourceFile(b.name, "JPG")), 1u) << b.name;
    EXPECT_EQ(listed.count("txt/page1.txt"), 1u);
    EXPECT_EQ(listed.count("txt/helpli5.txt"), 1u);
    // The glyphs, the about window's frame pieces and the restart glyph, the banners, the
    // texts, the page scripts.
    EXPECT_EQ(present.size(), 23u + 9u + 8u + 2u + 14u);
}

}  // namespace
}  // namespace nuv
