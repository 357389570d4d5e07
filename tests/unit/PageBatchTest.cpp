#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/logic/CliJson.h"
#include "cli/logic/CliOutput.h"
#include "save/DownloadArchive.h"
#include "cli/logic/PageBatch.h"
#include "support/Files.h"
#include "support/SqlFiles.h"

namespace nuv {
namespace {

// ---- Command line of a run over many pages ----

TEST(PageBatchArguments, ListOptionsAndSeveralAddresses) {
    CliParseResult r = ParseExtractCliArguments({"-i", "list.txt", "-j3", "--jsonl", "--layout=page", "--archive",
                                                 "done.sqlite", "--shard", "2/5", "-d"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.inputFile, "list.txt");
    EXPECT_EQ(r.options.jobs, 3);
    EXPECT_TRUE(r.options.jsonl);
    EXPECT_EQ(r.options.layout, FolderLayout::Page);
    EXPECT_EQ(r.options.archive, "done.sqlite");
    ASSERT_TRUE(r.options.shard.has_value());
    EXPECT_EQ(r.options.shard->index, 2);
    EXPECT_EQ(r.options.shard->count, 5);
    EXPECT_TRUE(r.options.addresses.empty());
    EXPECT_TRUE(IsListRun(r.options));

    r = ParseExtractCliArguments({"a", "--input-file=-", "--jobs", "1", "--layout", "HOST", "b"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.inputFile, "-");
    EXPECT_EQ(r.options.addresses, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(r.options.address, "a");
    EXPECT_EQ(r.options.layout, FolderLayout::Host);

    // One address stays a one-page run, whatever else is asked.
    r = ParseExtractCliArguments({"--jsonl", "--archive", "x", "a"});
    EXPECT_FALSE(IsListRun(r.options));
    EXPECT_EQ(r.options.layout, FolderLayout::Flat);
    EXPECT_EQ(r.options.jobs, 0);
    EXPECT_TRUE(IsListRun(ParseExtractCliArguments({"a", "b"}).options));

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"-j", "0", "a"}, "-j needs a number of pages from 1 to 32, not '0'"},
        {{"--jobs=33", "a"}, "--jobs needs a number of pages from 1 to 32, not '33'"},
        {{"-j", "2x", "a"}, "-j needs a number of pages from 1 to 32, not '2x'"},
        {{"--layout", "tree", "a"}, "unknown layout 'tree' for --layout (one of flat, host, page)"},
        {{"--shard", "0/3", "a"}, "--shard needs K/N with 1 <= K <= N, not '0/3'"},
        {{"--shard", "4/3", "a"}, "--shard needs K/N with 1 <= K <= N, not '4/3'"},
        {{"--shard=1/", "a"}, "--shard needs K/N with 1 <= K <= N, not '1/'"},
        {{"--shard", "2", "a"}, "--shard needs K/N with 1 <= K <= N, not '2'"},
        {{"-i", ""}, "-i needs a file"},
        {{"--archive=", "a"}, "--archive needs a file"},
        {{"--json", "a", "b"}, "--json prints one page; use --jsonl for several"},
        {{"--json", "-i", "l"}, "--json prints one page; use --jsonl for several"},
        {{"--json", "--jsonl", "a"}, "--json and --jsonl exclude each other"},
        {{"a", " "}, "the ADDRESS is empty"},
    };
    for (const auto& [args, error] : refused) EXPECT_EQ(ParseExtractCliArguments(args).error, error);
}

// ---- Which addresses a run takes ----

TEST(PageBatchAddresses, ListsSkipBlanksAndCommentsAndShardsSplitWithoutOverlap) {
    EXPECT_EQ(ParseAddressList("a.example/1\r\n\n   \n# a comment\n  #indented\n b.example/2 \r\nc"),
              (std::vector<std::string>{"a.example/1", "b.example/2", "c"}));
    EXPECT_EQ(ParseAddressList(""), std::vector<std::string>{});

    // Arguments first, each address once.
    EXPECT_EQ(RunAddresses({"x", " y "}, {"y", "z", "x"}, std::nullopt),
              (std::vector<std::string>{"x", "y", "z"}));

    // The hash is fixed: every machine puts an address into the same part.
    EXPECT_EQ(ShardOfAddress("http://a.example/", 7), 2);
    EXPECT_EQ(ShardOfAddress(" http://a.example/\t", 7), 2);
    EXPECT_EQ(ShardOfAddress("site.example/p1.html", 1000), 328);
    EXPECT_EQ(ShardOfAddress("http://127.0.0.1:8080/图.html", 7), 6);
    EXPECT_EQ(ShardOfAddress("anything", 1), 1);

    std::vector<std::string> all;
    for (int i = 0; i < 300; ++i) all.push_back("http://h.example/page" + std::to_string(i) + ".html");
    std::multiset<std::string> joined;
    for (int k = 1; k <= 3; ++k) {
        const std::vector<std::string> part = RunAddresses({}, all, CliShard{k, 3});
        EXPECT_GT(part.size(), 60u) << k;  // no part is starved
        joined.insert(part.begin(), part.end());
    }
    EXPECT_EQ(joined, std::multiset<std::string>(all.begin(), all.end()));
}

// ---- Where the files go ----

TEST(PageBatchFolders, LayoutsNameTheHostAndThePathOfThePage) {
    struct Case {
        FolderLayout layout;
        std::string page;
        std::string folder;
    };
    const std::string deep = "http://h/" + [] {
        std::string p;
        for (int i = 0; i < 20; ++i) p += "d" + std::to_string(i) + "/";
        return p;
    }();
    const std::vector<Case> cases = {
        {FolderLayout::Flat, "http://h.example/a/b.html", "/s/"},
        {FolderLayout::Host, "http://H.Example/a/b.html", "/s/h.example/"},
        {FolderLayout::Host, "https://user:pw@h.example:8443/x", "/s/h.example:8443/"},
        {FolderLayout::Host, "file:///home/u/page.html", "/s/file/"},
        {FolderLayout::Page, "http://h.example/forum/t.php?id=5#top", "/s/h.example/forum/t.php?id=5/"},
        {FolderLayout::Page, "http://h.example/gallery/", "/s/h.example/gallery/"},
        {FolderLayout::Page, "http://h.example/", "/s/h.example/"},
        {FolderLayout::Page, "http://h.example/?page=2", "/s/h.example/?page=2/"},
        {FolderLayout::Page, "http://h.example/a//./../b%20c/%E5%9B%BE.html", "/s/h.example/a/b%20c/%E5%9B%BE.html/"},
        {FolderLayout::Page, "file:///home/u/page.html", "/s/file/home/u/page.html/"},
        {FolderLayout::Page, "http://h.example/" + std::string(300, 'x') + ".html",
         "/s/h.example/" + std::string(115, 'x') + ".html/"},
        {FolderLayout::Page, deep, "/s/h/d0/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/d12/d13/d14/d15/"},
        {FolderLayout::Page, "http://../..", "/s/other/"},
    };
    for (const Case& c : cases) EXPECT_EQ(PageFolder(c.layout, "/s/", c.page), c.folder) << c.page;
}

TEST(PageBatchFolders, EqualNamesOfDifferentPagesAreNumbered) {
    EXPECT_EQ(NumberedFileName("a.jpg", 2), "a (2).jpg");
    EXPECT_EQ(NumberedFileName("README", 3), "README (3)");
    EXPECT_EQ(NumberedFileName(".hidden", 2), ".hidden (2)");
    EXPECT_EQ(NumberedFileName("b.png?v=2", 2), "b (2).png?v=2");
    EXPECT_EQ(NumberedFileName("x.averylongextensionname", 2), "x.averylongextensionname (2)");
    const std::string numbered = NumberedFileName(std::string(254, 'n') + ".jpg", 12);
    EXPECT_EQ(numbered.size(), 255u);
    EXPECT_EQ(numbered.substr(numbered.size() - 10), "n (12).jpg");

    std::set<std::string> archivedFiles = {"/s/c.jpg"};
    FileClaims claims([&](const std::string& file, const std::string& address) {
        return archivedFiles.count(file) > 0 && address != "http://old/c.jpg";
    });
    EXPECT_EQ(claims.Claim("/s/a.jpg", 1, "http://x/1/a.jpg"), "/s/a.jpg");
    // The same page again, even for another address: the same file (the last one wins).
    EXPECT_EQ(claims.Claim("/s/a.jpg", 1, "http://x/9/a.jpg"), "/s/a.jpg");
    // Another page, another picture: numbered; the same picture: the same file.
    EXPECT_EQ(claims.Claim("/s/a.jpg", 2, "http://x/2/a.jpg"), "/s/a (2).jpg");
    EXPECT_EQ(claims.Claim("/s/a.jpg", 3, "http://x/3/a.jpg"), "/s/a (3).jpg");
    EXPECT_EQ(claims.Claim("/s/a.jpg", 4, "http://x/1/a.jpg"), "/s/a.jpg");
    EXPECT_EQ(claims.Claim("/s/a.jpg", 2, "http://x/2/a.jpg"), "/s/a (2).jpg");
    // Another folder has names of its own.
    EXPECT_EQ(claims.Claim("/s/h/a.jpg", 2, "http://x/2/a.jpg"), "/s/h/a.jpg");
    // A file that an earlier run gave another address stays that address's.
    EXPECT_EQ(claims.Claim("/s/c.jpg", 1, "http://new/c.jpg"), "/s/c (2).jpg");
    EXPECT_EQ(claims.Claim("/s/c.jpg", 2, "http://old/c.jpg"), "/s/c.jpg");
}

// ---- What a run prints ----

CliReport SamplePage() {
    CliReport r;
    r.requested = "http://h/p.html";
    r.pageAddress = "http://h/p2.html";
    r.type = DocType::Images;
    r.list = {"http://h/a.png", "http://h/s.png", "http://h/f.png"};
    r.notes = {{ImagePlace::Page}, {ImagePlace::Sheet}, {ImagePlace::Frame, 640, 480}};
    r.times = {120, 30, 45, 195};
    return r;
}

TEST(PageBatchOutput, JsonLinesHeadersAndSummaries) {
    CliReport r = SamplePage();
    EXPECT_EQ(FormatJsonLine(r),
              "{\"address\":\"http://h/p.html\",\"final\":\"http://h/p2.html\",\"type\":\"images\",\"status\":\"done\","
              "\"list\":[{\"address\":\"http://h/a.png\",\"found\":\"page\"},{\"address\":\"http://h/s.png\",\"found\":"
              "\"sheet\"},{\"address\":\"http://h/f.png\",\"found\":\"frame\"}],\"errors\":[],\"times\":{\"load_ms\":120,"
              "\"extract_ms\":30,\"downloads_ms\":45,\"total_ms\":195}}\n");
    EXPECT_EQ(FormatPageHeader(r), "==> http://h/p.html -> http://h/p2.html <==\n");
    // With --shown each picture says its type and, when known, its size; the fourth place
    // is "shown".
    r.describePictures = true;
    r.list.push_back("http://cdn/8f3a");
    r.notes.push_back({ImagePlace::Shown, 800, 450, "image/webp"});
    EXPECT_NE(FormatJsonLine(r).find("\"list\":[{\"address\":\"http://h/a.png\",\"found\":\"page\",\"type\":\"png\"},"
                                     "{\"address\":\"http://h/s.png\",\"found\":\"sheet\",\"type\":\"png\"},"
                                     "{\"address\":\"http://h/f.png\",\"found\":\"frame\",\"type\":\"png\",\"width\":640,"
                                     "\"height\":480},{\"address\":\"http://cdn/8f3a\",\"found\":\"shown\",\"type\":\"webp\","
                                     "\"width\":800,\"height\":450}]"),
              std::string::npos)
        << FormatJsonLine(r);
    r.describePictures = false;
    r.cut.links = 3;
    EXPECT_NE(FormatJsonLine(r).find("}],\"cut\":{\"documents\":0,\"shown_pictures\":0,\"links\":3},\"errors\""),
              std::string::npos)
        << FormatJsonLine(r);
    r.cut = {};

    r.list.resize(1);
    r.downloaded = true;
    r.records = {{"http://h/a.png", DownloadRecord::Outcome::Saved, "/s/a.png", 7, ""},
                 {"http://h/b.png", DownloadRecord::Outcome::Failed, "/s/b.png", 0, "HTTP 404"},
                 {"http://h/c.php", DownloadRecord::Outcome::Skipped, "", 0, "web page"},
                 {"http://h/d.png", DownloadRecord::Outcome::Skipped, "/s/d.png", 9, std::string(kInArchive)}};
    r.errors = {{"load", "http://h/p.html", "the page is still loading; extracted as it stands"},
                {"frame", "http://h/f\x1b.html", "HTTP 404"}};
    const std::string line = FormatJsonLine(r);
    EXPECT_NE(line.find("\"downloads\":[{\"address\":\"http://h/a.png\",\"outcome\":\"saved\",\"file\":\"/s/a.png\","
                        "\"size\":7},{\"address\":\"http://h/b.png\",\"outcome\":\"failed\",\"file\":\"/s/b.png\","
                        "\"error\":\"HTTP 404\"},{\"address\":\"http://h/c.php\",\"outcome\":\"skipped\",\"reason\":"
                        "\"web page\"},{\"address\":\"http://h/d.png\",\"outcome\":\"skipped\",\"reason\":\"in the "
                        "archive\",\"file\":\"/s/d.png\",\"size\":9}],\"errors\":[{\"step\":\"load\",\"address\":"
                        "\"http://h/p.html\",\"why\":\"the page is still loading; extracted as it stands\"},"
                        "{\"step\":\"frame\",\"address\":\"http://h/f\\u001b.html\",\"why\":\"HTTP 404\"}]"),
              std::string::npos)
        << line;
    // --json has the same errors, last; -v prints them a line each, escaped.
    const std::string json = FormatJsonOutput(r);
    EXPECT_EQ(json.substr(json.find(",\"errors\":")), line.substr(line.find(",\"errors\":"), line.find(",\"times\"") - line.find(",\"errors\":")) + "}\n");
    EXPECT_EQ(FormatErrors(r.errors),
              "error: load: http://h/p.html: the page is still loading; extracted as it stands\n"
              "error: frame: http://h/f\\x1b.html: HTTP 404\n");

    CliReport failed;
    failed.requested = "http://gone/";
    failed.type = DocType::PageText;
    failed.loadError = "connection failed (-102)";
    EXPECT_EQ(FormatJsonLine(failed),
              "{\"address\":\"http://gone/\",\"final\":\"\",\"type\":\"text\",\"status\":\"not loaded\",\"text\":\"\","
              "\"errors\":[{\"step\":\"load\",\"address\":\"http://gone/\",\"why\":\"connection failed (-102)\"}],"
              "\"times\":{\"load_ms\":0,\"extract_ms\":0,\"downloads_ms\":0,"
              "\"total_ms\":0}}\n");
    failed.pageAddress = failed.requested;
    EXPECT_EQ(FormatPageHeader(failed), "==> http://gone/ <==\n");

    RunTally tally;
    tally.Add(r);
    tally.Add(SamplePage());
    EXPECT_EQ(FormatRunSummary(tally, DocType::Images),
              "pages: 2, done 2, not loaded 0; images: found 4, downloaded 1, failed 1, skipped 2\n");
    EXPECT_EQ(tally.bytes, 7u);
    EXPECT_EQ(RunExitStatus(tally), CliExit::DownloadsFailed);
    tally.Add(failed);
    EXPECT_EQ(RunExitStatus(tally), CliExit::PageNotLoaded);
    EXPECT_EQ(RunExitStatus(RunTally{}), CliExit::Ok);
    RunTally texts;
    CliReport text;
    text.type = DocType::PageSource;
    text.text = "<p>图</p>";
    texts.Add(text);
    EXPECT_EQ(FormatRunSummary(texts, DocType::PageSource), "pages: 1, done 1, not loaded 0; source: 10 bytes\n");
}

TEST(PageBatchOutput, ProgressLine) {
    EXPECT_EQ(FormatBytes(0), "0 B");
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(15667), "15.3 KB");
    EXPECT_EQ(FormatBytes(std::uint64_t{3} << 29), "1.5 GB");
    EXPECT_EQ(FormatRunProgress(0, 200, 0, 0, 0), "0/200 pages, 0 files, 0 B, 0 B/s, --:-- left");
    EXPECT_EQ(FormatRunProgress(12, 200, 240, 4 << 20, 2.0), "12/200 pages, 240 files, 4.0 MB, 2.0 MB/s, 0:31 left");
    EXPECT_EQ(FormatRunProgress(1, 1000, 1, 1, 10.0), "1/1000 pages, 1 files, 1 B, 0 B/s, 2:46:30 left");
    EXPECT_EQ(FormatRunProgress(5, 5, 0, 0, 3.0), "5/5 pages, 0 files, 0 B, 0 B/s, 0:00 left");
}

// ---- The archive ----

TEST(PageBatchArchive, KeepsWhatWasDownloadedAcrossRunsAndRefusesForeignFiles) {
    const test::TempFolder scratch{"nuv-archive"};
    const std::filesystem::path dir = scratch.Dir();
    const std::string path = (dir / "done.sqlite").string();
    {
        DownloadArchive archive(path);
        EXPECT_FALSE(archive.Find("http://h/a.png", "/s/a.png").has_value());
        EXPECT_TRUE(archive.Record("http://h/a.png", "/s/a.png", 10, 1700000000));
        EXPECT_TRUE(archive.Record("http://h/图.png", "/s/图.png", 20, 1700000001));
        EXPECT_TRUE(archive.Record("http://h/a.png", "/s/a.png", 11, 1700000002));  // replaces the row
        EXPECT_TRUE(archive.Record("http://h/a.png", "/s/p2/a.png", 12, 1700000003));  // another page's copy
        EXPECT_TRUE(archive.FileOfOtherAddress("/s/a.png", "http://x/a.png"));
        EXPECT_FALSE(archive.FileOfOtherAddress("/s/a.png", "http://h/a.png"));
        EXPECT_FALSE(archive.FileOfOtherAddress("/s/b.png", "http://x/b.png"));
    }
    {
        DownloadArchive again(path);
        const auto a = again.Find("http://h/a.png", "/s/a.png");
        ASSERT_TRUE(a.has_value());
        EXPECT_EQ(a->size, 11u);
        EXPECT_EQ(a->time, 1700000002);
        EXPECT_EQ(again.Find("http://h/a.png", "/s/p2/a.png")->size, 12u);
        EXPECT_FALSE(again.Find("http://h/a.png", "/s/p3/a.png").has_value());
        EXPECT_TRUE(again.Find("http://h/图.png", "/s/图.png").has_value());
        // A picture whose answer named its type is found by the stem of its name.
        EXPECT_TRUE(again.Record("http://h/cdn/猫", "p/猫.webp", 30, 1700000004));
        EXPECT_EQ(again.FindAnswered("http://h/cdn/猫", "p/猫")->first, "p/猫.webp");
        EXPECT_FALSE(again.FindAnswered("http://h/cdn/猫", "p/猫.w").has_value());
        EXPECT_FALSE(again.FindAnswered("http://h/cdn/猫", "p").has_value());
    }

    std::ofstream(dir / "text.sqlite") << "this is not a database, but long enough to look like one's header....";
    EXPECT_THROW(DownloadArchive((dir / "text.sqlite").string()), std::runtime_error);
    EXPECT_THROW(DownloadArchive((dir / "missing-folder" / "x.sqlite").string()), std::runtime_error);
}

// Archives that come from elsewhere (tests/data/archive/schemas.txt): an empty file and the
// archive's own schema are taken; a file with anything else in it is refused, saying what,
// and left as it was.
TEST(PageBatchArchive, TakesOnlyItsOwnSchemaAndLeavesOthersUntouched) {
    const test::TempFolder scratch{"nuv-archive"};
    int n = 0;
    for (const std::vector<std::string>& row : test::ReadTable("archive/schemas.txt")) {
        ASSERT_EQ(row.size(), 3u);
        SCOPED_TRACE(row[0]);
        const std::string path = scratch.Write("a" + std::to_string(++n) + ".sqlite", "");
        if (!row[1].empty()) test::RunSql(path, row[1]);
        if (row[2] == "ok") {
            {
                DownloadArchive archive(path);
                EXPECT_TRUE(archive.Record("http://h/a.png", "a.png", 7, 1700000000));
                EXPECT_FALSE(archive.FileOfHash("f00d").has_value());
            }
            // Without --dedup the archive stays as the program's older versions read it.
            if (row[1].find("hashes") == std::string::npos) {
                const std::string copy = scratch.Write("copy" + std::to_string(n) + ".sqlite", test::ReadFile(path));
                EXPECT_NO_THROW(test::RunSql(copy, "CREATE TABLE hashes (x)"));
            }
            {
                DownloadArchive archive(path);
                EXPECT_TRUE(archive.RecordHash("http://h/b.png", "f00d", "a.png"));
                EXPECT_TRUE(archive.RecordHash("http://h/a.png", "f00d", "a.png"));
            }
            DownloadArchive again(path);  // with the indexes the archive added
            EXPECT_EQ(again.Find("http://h/a.png", "a.png")->size, 7u);
            EXPECT_EQ(again.FileOfHash("f00d"), "a.png");
            EXPECT_EQ(again.DuplicatedFile("http://h/b.png"), "a.png");
            EXPECT_FALSE(again.DuplicatedFile("http://h/a.png").has_value());  // saved itself
            continue;
        }
        const std::string before = test::ReadFile(path);
        try {
            DownloadArchive archive(path);
            ADD_FAILURE() << "taken";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(row[2]), std::string::npos) << e.what();
        }
        EXPECT_TRUE(test::ReadFile(path) == before) << "the refused file was changed";
    }
}

}  // namespace
}  // namespace nuv
