// The downloads of one listed page in a run of many: names other pages took are numbered,
// what the archive holds is skipped, each saved file is archived at once, and the page
// hears when its last download has ended.
#include "save/ListDownloads.h"

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/DownloadFolder.h"
#include "support/FakeNetwork.h"

namespace nuv {
namespace {

// Parallel downloads into the real folder: Wait ends every download started since the
// last, writing its address into its file; an address with "bad" fails, one with "cdn"
// answers image/webp.
class FolderTransfers : public test::InstantTransfers {
public:
    FolderTransfers() : InstantTransfers(4) {}
    std::map<std::string, int> starts;

private:
    void OnStart(const Started& s, std::size_t) override { ++starts[s.url]; }
    Ended End(const Started& s) override {
        Ended e;
        e.id = s.id;
        if (s.url.find("bad") != std::string::npos) {
            e.error = DownloadError("HTTP 404", DownloadFailure::Http);
        } else {
            std::ofstream(s.file, std::ios::binary) << s.url;
            e.size = s.url.size();
            if (s.url.find("cdn") != std::string::npos) e.contentType = "image/webp";
        }
        return e;
    }
};

// Counts the pages whose downloads are done.
struct Done {
    std::mutex mutex;
    std::condition_variable changed;
    int pages = 0;
    std::function<void()> One() {
        return [this] {
            std::lock_guard<std::mutex> lock(mutex);
            ++pages;
            changed.notify_all();
        };
    }
    bool Reached(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return pages >= n; });
    }
};

class ListDownloadsTest : public test::DownloadFolderTest {
protected:
    std::string Base() const { return dir.string() + "/"; }
    static std::vector<std::string> Files(const std::vector<DownloadRecord>& records) {
        std::vector<std::string> files;
        for (const DownloadRecord& r : records) files.push_back(r.file);
        return files;
    }
};

TEST_F(ListDownloadsTest, PagesNumberEqualNamesSkipWhatTheArchiveHoldsAndHearWhenDone) {
    const std::string base = Base();
    FolderTransfers transfers;
    Done done;
    std::size_t savedFiles = 0;
    {
        DownloadArchive archive((dir / "done.sqlite").string());
        archive.Record("http://h/old.png", "old.png", 5, 1);
        RunFiles files(base, &archive);
        files.saved = [&](std::uint64_t) { ++savedFiles; };
        DownloadBatch batch(transfers, 4);

        ListDownloads one(DocType::Images, base, "http://h/p1.html", batch, &files, 0);
        one.Feed({"http://h/a.png", "http://h/old.png"});  // while the extraction still reads
        one.Feed({"http://h/a.png", "http://h/old.png", "http://h/page.html", "http://h/bad.png"});
        one.Close(done.One());
        ListDownloads two(DocType::Images, base, "http://g/p2.html", batch, &files, 1);
        two.Feed({"http://g/a.png", "http://h/a.png", "http://g/cdn/hero"},
                 {{ImagePlace::Page}, {ImagePlace::Page}, {ImagePlace::Shown}});
        two.Close(done.One());
        ASSERT_TRUE(done.Reached(2));

        const std::vector<DownloadRecord> first = one.Records();
        EXPECT_EQ(Files(first), (std::vector<std::string>{base + "a.png", base + "old.png", "", base + "bad.png"}));
        EXPECT_EQ(first[0].outcome, DownloadRecord::Outcome::Saved);
        EXPECT_EQ(first[1].reason, kInArchive);
        EXPECT_EQ(first[1].size, 5u);
        EXPECT_EQ(first[2].reason, "web page");
        EXPECT_EQ(first[3].reason, "HTTP 404");
        EXPECT_EQ(one.Skipped(), 2u);
        // Another address of the same name is numbered; the same address shares its file; a
        // shown picture takes the type its answer tells.
        EXPECT_EQ(Files(two.Records()), (std::vector<std::string>{base + "a (2).png", base + "a.png", base + "hero.webp"}));
        EXPECT_EQ(Read(dir / "a (2).png"), "http://g/a.png");
        EXPECT_EQ(Read(dir / "hero.webp"), "http://g/cdn/hero");
        // The address the first page saved is downloaded again, unless the archive has it by now.
        const std::vector<DownloadRecord> second = two.Records();
        const bool again = second[1].outcome == DownloadRecord::Outcome::Saved;
        if (!again) {
            EXPECT_EQ(second[1].reason, kInArchive);
        }
        EXPECT_EQ(second[0].outcome, DownloadRecord::Outcome::Saved);
        EXPECT_EQ(second[2].outcome, DownloadRecord::Outcome::Saved);
        EXPECT_EQ(savedFiles, again ? 4u : 3u);
        EXPECT_EQ(archive.Find("http://g/a.png", "a (2).png")->size, 14u);
        EXPECT_EQ(archive.FindAnswered("http://g/cdn/hero", "hero")->first, "hero.webp");
        batch.Finish();
    }
    for (const std::string& name : Entries()) EXPECT_FALSE(IsPartialDownloadName(name)) << name;

    // The same page again over the same archive downloads nothing.
    DownloadArchive archive((dir / "done.sqlite").string());
    RunFiles files(base, &archive);
    DownloadBatch batch(transfers, 4);
    ListDownloads again(DocType::Images, base, "http://g/p2.html", batch, &files, 0);
    again.Feed({"http://g/a.png", "http://g/cdn/hero"}, {{ImagePlace::Page}, {ImagePlace::Shown}});
    again.Close(done.One());
    ASSERT_TRUE(done.Reached(3));
    const std::vector<DownloadRecord> records = again.Records();
    EXPECT_EQ(Files(records), (std::vector<std::string>{base + "a (2).png", base + "hero.webp"}));
    for (const DownloadRecord& r : records) EXPECT_EQ(r.reason, kInArchive) << r.address;
    EXPECT_EQ(transfers.starts["http://g/cdn/hero"], 1);
}

// A download that ended before the page's extraction wrote the same file runs again after
// it, and the page is done only once that run has ended.
TEST_F(ListDownloadsTest, AFileHeldForTheExtractionIsWrittenAgainBeforeThePageIsDone) {
    const std::string base = Base();
    FolderTransfers transfers;
    Done done;
    RunFiles files(base);
    Done saved;
    files.saved = [f = saved.One()](std::uint64_t) { f(); };
    DownloadBatch batch(transfers);
    ListDownloads page(DocType::Images, base, "http://h/p.html", batch, &files);
    page.Feed({"http://h/x.png"});
    ASSERT_TRUE(saved.Reached(1));
    page.HoldFile(base + "x.png");
    std::ofstream(dir / "x.png") << "the sheet";
    page.Feed({"http://h/x.png", "http://h/y.png"});
    page.Close(done.One());
    EXPECT_EQ(done.pages, 0);  // x.png waits for its release
    batch.ReleaseFiles();
    ASSERT_TRUE(done.Reached(1));
    EXPECT_EQ(Read(dir / "x.png"), "http://h/x.png");
    EXPECT_EQ(transfers.starts["http://h/x.png"], 1 + 1);
    EXPECT_EQ(page.Records()[1].outcome, DownloadRecord::Outcome::Saved);
    EXPECT_EQ(page.Ended(), 2u);
}

// The program's own files are never replaced, also through a link of their name in the
// save folder; the rest of the list is downloaded.
TEST_F(ListDownloadsTest, TheProgramsOwnFilesAreRefused) {
    const std::string base = Base();
    std::filesystem::create_directories(dir / "program");
    std::ofstream(dir / "program" / "defualt.ini") << "[default]";
    std::filesystem::create_symlink(dir / "program" / "defualt.ini", dir / "defualt.ini");
    FolderTransfers transfers;
    Done done;
    RunFiles files(base);
    files.protectedFiles = ProtectedFiles({(dir / "program" / "defualt.ini").string()});
    DownloadBatch batch(transfers);
    ListDownloads page(DocType::Other, base, "http://h/p.html", batch, &files);
    page.Feed({"http://h/defualt.ini", "http://h/a.png"});
    page.Close(done.One());
    ASSERT_TRUE(done.Reached(1));
    const std::vector<DownloadRecord> records = page.Records();
    EXPECT_EQ(records[0].outcome, DownloadRecord::Outcome::Failed);
    EXPECT_EQ(records[0].reason, kProtectedFile);
    EXPECT_EQ(records[1].outcome, DownloadRecord::Outcome::Saved);
    EXPECT_EQ(Read(dir / "program" / "defualt.ini"), "[default]");
    EXPECT_EQ(transfers.starts.count("http://h/defualt.ini"), 0u);
}


// The style sheets a page fetched go into its folder: a fetched one is moved there, one
// from memory written, and written again only when the file it left no longer stands
// (removed, replaced, or a link put in its place, which is replaced and not followed).
TEST_F(ListDownloadsTest, StyleSheetsArePlacedFromTheStagingFolderOrFromMemory) {
    const std::string base = Base(), staging = base + ".nuvpart.sheets/";
    std::filesystem::create_directories(staging);
    std::filesystem::create_directories(dir / "outside");
    RunFiles files(base);
    const auto kept = std::make_shared<const KeptSheet>("http://h/a.css", ".a { background: url(a.png) }");
    auto sheet = [&](const std::string& address, const std::string& name, std::shared_ptr<const KeptSheet> memory) {
        SavedSheet s{address, {}, std::move(memory)};
        s.outcome.file = staging + name;
        s.outcome.attempted = s.outcome.saved = true;
        return s;
    };
    auto inode = [](const std::filesystem::path& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_ino : 0;
    };

    std::ofstream(staging + "a.css") << ".a { background: url(a.png) }";
    std::ofstream(staging + "b.css") << "b";
    auto records = PlaceFetchedSheets({sheet("http://h/a.css", "a.css", nullptr), sheet("http://h/b.css", "b.css", nullptr)},
                                      staging, base, {}, files, 0);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(Files(records), (std::vector<std::string>{base + "a.css", base + "b.css"}));
    EXPECT_EQ(records[0].outcome, DownloadRecord::Outcome::Saved);
    EXPECT_EQ(records[0].size, kept->Text().size());
    const auto placed = inode(dir / "a.css");

    const std::function<void()> changes[] = {
        [] {},
        [&] { std::filesystem::remove(dir / "a.css"); },
        [&] { std::ofstream(dir / "a.css") << "changed by hand"; },
        [&] {
            std::filesystem::remove(dir / "a.css");
            std::ofstream(dir / "outside" / "target") << "outside";
            std::filesystem::create_symlink(dir / "outside" / "target", dir / "a.css");
        },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        const auto before = inode(dir / "a.css");
        changes[i]();
        records = PlaceFetchedSheets({sheet("http://h/a.css", "a.css", kept)}, staging, base, {}, files, i + 1);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].outcome, DownloadRecord::Outcome::Saved);
        EXPECT_EQ(records[0].file, base + "a.css");
        EXPECT_EQ(records[0].size, kept->Text().size());
        EXPECT_EQ(Read(dir / "a.css"), kept->Text());
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir / "a.css")));
        if (i == 0) {  // standing as it was left: not written again
            EXPECT_EQ(before, placed);
            EXPECT_EQ(inode(dir / "a.css"), placed);
        }
    }
    EXPECT_EQ(Read(dir / "outside" / "target"), "outside");
    // Another address of the same name is numbered, not written over the first.
    records = PlaceFetchedSheets({sheet("http://other/a.css", "a.css", kept)}, staging, base, {}, files, 9);
    EXPECT_EQ(Files(records), (std::vector<std::string>{base + "a (2).css"}));
    EXPECT_EQ(Read(dir / "a (2).css"), kept->Text());
}

}  // namespace
}  // namespace nuv
