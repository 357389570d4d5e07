// Names and folders that a page, a server or a list gives: cleaned into one entry each,
// and opened beneath the save folder only.
#include "common/SaveTargets.h"

#include <cerrno>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli/logic/PageBatch.h"
#include "common/Text.h"
#include "support/Files.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;

TEST(SaveTargets, NamesAreCleanedIntoOneEntry) {
    const std::string chinese = "图片";
    const struct {
        std::string given, clean;
    } rows[] = {
        {"a.jpg", "a.jpg"},
        {"..", ""},
        {".", ""},
        {"", ""},
        {std::string("a\0.css", 6), ""},
        {"a/../b.png", "a_.._b.png"},
        {"..\\..\\x.png", ".._.._x.png"},
        {"x\x1b[31mRED\n.png", "x_[31mRED_.png"},
        {"c1\xc2\x85.png", "c1_.png"},
        {"bad\xff.png", "bad_.png"},
        {chinese + ".png", chinese + ".png"},
        {"\xe4\xb8\x80.png", "\xe4\xb8\x80.png"},  // a continuation byte 0x80 is no control
        {std::string(300, 'n') + ".png", std::string(251, 'n') + ".png"},
    };
    for (const auto& r : rows) EXPECT_EQ(CleanNameComponent(r.given), r.clean) << r.given;
    EXPECT_EQ(ShortenFileName(std::string(90, 'x') + chinese, 95), std::string(90, 'x') + "图");
}

TEST(SaveTargets, TerminalTextCarriesNoControlCharacter) {
    EXPECT_EQ(EscapeForTerminal("x\x1b[31mRED\n//y.png"), "x\\x1b[31mRED\\n//y.png");
    EXPECT_EQ(EscapeForTerminal("a\tb\r\x7f\xc2\x9b\xff"), "a\\tb\\r\\x7f\\u009b\\xff");
    EXPECT_EQ(EscapeForTerminal("line\n\ttab\x07", true), "line\n\ttab\\x07");
    EXPECT_EQ(EscapeForTerminal("图片 é"), "图片 é");
}

TEST(SaveTargets, PageFoldersKeepTheQueryInOneFolder) {
    const struct {
        std::string page, folder;
    } rows[] = {
        {"http://h.example/t.html?x=/../../../E1", "/s/h.example/t.html?x=_.._.._.._E1/"},
        {"http://h.example/forum/t.php?id=5", "/s/h.example/forum/t.php?id=5/"},
        {"http://h.example/a/../b/./c", "/s/h.example/a/b/c/"},
        {"http://h.example/?q=..\\..", "/s/h.example/?q=.._../"},
        {"http://a\\..\\b.example/", "/s/a_.._b.example/"},
    };
    for (const auto& r : rows) EXPECT_EQ(PageFolder(FolderLayout::Page, "/s/", r.page), r.folder) << r.page;
}

class Beneath : public ::testing::Test {
protected:
    test::TempFolder own{"nuv-beneath"};
    fs::path dir = own.Dir();
    std::string root = dir.string() + "/";
};

TEST_F(Beneath, FoldersAreMadeAndOpenedWithoutLinksOrClimbing) {
    fs::create_directories(dir / "outside");
    fs::create_directory_symlink(dir / "outside", dir / "link");
    const FileDescriptor rootFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_TRUE(rootFd.Valid());
    EXPECT_TRUE(FileDescriptor(OpenFolderBeneath(rootFd.Get(), "a/b", true)).Valid());
    EXPECT_TRUE(fs::is_directory(dir / "a" / "b"));
    const struct {
        std::string relative;
        int error;
    } refused[] = {{"link", ELOOP}, {"link/new", ELOOP}, {"../x", EINVAL}, {"a/../../x", EINVAL},
                   {"a//b", EINVAL}, {"/etc", EINVAL}, {"a\x1b", EINVAL}};
    for (const auto& r : refused) {
        errno = 0;
        EXPECT_FALSE(FileDescriptor(OpenFolderBeneath(rootFd.Get(), r.relative, true)).Valid()) << r.relative;
        EXPECT_EQ(errno, r.error) << r.relative;
    }
    EXPECT_TRUE(fs::is_empty(dir / "outside"));

    FileBeneath t;
    EXPECT_TRUE(SplitBeneath(root, root + "h/p/f.zip", t));
    EXPECT_EQ(t.folder, "h/p");
    EXPECT_EQ(t.name, "f.zip");
    EXPECT_FALSE(SplitBeneath(root, root + "h/../f.zip", t));
    EXPECT_FALSE(SplitBeneath(root, root + "h/..", t));
    EXPECT_TRUE(SplitBeneath("", "/elsewhere/f.zip", t));
    EXPECT_EQ(t.root, "/elsewhere/");

    std::ofstream(dir / "sheet.css") << "x";
    EXPECT_TRUE(MoveBeneath(root, root + "sheet.css", root + "h/p/sheet.css"));
    EXPECT_TRUE(fs::exists(dir / "h" / "p" / "sheet.css"));
    std::ofstream(dir / "b.css") << "y";
    EXPECT_FALSE(MoveBeneath(root, root + "b.css", root + "link/b.css"));
    EXPECT_TRUE(fs::is_empty(dir / "outside"));
}

TEST_F(Beneath, ProtectedFilesAreKnownThroughLinksOfTheirOwnName) {
    std::ofstream(dir / "defualt.ini") << "[default]";
    fs::create_directories(dir / "save");
    fs::create_symlink(dir / "defualt.ini", dir / "save" / "defualt.ini");
    const ProtectedFiles files({(dir / "defualt.ini").string()});
    EXPECT_TRUE(files.Protects((dir / "defualt.ini").string()));
    EXPECT_TRUE(files.Protects((dir / "save" / "defualt.ini").string()));
    EXPECT_FALSE(files.Protects((dir / "save" / "other.ini").string()));
    EXPECT_FALSE(ProtectedFiles().Protects((dir / "defualt.ini").string()));
}

}  // namespace
}  // namespace nuv
