#include "web/Address.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FakeNetwork.h"
#include "support/Files.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;

class FetchIntoSaveFolderTest : public ::testing::Test {
protected:
    FetchIntoSaveFolderTest() { downloader_.body = "a {}\r\nb { background: url(x.gif) }\nlast"; }

    test::TempFolder scratch_{"nuv-fetch"};
    fs::path root_ = scratch_.Dir();
    std::string folder_ = scratch_.Path() + "save/nested/";
    FetchOutcome out_;
    test::FakeDownloader downloader_;
};

TEST_F(FetchIntoSaveFolderTest, CreatesTheFolderAndReturnsTheLinesOfTheFile) {
    const auto lines = FetchIntoSaveFolder(folder_, downloader_, "http://site.example/css/Main.css", &out_);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(*lines, (std::vector<std::string>{"a {}", "b { background: url(x.gif) }", "last"}));
    ASSERT_EQ(downloader_.calls.size(), 1u);
    EXPECT_EQ(downloader_.calls[0].url, "http://site.example/css/Main.css");
    EXPECT_EQ(downloader_.calls[0].file, folder_ + "Main.css");
    EXPECT_EQ(test::ReadFile(folder_ + "Main.css"), *downloader_.body);
    EXPECT_TRUE(out_.saved);
    EXPECT_FALSE(out_.folderUnusable);
}

TEST_F(FetchIntoSaveFolderTest, ReplacesAnOlderFileOfTheSameName) {
    fs::create_directories(folder_);
    std::ofstream(folder_ + "a.css") << "old\n";
    downloader_.body = "new";
    const auto lines = FetchIntoSaveFolder(folder_, downloader_, "a.css", &out_);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(*lines, std::vector<std::string>{"new"});
    EXPECT_EQ(downloader_.calls.at(0).file, folder_ + "a.css");
}

TEST_F(FetchIntoSaveFolderTest, AFailedDownloadGivesNoLinesAndKeepsTheOlderFile) {
    fs::create_directories(folder_);
    std::ofstream(folder_ + "a.css") << "old\n";
    downloader_.error = "404 Not Found";
    auto lines = FetchIntoSaveFolder(folder_, downloader_, "http://site.example/a.css", &out_);
    ASSERT_TRUE(lines.has_value());
    EXPECT_TRUE(lines->empty());
    EXPECT_EQ(test::ReadFile(folder_ + "a.css"), "old\n");
    EXPECT_TRUE(out_.attempted);
    EXPECT_FALSE(out_.saved);
    EXPECT_FALSE(out_.folderUnusable);

    // A downloader that reports success but leaves no file gives no lines either.
    downloader_.error.clear();
    downloader_.body.reset();
    lines = FetchIntoSaveFolder(folder_, downloader_, "http://site.example/b.css", &out_);
    ASSERT_TRUE(lines.has_value());
    EXPECT_TRUE(lines->empty());
}

TEST_F(FetchIntoSaveFolderTest, AnUnusableFolderIsReportedWithoutADownload) {
    std::ofstream(root_ / "plain-file") << "x";
    folder_ = (root_ / "plain-file").string() + "/sub/";
    auto lines = FetchIntoSaveFolder(folder_, downloader_, "http://site.example/a.css", &out_);
    EXPECT_FALSE(lines.has_value());
    EXPECT_TRUE(downloader_.calls.empty());
    EXPECT_TRUE(out_.folderUnusable);
    EXPECT_FALSE(out_.attempted);

    // An empty save folder names no folder at all.
    folder_.clear();
    lines = FetchIntoSaveFolder(folder_, downloader_, "http://site.example/a.css", &out_);
    EXPECT_FALSE(lines.has_value());
    EXPECT_TRUE(downloader_.calls.empty());
    EXPECT_TRUE(out_.folderUnusable);
}

TEST_F(FetchIntoSaveFolderTest, AddressesWithoutAStorableFileNameWriteNothing) {
    for (const std::string& address :
         {std::string("http://site.example/"), std::string("http://site.example/css/.."),
          std::string("http://site.example/."), std::string(".."), std::string(""),
          std::string("http://site.example/a\0.css", 26)}) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(FetchIntoSaveFolder(folder_, downloader_, address, &out_).has_value());
        EXPECT_FALSE(out_.folderUnusable);
    }
    EXPECT_TRUE(downloader_.calls.empty());
    EXPECT_FALSE(fs::exists(root_ / "save"));
}

}  // namespace
}  // namespace nuv
