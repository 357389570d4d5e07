#include "common/Shell.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Dialogs.h"
#include "support/Files.h"
#include "support/Recorders.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;
using test::RecordingDialogs;
using test::RecordingShell;

using test::TempFolder;

// Opens `target` with a fresh shell and returns what was opened.
std::vector<std::string> OpenedBy(const std::string& target) {
    RecordingShell shell;
    OpenLocation(shell, target);
    return shell.opened;
}

using Opened = std::vector<std::string>;

TEST(OpenLocation, WebAddressesAndBareHosts) {
    EXPECT_EQ(OpenedBy("www.example.com/pics/index.html"), Opened{"http://www.example.com/pics/index.html"});
    EXPECT_EQ(OpenedBy("HTTP://WWW.EXAMPLE.COM/A.JPG"), Opened{"HTTP://WWW.EXAMPLE.COM/A.JPG"});
    EXPECT_EQ(OpenedBy("https://example.com/"), Opened{"https://example.com/"});
    EXPECT_EQ(OpenedBy("example.com"), Opened{"http://example.com"});
    EXPECT_EQ(OpenedBy("rel\\dir\\file.jpg"), Opened{"http://rel\\dir\\file.jpg"});
}

TEST(OpenLocation, OtherSchemesAndBlankTextsDoNothing) {
    for (const char* target : {"mailto:someone@example.com", "ftp://ftp.example.com/pub/file.zip", "about:blank",
                               "javascript:alert(1)", "file:///etc/hostname", "C:\\pics\\a.jpg", "", "  \t",
                               "see http://example.com", "sftp://host/x?http:", "smb://host/s/http:"}) {
        EXPECT_EQ(OpenedBy(target), Opened{}) << '"' << target << '"';
    }
}

TEST(OpenLocation, LocalPathsOpenOnlyWhenTheyExist) {
    TempFolder dir;
    const std::string file = dir.Write("Shot 01.JPG", "x");
    const std::string folder = dir.Dir().string();
    EXPECT_EQ(OpenedBy(file), Opened{file});
    EXPECT_EQ(OpenedBy(folder), Opened{folder});
    EXPECT_EQ(OpenedBy(folder + "/"), Opened{folder + "/"});
    EXPECT_EQ(OpenedBy(folder + "/missing.jpg"), Opened{});
    EXPECT_EQ(OpenedBy(folder + "/shot 01.jpg"), Opened{});  // file names keep their case here
    EXPECT_EQ(OpenedBy("/no/such/folder/"), Opened{});
    // A colon in a local path does not make it an address.
    const std::string colon = dir.Write("a:b.png", "x");
    EXPECT_EQ(OpenedBy(colon), Opened{colon});
    EXPECT_EQ(OpenedBy(folder + "/c:d.png"), Opened{});
}

TEST(OpenLocation, RelativeNameWithAColonOpensWhenItExists) {
    TempFolder dir;
    dir.Write("Shots:1.png", "x");
    const fs::path saved = fs::current_path();
    fs::current_path(dir.Dir());
    const Opened existing = OpenedBy("Shots:1.png");
    const Opened missing = OpenedBy("Shots:2.png");
    fs::current_path(saved);
    EXPECT_EQ(existing, Opened{(dir.Dir() / "Shots:1.png").string()});
    EXPECT_EQ(missing, Opened{});
}

TEST(Shell, FailuresOfTheDesktopAreSwallowed) {
    RecordingShell shell;
    shell.fail = true;
    EXPECT_NO_THROW(OpenLocation(shell, "www.example.com"));
    EXPECT_NO_THROW(OpenWebAddress(shell, "www.example.com"));
    EXPECT_NO_THROW(ShellOpen(shell, "/tmp"));
    EXPECT_EQ(shell.opened.size(), 3u);
}

TEST(OpenWebAddress, PutsHttpInFrontUnlessASchemeSeparatorIsThere) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"www.nuvsoft.example/demo/", "http://www.nuvsoft.example/demo/"},
        {"http://www.nuvsoft.example/", "http://www.nuvsoft.example/"},
        {"HTTPS://X.EXAMPLE/", "HTTPS://X.EXAMPLE/"},
        {"ftp://x.example/f", nullptr},
        {"smb://x.example/s/http://", nullptr},
        {"mailto:a@b.example", "http://mailto:a@b.example"},
    };
    for (const auto& c : cases) {
        RecordingShell shell;
        OpenWebAddress(shell, c.in);
        EXPECT_EQ(shell.opened, c.out ? Opened{c.out} : Opened{}) << c.in;
    }
    RecordingShell shell;
    OpenWebAddress(shell, " ");
    EXPECT_EQ(shell.opened, Opened{});
}

TEST(ShellOpen, PassesAnythingOn) {
    RecordingShell shell;
    for (const char* text : {"/no/such/file.txt", "", "about:blank", "www.example.com", "a b\tc"}) ShellOpen(shell, text);
    EXPECT_EQ(shell.opened, (Opened{"/no/such/file.txt", "", "about:blank", "www.example.com", "a b\tc"}));
    EXPECT_TRUE(shell.started.empty());
}


TEST(SelectFolder, CaptionIsTheFolderWhenItExistsElseTheHomeFolder) {
    TempFolder dir;
    const std::string folder = dir.Dir().string() + "/";
    const std::string file = dir.Write("not-a-folder.txt", "x");
    const std::string home = "/home/tester/";

    RecordingDialogs dialogs;
    dialogs.answer = "/chosen";
    EXPECT_EQ(SelectFolder(dialogs, folder, home), "/chosen");
    EXPECT_EQ(SelectFolder(dialogs, dir.Dir().string() + "/gone/", home), "/chosen");
    EXPECT_EQ(SelectFolder(dialogs, "", home), "/chosen");
    EXPECT_EQ(SelectFolder(dialogs, file, home), "/chosen");
    EXPECT_EQ(dialogs.titles, (Opened{folder, home, home, home}));
    EXPECT_EQ(dialogs.preselections, (Opened{"", "", "", ""}));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(SelectFolder, CancelOrAFailingDialogGivesAnEmptyResult) {
    RecordingDialogs dialogs;
    EXPECT_EQ(SelectFolder(dialogs, "/", "/home/tester/"), "");
    dialogs.answer = "/chosen";
    dialogs.fail = true;
    EXPECT_EQ(SelectFolder(dialogs, "/", "/home/tester/"), "");
    EXPECT_EQ(dialogs.titles.size(), 2u);
}

}  // namespace
}  // namespace nuv
