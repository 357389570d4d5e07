// nuv-extract's options for the pictures the page shows: --shown, --min-size, --types, what
// --json says of each picture, and the names of their downloads.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/logic/CliJson.h"
#include "cli/logic/CliOutput.h"
#include "cli/logic/ExtractCli.h"

namespace nuv {
namespace {

TEST(ExtractCliPictures, OptionsAndTheirMistakes) {
    const CliParseResult r =
        ParseExtractCliArguments({"--shown", "--min-size", "320x200", "--types=WEBP,jpeg", "-d", "a.example"});
    ASSERT_EQ(r.error, "");
    EXPECT_TRUE(r.options.shown && r.options.describePictures);
    EXPECT_EQ(r.options.filter.minWidth, 320);
    EXPECT_EQ(r.options.filter.minHeight, 200);
    EXPECT_EQ(r.options.filter.types, (std::vector<std::string>{"webp", "jpg"}));
    // The pictures the page shows are listed by default, without sizes, which the static
    // reading then gives; --designed-only keeps to the three designed places.
    const CliParseResult plain = ParseExtractCliArguments({"a.example"});
    EXPECT_TRUE(plain.options.shown && !plain.options.describePictures && StaticEngineFits(plain.options));
    EXPECT_FALSE(plain.options.filter.Active());
    EXPECT_FALSE(ParseExtractCliArguments({"--designed-only", "a"}).options.shown);
    EXPECT_FALSE(ParseExtractCliArguments({"-t", "flash", "a"}).options.shown);
    EXPECT_TRUE(StaticEngineFits(ParseExtractCliArguments({"--shown", "a"}).options));
    EXPECT_TRUE(StaticEngineFits(ParseExtractCliArguments({"--shown", "--jsonl", "--min-size", "2x2", "a"}).options));

    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--min-size", "300", "a"}, "--min-size needs a width and height in pixels such as 200x150, not '300'"},
        {{"--min-size"}, "--min-size needs a value"},
        {{"--types", "webp,heic", "a"}, "--types: unknown picture type 'heic' (one of jpg, png, gif, webp, avif, jxl, "
                                         "svg, ico, bmp, tiff, psd, emf, wmf, other)"},
        {{"--shown=yes", "a"}, "--shown takes no value"},
        {{"-t", "css", "--shown", "a"},
         "--shown, --designed-only, --min-size and --types are for pictures: only with the type images"},
        {{"--types", "png", "-tflash", "a"},
         "--shown, --designed-only, --min-size and --types are for pictures: only with the type images"},
        {{"-t", "other", "--designed-only", "a"},
         "--shown, --designed-only, --min-size and --types are for pictures: only with the type images"},
        {{"--designed-only", "--shown", "a"}, "--designed-only excludes --shown and --scroll, which add the pictures the page shows"},
        {{"--scroll", "--designed-only", "a"}, "--designed-only excludes --shown and --scroll, which add the pictures the page shows"},
    };
    for (const auto& [args, error] : bad) EXPECT_EQ(ParseExtractCliArguments(args).error, error) << args.front();
    for (const char* option : {"--shown", "--designed-only", "--min-size WxH", "--types LIST"})
        EXPECT_NE(ExtractCliUsage().find(option), std::string::npos) << option;
}

TEST(ExtractCliPictures, JsonSaysWhereEachPictureWasFoundAndItsSize) {
    CliReport r;
    r.pageAddress = "http://h/index.html";
    r.list = {"http://h/a.png", "http://h/s/bg.gif", "http://f/x.jpg", "http://h/cdn/8f3a?w=1"};
    EXPECT_EQ(FormatJsonOutput(r), "{\"address\":\"http://h/index.html\",\"type\":\"images\",\"list\":["
                                   "\"http://h/a.png\",\"http://h/s/bg.gif\",\"http://f/x.jpg\",\"http://h/cdn/8f3a?w=1\"]}\n");
    r.notes = {{ImagePlace::Page, 10, 20},
               {ImagePlace::Sheet},
               {ImagePlace::Frame, 1, 1},
               {ImagePlace::Shown, 800, 450, "image/webp"}};
    r.describePictures = true;
    EXPECT_EQ(FormatJsonOutput(r),
              "{\"address\":\"http://h/index.html\",\"type\":\"images\",\"list\":["
              "\"http://h/a.png\",\"http://h/s/bg.gif\",\"http://f/x.jpg\",\"http://h/cdn/8f3a?w=1\"],\"pictures\":["
              "{\"address\":\"http://h/a.png\",\"found\":\"page\",\"type\":\"png\",\"width\":10,\"height\":20},"
              "{\"address\":\"http://h/s/bg.gif\",\"found\":\"sheet\",\"type\":\"gif\"},"
              "{\"address\":\"http://f/x.jpg\",\"found\":\"frame\",\"type\":\"jpg\",\"width\":1,\"height\":1},"
              "{\"address\":\"http://h/cdn/8f3a?w=1\",\"found\":\"shown\",\"type\":\"webp\",\"width\":800,\"height\":450}]}\n");
}

TEST(ExtractCliPictures, FilterKeepsListAndNotesTogether) {
    std::vector<std::string> list = {"http://h/a.png", "http://h/b.webp", "http://h/c", "http://h/d.webp"};
    std::vector<ImageNote> notes = {{ImagePlace::Page, 800, 600},
                                    {ImagePlace::Shown, 100, 600},
                                    {ImagePlace::Shown, 900, 900, "image/webp"},
                                    {ImagePlace::Shown, 0, 0}};
    FilterPictures(list, notes, PictureFilter{});  // no filter: all stay
    EXPECT_EQ(list.size(), 4u);
    FilterPictures(list, notes, PictureFilter{200, 200, {"webp", "png"}});
    EXPECT_EQ(list, (std::vector<std::string>{"http://h/a.png", "http://h/c"}));
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1].width, 900);
}

TEST(ExtractCliPictures, ShownPicturesAreNeverSkippedAndNeverShareAName) {
    const std::vector<std::string> list = {"http://h/a.png", "http://h/x/a.png", "http://h/img.php?id=2",
                                           "http://h/cdn/a", "http://h/page.php?b.png"};
    const std::vector<ImageNote> notes = {{ImagePlace::Page}, {ImagePlace::Shown}, {ImagePlace::Shown},
                                          {ImagePlace::Shown}, {ImagePlace::Page}};
    const std::vector<PlannedDownload> plans = PlanDownloads(DocType::Images, "/s/", list, notes);
    ASSERT_EQ(plans.size(), 5u);
    EXPECT_EQ(plans[0].file, "/s/a.png");
    EXPECT_EQ(plans[1].file, "/s/a (2).png");
    EXPECT_EQ(plans[2].file, "/s/.nuvpart.shown.img.php");
    EXPECT_EQ(plans[2].stemFile, "/s/img.php");
    EXPECT_EQ(plans[3].stemFile, "/s/a (3)");  // its type is open: clear of both a.png
    EXPECT_EQ(plans[4].skipReason, "web page");
    // Without notes (other types, no --shown) every address is planned as before.
    const std::vector<PlannedDownload> before = PlanDownloads(DocType::Images, "/s/", list, {});
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(before[i].file, PlanDownload(DocType::Images, "/s/", list[i]).file) << list[i];
        EXPECT_EQ(before[i].stemFile, "");
    }
}

}  // namespace
}  // namespace nuv
