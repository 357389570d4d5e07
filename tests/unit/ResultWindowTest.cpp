#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Strings.h"
#include "common/Text.h"
#include "library/logic/ResultDownloads.h"
#include "support/FakeNetwork.h"
#include "support/Files.h"
#include "support/Recorders.h"

namespace nuv {
namespace {

using namespace std::chrono_literals;
using test::FakeDownloader;
using test::RecordingDialogs;
using test::RecordingShell;

const std::string kDone = "全部下载完毕。";

std::string SavedText(const std::string& target) { return FormatS(strSavedAs, {target}); }

class RecordingHost : public ISaveFolder, public ISavedList, public IHintBar, public IProgressBar {
public:
    std::string SaveFolder() const override { return saveFolder; }
    void RefreshSavedList() override { ++refreshes; }
    void SaveFolderUnusable() override { ADD_FAILURE() << "no folder check in the result window"; }
    void ShowHint(const std::string& text) override { hints.push_back(text); }
    void SetProgressMaximum(int maximum) override { barMaximum = maximum; }
    void SetProgressPosition(int position) override { bar.push_back({barMaximum, position}); }
    void StepProgress() override { ADD_FAILURE() << "downloads set the bar, never step it"; }
    void ProcessWindowEvents() {
        ++eventRounds;
        if (onEvents) {
            auto once = std::move(onEvents);
            onEvents = nullptr;
            once();
        }
    }

    std::string saveFolder = "/save/";
    std::vector<std::string> hints;
    int refreshes = 0;
    std::string defaultSavePath;
    int barMaximum = -1;
    std::vector<std::pair<int, int>> bar;
    int eventRounds = 0;
    std::function<void()> onEvents;  // runs in the first event round, like a user click
};



class ResultWindowTest : public ::testing::Test {
protected:
    void SetUp() override { LoadLanguage(); }

    std::chrono::steady_clock::time_point now_{};
    RecordingHost host_;
    FakeDownloader downloader_;
    RecordingDialogs dialogs_;
    RecordingShell shell_;
    ExtractionLists lists_;
    ResultDownloads downloads_{ResultDownloadServices{host_, host_, host_, host_, host_.defaultSavePath,
                                                      [this] { host_.ProcessWindowEvents(); }, downloader_,
                                                      dialogs_, shell_, lists_, "/home/u/",
                                                      [this] { return now_; }}};
};

TEST(ResultWindowRules, PageAndArchiveExtensionsAreFoundAnywhereIgnoringCase) {
    struct Case {
        const char* address;
        bool page;
        bool archive;
    };
    const Case cases[] = {
        {"http://host/pics/a.jpg", false, false},
        {"http://host/show.asp?id=1", true, false},
        {"http://host/files/x.zip", false, true},
        {"http://img.tarot.example/a.jpg", false, true},  // ".tar" inside the host name
        {"HTTP://HOST/INDEX.HTML", true, false},
        {"http://host/a.jsp/pic.png", true, false},
        {"http://host/a.php.png", true, false},
        {"http://host/setup.EXE", false, true},
        {"http://host/data.dat?x=.htm", true, true},
        {"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HasPageExtension(c.address), c.page) << c.address;
        EXPECT_EQ(HasArchiveExtension(c.address), c.archive) << c.address;
    }
}

TEST(ResultWindowRules, TargetFileIsTheFolderFollowedByTheLastSegment) {
    EXPECT_EQ(DownloadTargetFile("/save/", "http://host/pics/a.jpg"), "/save/a.jpg");
    EXPECT_EQ(DownloadTargetFile("/save/", "http://host/img/b.png?v=2"), "/save/b.png?v=2");
    EXPECT_EQ(DownloadTargetFile("/save/", "c.gif"), "/save/c.gif");
    EXPECT_EQ(DownloadTargetFile("", "http://host/a.jpg"), "a.jpg");
    EXPECT_EQ(DownloadTargetFile("/save/", "http://host/show.asp?id=1"), std::nullopt);
    EXPECT_EQ(DownloadTargetFile("/save/", "http://host/files/x.zip"), std::nullopt);
    EXPECT_EQ(DownloadTargetFile("/save/", "http://img.tarot.example/a.jpg"), std::nullopt);
    // Names that would write the folder itself or its parent.
    EXPECT_EQ(DownloadTargetFile("/save/", "http://host/pics/"), std::nullopt);
    EXPECT_EQ(DownloadTargetFile("/save/", "http://host/pics/."), std::nullopt);
    EXPECT_EQ(DownloadTargetFile("/save/", "http://host/pics/.."), std::nullopt);
    // Names too long for the file system keep their extension and whole characters.
    const std::string longName = std::string(300, 'n') + ".jpeg";
    EXPECT_EQ(DownloadTargetFile("/save/", "http://host/" + longName), "/save/" + std::string(250, 'n') + ".jpeg");
    std::string chinese;
    for (int i = 0; i < 100; ++i) chinese += "图";  // 3 bytes each
    EXPECT_EQ(ShortenFileName(chinese + ".png"), chinese.substr(0, 249) + ".png");
    EXPECT_EQ(ShortenFileName(std::string(256, 'x')), std::string(255, 'x'));
    EXPECT_EQ(ShortenFileName(std::string(200, 'x') + "." + std::string(100, 'y')).size(), 255u);
}

TEST_F(ResultWindowTest, ClickDownloadsIntoTheSaveFolderAndAnnouncesIt) {
    downloads_.ResultPageClick("IMG", "http://host/pics/a.jpg");
    ASSERT_EQ(downloader_.calls.size(), 1u);
    EXPECT_EQ(downloader_.calls[0].url, "http://host/pics/a.jpg");
    EXPECT_EQ(downloader_.calls[0].file, "/save/a.jpg");
    EXPECT_EQ(host_.hints, (std::vector<std::string>{SavedText("/save/a.jpg"), kDone}));
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{SavedText("/save/a.jpg")});
    EXPECT_EQ(host_.refreshes, 1);
    EXPECT_EQ(downloads_.TargetFolder, "/save/");
    EXPECT_EQ(downloads_.CurrentDownload(), "");

    downloads_.ResultPageClick("a", "http://host/img/b.png?v=2");
    ASSERT_EQ(downloader_.calls.size(), 2u);
    EXPECT_EQ(downloader_.calls[1].file, "/save/b.png?v=2");
}

TEST_F(ResultWindowTest, ClicksThatDownloadNothing) {
    downloads_.ResultPageClick("td", "http://host/pics/a.jpg");  // neither picture nor link
    downloads_.ResultPageClick("a", "  \t ");
    downloads_.ResultPageClick("a", "http://host/show.asp?id=1");
    EXPECT_TRUE(downloader_.calls.empty());
    EXPECT_TRUE(host_.hints.empty());
    EXPECT_EQ(host_.refreshes, 0);

    // An archive is skipped, yet the hint and the list are updated.
    downloads_.ResultPageClick("a", "http://host/files/x.zip");
    EXPECT_TRUE(downloader_.calls.empty());
    EXPECT_EQ(host_.hints, std::vector<std::string>{kDone});
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(host_.refreshes, 1);

    // No usable file name: nothing is written, and the user is told why.
    host_.hints.clear();
    downloads_.ResultPageClick("a", "http://host/pics/..");
    downloads_.ResultPageClick("img", "http://host/pics/");
    EXPECT_TRUE(downloader_.calls.empty());
    EXPECT_EQ(host_.hints, (std::vector<std::string>{"下载失败：http://host/pics/..（地址中没有文件名）",
                                                      "下载失败：http://host/pics/（地址中没有文件名）"}));
}

TEST_F(ResultWindowTest, AFailedClickDownloadSaysWhy) {
    downloader_.failing.insert("http://host/gone.png");
    downloads_.ResultPageClick("img", "http://host/gone.png");
    EXPECT_EQ(downloader_.calls.size(), 1u);
    const std::vector<std::string> failed{"下载失败：gone.png（refused: http://host/gone.png）"};
    EXPECT_EQ(host_.hints, failed);
    EXPECT_EQ(dialogs_.messages, failed);
    EXPECT_EQ(host_.refreshes, 1);
    EXPECT_EQ(downloads_.CurrentDownload(), "");
}

TEST_F(ResultWindowTest, BatchGoesOnPastAFailureAndCountsIt) {
    for (const char* a : {"http://h/1.jpg", "http://h/2.jpg", "http://h/page.htm", "http://h/3.jpg"})
        lists_.AddImage(a);
    lists_.FlashURLs.Add("http://h/m.swf");
    downloader_.failing.insert("http://h/2.jpg");
    downloads_.BtnSaveAllClick();
    ASSERT_EQ(downloader_.calls.size(), 3u);
    EXPECT_EQ(downloader_.calls[0].file, "/save/1.jpg");
    EXPECT_EQ(downloader_.calls[1].file, "/save/2.jpg");
    EXPECT_EQ(downloader_.calls[2].file, "/save/3.jpg");
    EXPECT_EQ(host_.hints, (std::vector<std::string>{SavedText("/save/1.jpg"), kDone,
                                                      "下载失败：2.jpg（refused: http://h/2.jpg）", kDone,
                                                      SavedText("/save/3.jpg"), kDone,
                                                      "下载结束，1个文件下载失败。"}));
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(host_.refreshes, 1);

    downloader_.calls.clear();
    host_.hints.clear();
    downloads_.ImageMode = false;
    downloads_.BtnSaveAllClick();
    ASSERT_EQ(downloader_.calls.size(), 1u);
    EXPECT_EQ(downloader_.calls[0].url, "http://h/m.swf");
    EXPECT_EQ(host_.hints.back(), kDone);
}

TEST_F(ResultWindowTest, WithoutASaveFolderNothingIsDownloaded) {
    host_.saveFolder = " ";
    lists_.AddImage("http://h/1.jpg");
    downloads_.ResultPageClick("img", "http://h/1.jpg");
    downloads_.BtnSaveAllClick();
    EXPECT_TRUE(downloader_.calls.empty());
    EXPECT_EQ(host_.hints, (std::vector<std::string>{strInvalidFolderName, strInvalidFolderName}));
    EXPECT_EQ(host_.refreshes, 0);
}

TEST_F(ResultWindowTest, SaveAllAsIntoAFolderWhereEverythingFailsDoesNotOpenIt) {
    lists_.AddImage("http://h/1.jpg");
    downloader_.failing.insert("http://h/1.jpg");
    dialogs_.answer = "/read-only/";
    downloads_.BtnSaveAllAsClick();
    EXPECT_EQ(host_.hints.back(), "下载结束，1个文件下载失败。");
    EXPECT_TRUE(shell_.opened.empty());
}

TEST_F(ResultWindowTest, ClosingTheWindowStopsTheBatchWithoutAWord) {
    for (const char* a : {"http://h/1.jpg", "http://h/2.jpg", "http://h/3.jpg"}) lists_.AddImage(a);
    downloader_.reports["http://h/2.jpg"] = {{1, 100, 0, ""}, {2, 100, 0, ""}};
    bool closing = false;
    host_.onEvents = [&] { closing = true; };  // the user closes the window during 2.jpg
    ResultDownloads downloads{ResultDownloadServices{host_, host_, host_, host_, host_.defaultSavePath,
                                                     [this] { host_.ProcessWindowEvents(); }, downloader_,
                                                     dialogs_, shell_, lists_, "/home/u/", [this] { return now_; },
                                                     [&] { return closing; }}};
    downloads.BtnSaveAllClick();
    ASSERT_EQ(downloader_.calls.size(), 2u);  // 3.jpg never starts
    EXPECT_EQ(host_.hints, (std::vector<std::string>{SavedText("/save/1.jpg"), kDone}));
    EXPECT_EQ(host_.refreshes, 0);
    EXPECT_TRUE(dialogs_.messages.empty());
}

// A busy server is asked again after a wait, as nuv-extract asks it; closing the window
// ends the wait at once, without a word.
TEST_F(ResultWindowTest, ABusyServerIsAskedAgainUnlessTheWindowCloses) {
    const DownloadError busy = DownloadError("HTTP 503", DownloadFailure::Http).WithAnswer(503, std::nullopt);
    downloader_.failFirst["http://h/busy.jpg"] = {busy};
    downloads_.ResultPageClick("IMG", "http://h/busy.jpg");
    ASSERT_EQ(downloader_.calls.size(), 2u);
    EXPECT_EQ(host_.hints, (std::vector<std::string>{SavedText("/save/busy.jpg"), kDone}));

    downloader_.calls.clear();
    downloader_.failFirst["http://h/busy.jpg"] = {busy, busy};
    ResultDownloads closing{ResultDownloadServices{host_, host_, host_, host_, host_.defaultSavePath,
                                                   [this] { host_.ProcessWindowEvents(); }, downloader_, dialogs_,
                                                   shell_, lists_, "/home/u/", [this] { return now_; },
                                                   [this] { return downloader_.calls.size() == 1; }}};
    host_.hints.clear();
    closing.ResultPageClick("IMG", "http://h/busy.jpg");
    EXPECT_EQ(downloader_.calls.size(), 1u);
    EXPECT_TRUE(host_.hints.empty());
}

TEST_F(ResultWindowTest, TheProgramsOwnFilesAreNeverReplaced) {
    const test::TempFolder scratch{"nuv-own-files"};
    const std::filesystem::path dir = scratch.Dir();
    const std::string folder = dir.string() + "/";
    host_.saveFolder = folder;
    ResultDownloads downloads{ResultDownloadServices{host_, host_, host_, host_, host_.defaultSavePath,
                                                     {}, downloader_, dialogs_, shell_, lists_, "/home/u/", {}, {},
                                                     {folder + "defualt.ini", folder + "nuv-webextract"}}};
    downloads.ResultPageClick("a", "http://h/cfg/defualt.ini");
    downloads.ResultPageClick("a", "http://h/nuv-webextract");
    downloads.ResultPageClick("a", "http://h/other.ini");
    // Reached through a linked folder, the settings file is still the program's own.
    std::filesystem::create_directory_symlink(dir, dir / "alias");
    host_.saveFolder = folder + "alias/";
    downloads.ResultPageClick("a", "http://h/defualt.ini");
    ASSERT_EQ(downloader_.calls.size(), 1u);
    EXPECT_EQ(downloader_.calls[0].file, folder + "other.ini");
    EXPECT_EQ(dialogs_.messages[0], "不能覆盖本程序自己的文件：" + folder + "defualt.ini");
    EXPECT_EQ(dialogs_.messages.back(), "不能覆盖本程序自己的文件：" + folder + "alias/defualt.ini");
}

TEST_F(ResultWindowTest, EmptyBatchStillRefreshesTheList) {
    downloads_.BtnSaveAllClick();
    EXPECT_TRUE(downloader_.calls.empty());
    EXPECT_EQ(host_.refreshes, 1);
}

TEST_F(ResultWindowTest, BatchKeepsItsListAndFolderWhileTheUserActsDuringADownload) {
    lists_.AddImage("http://h/1.jpg");
    lists_.AddImage("http://h/2.jpg");
    lists_.AddImage("http://h/3.jpg");
    downloader_.reports["http://h/1.jpg"] = {{10, 100, 0, ""}};
    dialogs_.answer = "/chosen";
    host_.onEvents = [this] {
        // A new extraction clears the list and a click downloads into the save folder.
        lists_.ClearImages();
        downloads_.ResultPageClick("img", "http://other/x.png");
        EXPECT_EQ(downloads_.CurrentDownload(), "");
    };
    downloads_.BtnSaveAllAsClick();
    std::vector<std::string> files;
    for (const auto& c : downloader_.calls) files.push_back(c.file);
    EXPECT_EQ(files, (std::vector<std::string>{"/chosen/1.jpg", "/save/x.png", "/chosen/2.jpg", "/chosen/3.jpg"}));
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{SavedText("/save/x.png")});
}

TEST_F(ResultWindowTest, SaveAllAsUsesTheChosenFolderAndOpensIt) {
    const test::TempFolder scratch{"nuv-saveallas"};
    const std::filesystem::path dir = scratch.Dir();
    lists_.AddImage("http://h/1.jpg");
    dialogs_.answer = "  " + dir.string() + "//";
    downloads_.BtnSaveAllAsClick();
    const std::string folder = dir.string() + "/";
    EXPECT_EQ(dialogs_.titles, std::vector<std::string>{"/home/u/"});
    EXPECT_EQ(downloads_.TargetFolder, folder);
    EXPECT_EQ(host_.defaultSavePath, folder);
    ASSERT_EQ(downloader_.calls.size(), 1u);
    EXPECT_EQ(downloader_.calls[0].file, folder + "1.jpg");
    EXPECT_EQ(host_.refreshes, 1);
    EXPECT_EQ(shell_.opened, std::vector<std::string>{folder});
}

TEST_F(ResultWindowTest, CancelledSaveAllAsDoesNothing) {
    lists_.AddImage("http://h/1.jpg");
    dialogs_.answer = "";
    downloads_.BtnSaveAllAsClick();
    EXPECT_TRUE(downloader_.calls.empty());
    EXPECT_TRUE(host_.defaultSavePath.empty());
    EXPECT_EQ(host_.refreshes, 0);
    EXPECT_TRUE(shell_.opened.empty());
}

TEST_F(ResultWindowTest, ProgressBarIsUpdatedAtMostEvery50Milliseconds) {
    struct Step {
        std::chrono::milliseconds at;
        std::uint64_t progress;
        bool shown;   // the bar is updated
        bool events;  // the window handles its events
    };
    const Step steps[] = {
        {0ms, 0, true, true},  // the first report of a download
        {10ms, 10, false, false},
        {49ms, 20, false, false},
        {50ms, 30, true, true},  // 50 ms after the last update
        {60ms, 40, false, false},
        {99ms, 50, false, false},
        {105ms, 60, true, true},
        {110ms, 100, true, true},     // completion is shown at once
        {111ms, 100, false, false},   // ... and only once
        {170ms, 100, false, true},    // a stalled transfer still lets the window answer
    };
    for (const Step& s : steps) {
        const size_t before = host_.bar.size();
        const int rounds = host_.eventRounds;
        now_ = std::chrono::steady_clock::time_point(s.at);
        downloads_.DownloadProgress({s.progress, 100, 0, ""});
        EXPECT_EQ(host_.bar.size() - before, s.shown ? 1u : 0u) << s.at.count();
        EXPECT_EQ(host_.eventRounds - rounds, s.events ? 1 : 0) << s.at.count();
        if (s.shown) {
            EXPECT_EQ(host_.bar.back(), (std::pair<int, int>{100, static_cast<int>(s.progress)}));
        }
    }

    // A new download shows its first report at once. A size never known keeps the bar
    // empty (a range of 0 to 0 would show "busy" for ever), then full once saved.
    downloader_.reports["http://h/1.jpg"] = {{0, 0, 0, ""}, {5, 0, 0, ""}};
    host_.bar.clear();
    downloads_.DownloadResource("http://h/1.jpg", false);
    EXPECT_EQ(host_.bar, (std::vector<std::pair<int, int>>{{1, 0}, {1, 1}}));
}

TEST_F(ResultWindowTest, ABatchOfShortFilesLetsTheWindowHandleItsEventsAtMostEvery50Milliseconds) {
    for (const char* a : {"http://h/1.jpg", "http://h/2.jpg", "http://h/3.jpg", "http://h/4.jpg"}) {
        lists_.AddImage(a);
        downloader_.reports[a] = {{0, 10, 0, ""}, {10, 10, 0, ""}};
    }
    downloads_.BtnSaveAllClick();
    EXPECT_EQ(downloader_.calls.size(), 4u);
    // The clock stands still: the batch's first report and its first completion only.
    EXPECT_EQ(host_.eventRounds, 2);
    EXPECT_EQ(host_.bar.back(), (std::pair<int, int>{10, 10}));
}

TEST_F(ResultWindowTest, AClickDuringABatchLeavesTheBatchItsOwnProgress) {
    lists_.AddImage("http://h/1.jpg");
    downloader_.reports["http://h/1.jpg"] = {{0, 100, 0, ""}, {50, 100, 0, ""}, {100, 100, 0, ""}};
    downloader_.reports["http://h/2.jpg"] = {{0, 10, 0, ""}, {10, 10, 0, ""}};
    host_.onEvents = [this] { downloads_.ResultPageClick("img", "http://h/2.jpg"); };
    downloads_.BtnSaveAllClick();
    // The click's completion does not stand for the batch's, which still shows.
    EXPECT_EQ(host_.bar, (std::vector<std::pair<int, int>>{{100, 0}, {10, 0}, {10, 10}, {100, 100}}));
}

// Pictures the page showed: one whose address names no type takes the type its answer
// tells, none overwrites another of the batch, and a click takes one even where its
// address looks like a web page.
TEST_F(ResultWindowTest, ShownPicturesAreNamedByTheirAnswersAndNeverShareAName) {
    const test::TempFolder scratch{"nuv-shown-batch"};
    const std::filesystem::path dir = scratch.Dir();
    const std::string folder = dir.string() + "/";
    host_.saveFolder = folder;
    lists_.AddImage("http://h/hero.jpg");
    lists_.AddImage("http://h/cdn/hero", {ImagePlace::Shown});
    lists_.AddImage("http://h/x/hero.jpg", {ImagePlace::Shown});
    lists_.AddImage("http://h/img.php?id=1", {ImagePlace::Shown});
    downloader_.bodies = {{"http://h/hero.jpg", "\xFF\xD8\xFF one"},
                          {"http://h/cdn/hero", "RIFF"},
                          {"http://h/x/hero.jpg", "\xFF\xD8\xFF two"},
                          {"http://h/img.php?id=1", "GIF89a"}};
    downloader_.reports["http://h/cdn/hero"] = {{4, 4, 200, "", "image/webp"}};
    downloads_.BtnSaveAllClick();
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"hero (2).webp", "hero (3).jpg", "hero.jpg", "img.php.gif"}));
    EXPECT_EQ(host_.hints, (std::vector<std::string>{SavedText(folder + "hero.jpg"), kDone,
                                                      SavedText(folder + "hero (2).webp"), kDone,
                                                      SavedText(folder + "hero (3).jpg"), kDone,
                                                      SavedText(folder + "img.php.gif"), kDone}));

    std::filesystem::remove(dir / "img.php.gif");
    downloads_.ResultPageClick("img", "http://h/img.php?id=1");
    EXPECT_TRUE(std::filesystem::exists(dir / "img.php.gif"));
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{SavedText(folder + "img.php.gif")});
}

TEST_F(ResultWindowTest, ABatchTakesWhatTheFilterShowsAndSaysSo) {
    for (const char* a : {"http://h/1.jpg", "http://h/2.jpg", "http://h/3.jpg", "http://h/4.jpg"}) lists_.AddImage(a);
    lists_.FlashURLs.Add("http://h/m.swf");
    std::optional<std::vector<std::string>> shown = std::vector<std::string>{"http://h/4.jpg", "http://h/2.jpg", "http://x/9.jpg"};
    int asked = 0;
    ResultDownloads downloads{ResultDownloadServices{host_, host_, host_, host_, host_.defaultSavePath, {}, downloader_,
                                                     dialogs_, shell_, lists_, "/home/u/", {}, {}, {},
                                                     [&] {
                                                         ++asked;
                                                         return shown;
                                                     }}};
    downloads.BtnSaveAllClick();
    ASSERT_EQ(downloader_.calls.size(), 2u);  // in list order
    EXPECT_EQ(downloader_.calls[0].url, "http://h/2.jpg");
    EXPECT_EQ(downloader_.calls[1].url, "http://h/4.jpg");
    EXPECT_EQ(host_.hints.back(), "全部下载完毕（按筛选：4 张中的 2 张）。");
    EXPECT_EQ(BatchEndHint(1, 2, 4), "下载结束，1个文件下载失败（按筛选：4 张中的 2 张）。");

    // No filter set: the whole list, as always; the Flash page has no filter to ask.
    shown.reset();
    downloader_.calls.clear();
    downloads.BtnSaveAllClick();
    EXPECT_EQ(downloader_.calls.size(), 4u);
    EXPECT_EQ(host_.hints.back(), kDone);
    downloads.ImageMode = false;
    downloads.BtnSaveAllClick();
    EXPECT_EQ(downloader_.calls.back().url, "http://h/m.swf");
    EXPECT_EQ(asked, 2);
}

}  // namespace
}  // namespace nuv
