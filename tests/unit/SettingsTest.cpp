#include "app/logic/Settings.h"

#include <cctype>
#include <filesystem>
#include <utility>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/FileText.h"
#include "common/Paths.h"
#include "support/BrowserHistories.h"

namespace nuv {
namespace {
namespace fs = std::filesystem;
using test::TempFolder;
using test::WriteFile;

const Settings kDefaults = DefaultSettings("/opt/nuv/web", "http://www.nuvsoft.example/");

TEST(Settings, ReadGivesDefaultsForMissingAndUnreadableKeys) {
    const Settings first = ReadSettings(IniDocument(""), kDefaults);
    EXPECT_EQ(first.PicPath, "/opt/nuv/web");
    EXPECT_EQ(first.URLPath, "http://www.nuvsoft.example/");
    EXPECT_EQ(first.DefaultSavePath, "/opt/nuv/web");
    EXPECT_EQ(first.DocType, 0);
    EXPECT_EQ(first.LeftPanelWidth, 180);
    EXPECT_FALSE(first.CbPath);
    EXPECT_EQ(first.CurPicName, "");

    const Settings s = ReadSettings(IniDocument("[DEFAULT]\npicpath= /data/web \nURLPath=a.example\n"
                                                "DocType=x\nLeftPanelWidth=250\nCbPath=7\nCurPicName=a.png\n"
                                                "[other]\nDefaultSavePath=/elsewhere\n"),
                                    kDefaults);
    EXPECT_EQ(s.PicPath, "/data/web");
    EXPECT_EQ(s.URLPath, "a.example");
    EXPECT_EQ(s.DefaultSavePath, "/opt/nuv/web");
    EXPECT_EQ(s.DocType, 0);
    EXPECT_EQ(s.LeftPanelWidth, 250);
    EXPECT_TRUE(s.CbPath);
    EXPECT_EQ(s.CurPicName, "a.png");

    for (const auto& [stored, row] : {std::pair{0, 0}, {5, 5}, {6, -1}, {7, -1}, {-1, -1}, {-100, -1}})
        EXPECT_EQ(DocTypeRow(stored), row) << stored;
}

// The check boxes under the document types: their default without a key (the pictures the
// page shows on, the scrolling off), and a file of a run that never changed one gains no key.
TEST(Settings, CheckBoxKeysTakeTheirDefaultWhenAbsentAndAreWrittenOnlyOnceChanged) {
    const struct {
        const char* key;
        bool Settings::*field;
        bool usual;
    } keys[] = {{"ShownPictures", &Settings::ShownPictures, true}, {"ScrollToLoad", &Settings::ScrollToLoad, false}};
    for (const auto& [key, field, usual] : keys) {
        SCOPED_TRACE(key);
        const std::string name = key;
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(ReadSettings(IniDocument("[default]\nCbPath=1\n"), kDefaults).*field, usual);
        EXPECT_EQ(ReadSettings(IniDocument("[Default]\n" + lower + (usual ? "=0\n" : "=1\n")), kDefaults).*field, !usual);
        EXPECT_EQ(ReadSettings(IniDocument("[default]\n" + name + "=maybe\n"), kDefaults).*field, usual);

        Settings s = kDefaults;
        IniDocument never("");
        WriteSettings(never, s);
        EXPECT_FALSE(never.Get("default", name));
        s.*field = !usual;
        IniDocument changed("");
        WriteSettings(changed, s);
        EXPECT_EQ(changed.Get("default", name), usual ? "0" : "1");
        s.*field = usual;
        WriteSettings(changed, s);  // changed back: the key stays, saying so
        EXPECT_EQ(changed.Get("default", name), usual ? "1" : "0");
    }
}

TEST(Settings, WrittenInOrderBesideWhatTheFileHeld) {
    IniDocument ini("; mine\n[extra]\nkeep=1\n[default]\nCbPath=1\nUnknown=kept\n");
    Settings s = kDefaults;
    s.PicPath = "/data/web/ ";
    s.DocType = -1;
    s.CurPicName = "照片.jpg";
    WriteSettings(ini, s);
    EXPECT_EQ(ini.ToString(),
              "; mine\n[extra]\nkeep=1\n[default]\nCbPath=0\nUnknown=kept\n"
              "PicPath=\"/data/web/ \"\nURLPath=http://www.nuvsoft.example/\nDefaultSavePath=/opt/nuv/web\n"
              "CurPicName=照片.jpg\nDocType=-1\nLeftPanelWidth=180\n");
    const Settings back = ReadSettings(ini, DefaultSettings("", ""));
    EXPECT_EQ(back.PicPath, "/data/web/ ");
    EXPECT_EQ(back.DocType, -1);
}

TEST(Settings, LocationFollowsTheProgramFolderWhereWritable) {
    const struct {
        bool writable, programFileExists;
        std::vector<std::string> read;
        const char* write;
        const char* saveFolder;
    } cases[] = {
        {true, false, {"/p/defualt.ini"}, "/p/defualt.ini", "/p/web"},
        {true, true, {"/p/defualt.ini"}, "/p/defualt.ini", "/p/web"},
        {false, false, {"/c/nuv-webextract/defualt.ini"}, "/c/nuv-webextract/defualt.ini", "/d/nuv-webextract"},
        {false, true, {"/p/defualt.ini", "/c/nuv-webextract/defualt.ini"}, "/c/nuv-webextract/defualt.ini",
         "/d/nuv-webextract"},
    };
    for (const auto& c : cases) {
        const SettingsLocation l = LocateSettings("/p/", c.writable, c.programFileExists, "/c/", "/d/");
        EXPECT_EQ(l.readFiles, c.read);
        EXPECT_EQ(l.writeFile, c.write);
        EXPECT_EQ(l.defaultSaveFolder, c.saveFolder);
        EXPECT_EQ(fs::path(l.recentFile).parent_path(), fs::path(l.writeFile).parent_path());
    }
    // Downloads never replace the program's own files, those of its folder included when
    // the settings live elsewhere.
    const SettingsLocation perUser = LocateSettings("/p/", false, false, "/c/", "/d/");
    EXPECT_EQ(ProgramOwnFiles(perUser, "/p/", "/opt/bin/nuv-webextract"),
              (std::vector<std::string>{perUser.writeFile, perUser.recentFile, "/opt/bin/nuv-webextract",
                                        "/p/defualt.ini", "/p/typedurls.txt", "/p/update.exe", "/p/update.txt",
                                        "/p/nuv-webextract", "/p/nuv-extract"}));

    EXPECT_EQ(UserConfigFolder("/h/", ""), "/h/.config/");
    EXPECT_EQ(UserConfigFolder("/h/", "relative/cfg"), "/h/.config/");
    EXPECT_EQ(UserConfigFolder("/h/", "/x/cfg"), "/x/cfg/");
    EXPECT_EQ(UserDownloadFolder("/h/", ""), "/h/Downloads/");
    EXPECT_EQ(UserDownloadFolder("/h/", "# c\nXDG_DOWNLOAD_DIR=\"$HOME/下载\"\n"), "/h/下载/");
    EXPECT_EQ(UserDownloadFolder("/h/", "XDG_DOWNLOAD_DIR=\"/srv/dl\""), "/srv/dl/");
    EXPECT_EQ(UserDownloadFolder("/h/", "XDG_DOWNLOAD_DIR=\"dl\""), "/h/Downloads/");
}

TEST(Settings, FilesLayerAndSaveReplacesTheFileWhole) {
    TempFolder dir;
    const std::string program = dir.Path() + "program/";
    const std::string config = dir.Path() + "config/";
    fs::create_directories(program);
    WriteFile(program + "defualt.ini", "[default]\nURLPath=http://shipped.example/\nDocType=2\n");
    WriteFile(config + "nuv-webextract/defualt.ini", "[default]\nDocType=4\n");
    // As a read-only program folder would give it.
    SettingsLocation l = LocateSettings(program, false, true, config, dir.Path());
    Settings s = LoadSettingsFiles(l, kDefaults);
    EXPECT_EQ(s.URLPath, "http://shipped.example/");
    EXPECT_EQ(s.DocType, 4);

    s.CurPicName = "b.png";
    SaveSettingsFile(l, s);
    EXPECT_EQ(ReadFileText(program + "defualt.ini").value(), "[default]\nURLPath=http://shipped.example/\nDocType=2\n");
    EXPECT_EQ(LoadSettingsFiles(l, kDefaults).CurPicName, "b.png");
    for (const auto& entry : fs::directory_iterator(config + "nuv-webextract"))
        EXPECT_EQ(entry.path().filename(), "defualt.ini");  // no temporary file left behind

    // A first save into a missing per-user folder creates it.
    l = LocateSettings(program, false, false, dir.Path() + "new/", dir.Path());
    SaveSettingsFile(l, s);
    EXPECT_EQ(LoadSettingsFiles(l, kDefaults).CurPicName, "b.png");

    // A write that cannot complete leaves what was there and no temporary file.
    const std::string blocked = dir.Path() + "blocked/";
    fs::create_directories(blocked + "defualt.ini");
    EXPECT_THROW(WriteFileAtomically(blocked + "defualt.ini", "x"), std::runtime_error);
    EXPECT_TRUE(fs::is_directory(blocked + "defualt.ini"));
    EXPECT_EQ(std::distance(fs::directory_iterator(blocked), fs::directory_iterator()), 1);
    EXPECT_THROW(WriteFileAtomically(dir.Path() + "missing/defualt.ini", "x"), std::runtime_error);
}

TEST(Settings, OnlySmallRegularFilesAreReadAndNumbersStayInRange) {
    TempFolder dir;
    const std::string fifo = dir.Path() + "defualt.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir.Path() + "big.ini";
    WriteFile(big, "[default]\nDocType=3\n" + std::string(kSmallFileLimit, ';'));
    const std::string bytes = dir.Path() + "bytes.ini";
    WriteFile(bytes, "[default]\nPicPath=/data/\xff\xfe\nLeftPanelWidth=-2147483648\n");
    // Each returns at once; a FIFO or a device is never waited on.
    for (const std::string& path : {fifo, big, std::string("/dev/zero"), dir.Path()})
        EXPECT_EQ(ReadFileText(path), std::nullopt) << path;
    EXPECT_EQ(ReadFileText(bytes, 10), std::nullopt);
    SettingsLocation l;
    l.readFiles = {fifo, big, "/dev/zero", bytes};
    const Settings s = LoadSettingsFiles(l, kDefaults);
    EXPECT_EQ(s.DocType, 0);
    EXPECT_EQ(s.PicPath, "/data/\xff\xfe");  // bytes that are no UTF-8 come back unchanged
    EXPECT_EQ(s.LeftPanelWidth, 0);
    EXPECT_EQ(ReadSettings(IniDocument("[default]\nLeftPanelWidth=99999999\n"), kDefaults).LeftPanelWidth,
              kMaxPanelWidth);
}

}  // namespace
}  // namespace nuv
