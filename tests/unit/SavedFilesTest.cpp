#include "library/logic/SavedFiles.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Files.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;

using test::TempFolder;

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(ListFolderFiles, ListsFilesHiddenOnesTooButNoFoldersAndNoDownloadInProgress) {
    TempFolder dir;
    dir.Write("a.jpg", "x");
    dir.Write("b.css", "x");
    dir.Write(".hidden.png", "x");
    dir.Write(".nuvpart.a1b2c3", "x");  // a download still being written
    fs::create_directory(dir.Path() + "c");
    dir.Write("c/inside.jpg", "x");
    fs::create_directory_symlink(dir.Path() + "c", dir.Path() + "link-to-c");

    std::vector<std::string> files = {"kept"};
    ListFolderFiles(dir.Path(), "", files);
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(files.front(), "kept");  // appended to, not cleared
    files.erase(files.begin());
    EXPECT_EQ(Sorted(files),
              (std::vector<std::string>{dir.Path() + ".hidden.png", dir.Path() + "a.jpg",
                                        dir.Path() + "b.css"}));

    // The order is the file system's: the same as a plain listing of the folder.
    std::vector<std::string> plain;
    for (const auto& e : fs::directory_iterator(dir.Path())) {
        const std::string name = e.path().filename().string();
        if (!e.is_directory() && !name.starts_with(".nuvpart.")) plain.push_back(dir.Path() + name);
    }
    EXPECT_EQ(files, plain);
}

TEST(ListFolderFiles, FilterTakesNamesContainingItWithoutCase) {
    TempFolder dir;
    dir.Write("a.jpg", "x");
    dir.Write("b.css", "x");
    dir.Write("C.JPG.txt", "x");
    const struct {
        const char* filter;
        std::vector<std::string> names;
    } cases[] = {
        {"", {"C.JPG.txt", "a.jpg", "b.css"}},
        {"  ", {"C.JPG.txt", "a.jpg", "b.css"}},
        {".*", {"C.JPG.txt", "a.jpg", "b.css"}},
        {" .* ", {"C.JPG.txt", "a.jpg", "b.css"}},
        {"jpg", {"C.JPG.txt", "a.jpg"}},
        {".Css", {"b.css"}},
        {"png", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> files;
        ListFolderFiles(dir.Path(), c.filter, files);
        std::vector<std::string> expected;
        for (const std::string& n : c.names) expected.push_back(dir.Path() + n);
        EXPECT_EQ(Sorted(files), expected) << '"' << c.filter << '"';
    }
}

TEST(ListFolderFiles, MissingOrBlankFolderListsNothing) {
    TempFolder dir;
    std::vector<std::string> files;
    ListFolderFiles(dir.Path() + "missing/", "", files);
    ListFolderFiles("", "", files);
    EXPECT_TRUE(files.empty());
}

TEST(SavedListFor, EntryNamedLikeCurPicNameBecomesCurrentElseTheIndexIsKept) {
    const std::vector<std::string> paths = {"/f/a.jpg", "/f/b.css", "/f/c.png"};
    const struct {
        const char* curPicName;
        int picIndex;
        int expected;
    } cases[] = {
        {"b.css", 0, 1},
        {"/old/folder/c.png", 0, 2},  // only the file-name part counts
        {"B.CSS", 2, 2},              // case counts: no match, the index stays
        {"", 1, 1},
        {"gone.jpg", 7, 7},  // past the end: kept, and the list makes nothing current
    };
    for (const auto& c : cases) {
        const SavedListEntries e = SavedListFor(paths, c.curPicName, c.picIndex);
        EXPECT_EQ(e.names, (std::vector<std::string>{"a.jpg", "b.css", "c.png"}));
        EXPECT_EQ(e.picIndex, c.expected) << c.curPicName;
    }
}

TEST(CommitSaveFolder, NormalisesCreatesWithParentsAndRefusesWhatIsNoFolder) {
    TempFolder dir;
    std::string text = "  " + dir.Path() + "x//new ";
    EXPECT_EQ(CommitSaveFolder(text, "/unused/"), dir.Path() + "x/new/");
    EXPECT_EQ(text, dir.Path() + "x/new/");
    EXPECT_TRUE(fs::is_directory(dir.Path() + "x/new"));
    EXPECT_EQ(CommitSaveFolder(text, "/unused/"), dir.Path() + "x/new/");  // an existing folder stays

    std::string blank = " \t";
    EXPECT_EQ(CommitSaveFolder(blank, "/unused/"), "");
    EXPECT_EQ(blank, " \t");

    dir.Write("file", "x");
    std::string file = dir.Path() + "file";
    EXPECT_EQ(CommitSaveFolder(file, "/unused/"), "");
    EXPECT_EQ(file, dir.Path() + "file/");
    std::string underFile = dir.Path() + "file/sub";
    EXPECT_EQ(CommitSaveFolder(underFile, "/unused/"), "");

    // Relative and "~" folders lie under the home folder, never under the current one.
    for (const auto& [typed, made] : {std::pair{"pics", "pics/"}, std::pair{" ~ ", ""}, std::pair{"~/a/b", "a/b/"},
                                      std::pair{"~user", "~user/"}}) {
        std::string box = typed;
        EXPECT_EQ(CommitSaveFolder(box, dir.Path()), dir.Path() + made) << typed;
        EXPECT_EQ(box, dir.Path() + made);
    }
}

TEST(PreviewLoaderFor, ExtensionOfTheNameInUpperCase) {
    const struct {
        const char* path;
        PreviewLoader loader;
    } cases[] = {
        {"/f/a.jpg", PreviewLoader::Jpeg},     {"/f/a.JPEG", PreviewLoader::Jpeg},
        {"/f/a.tar.Jpg", PreviewLoader::Jpeg}, {"/f/a.bmp", PreviewLoader::Bitmap},
        {"/f/a.png", PreviewLoader::Png},      {"/f/a.gif", PreviewLoader::Any},
        {"/f/a.svg", PreviewLoader::Any},      {"/f/a.jpg.css", PreviewLoader::Any},
        {"/f.png/noext", PreviewLoader::Any},  // a dot in the folder is no extension
        {"/f/.png", PreviewLoader::Png},
    };
    for (const auto& c : cases) EXPECT_EQ(PreviewLoaderFor(c.path), c.loader) << c.path;
}

TEST(DeleteSavedFiles, TrashFirstForGoodOnlyWithoutATrash) {
    std::vector<std::string> trashed, removed;
    const FileAction trash = [&](const std::string& p) {
        if (p.ends_with("no-trash") || p.ends_with("locked")) return false;
        if (p.ends_with("throws")) throw std::runtime_error("trash broke");
        trashed.push_back(p);
        return true;
    };
    const FileAction remove = [&](const std::string& p) {
        if (p.ends_with("locked")) return false;
        removed.push_back(p);
        return true;
    };
    const DeleteReport r =
        DeleteSavedFiles("/f/", {"a.jpg", "no-trash", "locked", "throws"}, trash, remove);
    EXPECT_EQ(trashed, std::vector<std::string>{"/f//a.jpg"});  // the box text, "/" and the name
    EXPECT_EQ(removed, (std::vector<std::string>{"/f//no-trash", "/f//throws"}));
    EXPECT_EQ(r.trashed, 1);
    EXPECT_EQ(r.deletedForGood, 2);
    EXPECT_EQ(r.kept, 1);
    EXPECT_EQ(DeleteReportHint(r), "没有可用的回收站，已永久删除2个文件");
    EXPECT_EQ(DeleteReportHint(DeleteReport{3, 0, 1}), "");
}

}  // namespace
}  // namespace nuv
