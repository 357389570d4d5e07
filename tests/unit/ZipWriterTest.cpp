// The ZIP file of nuv-extract --zip: each file goes in once and leaves the folder, equal
// names of other addresses are numbered, a .cbz is written in the order of its keys, and
// the ZIP takes its name only once complete.
#include "save/ZipWriter.h"

#include <filesystem>
#include <utility>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include "support/Files.h"

namespace nuv {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries Read(const std::filesystem::path& zip) {
    Entries entries;
    struct archive* a = archive_read_new();
    archive_read_support_format_zip(a);
    if (archive_read_open_filename(a, zip.c_str(), 1 << 14) == ARCHIVE_OK) {
        archive_entry* e = nullptr;
        while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
            std::string bytes;
            char buffer[4096];
            la_ssize_t got = 0;
            while ((got = archive_read_data(a, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(got));
            entries.emplace_back(archive_entry_pathname(e), bytes);
        }
    }
    archive_read_free(a);
    return entries;
}

class ZipWriterTest : public ::testing::Test {
protected:
    std::string File(const std::string& name, const std::string& bytes) { return own.Write(name, bytes); }
    test::TempFolder own{"nuv-zip"};
    std::filesystem::path dir = own.Dir();
};

TEST_F(ZipWriterTest, FilesGoInOnceUnderFreeNames) {
    const std::filesystem::path zip = dir / "out.zip";
    ZipWriter writer(zip.string(), false);
    EXPECT_FALSE(std::filesystem::exists(zip));  // until it is complete
    const std::string a = File("a.jpg", "one");
    EXPECT_EQ(writer.Add(a, "host/a.jpg", "http://h/1/a.jpg"), "host/a.jpg");
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_EQ(writer.EntryOf(a), "host/a.jpg");
    EXPECT_EQ(writer.Add(File("a.jpg", "two"), "host/a.jpg", "http://h/2/a.jpg"), "host/a (2).jpg");
    EXPECT_EQ(writer.Add(File("a.jpg", "one"), "host/a.jpg", "http://h/1/a.jpg"), "host/a.jpg");  // the same resource
    EXPECT_EQ(writer.Add(File("s.css", "body{}"), "s.css", "http://h/s.css"), "s.css");
    EXPECT_EQ(writer.Add((dir / "missing").string(), "m.png", "http://h/m.png"), "");
    EXPECT_EQ(writer.Close(), "");
    EXPECT_EQ(Read(zip), (Entries{{"host/a.jpg", "one"}, {"host/a (2).jpg", "two"}, {"s.css", "body{}"}}));
    for (const auto& e : std::filesystem::directory_iterator(dir))
        EXPECT_FALSE(e.path().filename().string().starts_with(".nuvpart.")) << e.path();
}

TEST_F(ZipWriterTest, AComicBookArchiveIsWrittenInTheOrderOfItsKeys) {
    EXPECT_TRUE(IsOrderedZipName("/x/Thread.CBZ"));
    EXPECT_FALSE(IsOrderedZipName("/x/thread.zip"));
    const std::filesystem::path zip = dir / "out.cbz";
    {
        ZipWriter writer(zip.string(), true);
        writer.Add(File("3.png", "c"), "3.png", "http://h/3", {1, 0});
        writer.Add(File("2.png", "b"), "2.png", "http://h/2", {0, 1});
        writer.Add(File("1.png", "a"), "1.png", "http://h/1", {0, 0});
    }  // closed as it goes
    EXPECT_EQ(Read(zip), (Entries{{"1.png", "a"}, {"2.png", "b"}, {"3.png", "c"}}));
    EXPECT_THROW(ZipWriter((dir / "no/such/folder/x.zip").string(), false), std::runtime_error);
}

}  // namespace
}  // namespace nuv
