#include "app/logic/TypedAddresses.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "common/FileText.h"
#include "support/BrowserHistories.h"

namespace nuv {
namespace {
using namespace nuv::test;
using List = std::vector<std::string>;

List Read(const TypedAddressSources& sources, bool webOnly = true) {
    List list;
    ReadTypedAddresses(list, webOnly, sources);
    return list;
}

TEST(TypedAddresses, EveryBrowserOnceSortedWebOnly) {
    TempFolder home;
    const std::string h = home.Path();
    MakeFirefoxProfile(h, "abc.default-release",
                       {{"http://b.example/", 1}, {"https://visited.example/", 0}, {"ftp://host/", 1},
                        {"about:blank", 1}, {"HTTP://HOST/", 1}, {"https://both.example/", 1}});
    MakeFirefoxProfile(h, "second", {{"http://second.example/", 1}});
    MakeChromiumHistory(h + ".config/google-chrome/Default/History",
                        {{"https://both.example/", 3}, {"http://c.example/", 1}, {"http://link.example/", 0}});
    MakeChromiumHistory(h + ".config/chromium/Profile 1/History", {{"https://d.example/x?y", 2}});
    MakeChromiumHistory(h + ".config/opera/History", {{"http://opera.example/", 1}});
    MakeChromiumHistory(h + "snap/chromium/common/chromium/Default/History", {{"http://snap.example/", 1}});
    WriteFile(h + "recent.txt", "http://mine.example/\n\n  http://b.example/ \nfile:///tmp/a.html\nhttp://host/\n");
    const TypedAddressSources sources{h, "", h + "recent.txt"};

    // Alphabetical without regard to case; the same address in other capitals after.
    EXPECT_EQ(Read(sources), (List{"http://b.example/", "http://c.example/", "HTTP://HOST/", "http://host/",
                                   "http://mine.example/", "http://opera.example/", "http://second.example/",
                                   "http://snap.example/", "https://both.example/", "https://d.example/x?y"}));
    const List all = Read(sources, false);
    EXPECT_EQ(all.size(), 13u);
    EXPECT_EQ(all.front(), "about:blank");
    EXPECT_EQ(all.back(), "https://d.example/x?y");

    // A configuration folder of its own replaces home/.config for the Chromium family.
    EXPECT_EQ(Read({h, h + "elsewhere/", ""}),
              (List{"http://b.example/", "HTTP://HOST/", "http://second.example/", "http://snap.example/",
                    "https://both.example/"}));
    // No home, no browsers.
    EXPECT_EQ(Read({"", "", ""}), List{});
}

TEST(TypedAddresses, BrokenOrLockedSourcesDoNotStopTheOthers) {
    TempFolder home;
    const std::string h = home.Path();
    MakeChromiumHistory(h + ".config/chromium/Default/History", {{"http://ok.example/", 1}});
    WriteFile(h + ".config/google-chrome/Default/History", "not a database at all");
    MakeChromiumHistory(h + ".config/vivaldi/Default/History", {});
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((h + ".config/vivaldi/Default/History").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "DROP TABLE urls", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    // profiles.ini naming a missing profile and an absolute one.
    MakeFirefoxProfile(h, "p", {{"http://locked.example/", 1}});
    WriteFile(h + ".mozilla/firefox/profiles.ini",
                  "[Install4F96]\nDefault=p\n[Profile0]\nPath=gone\n[Profile1]\nIsRelative=0\nPath=" + h +
                      ".mozilla/firefox/p\n");
    // A running browser holds its database locked.
    sqlite3* browser = nullptr;
    ASSERT_EQ(sqlite3_open((h + ".mozilla/firefox/p/places.sqlite").c_str(), &browser), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(browser, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                    "UPDATE moz_places SET typed = 1",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(Read({h, "", h + "no-such-file"}), (List{"http://locked.example/", "http://ok.example/"}));
    sqlite3_exec(browser, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(browser);

    // Folder names that mean something in a URI are still paths.
    TempFolder odd;
    const std::string o = odd.Path() + "a?b#c%20d/";
    MakeChromiumHistory(o + ".config/chromium/Default/History", {{"http://odd.example/", 1}});
    EXPECT_EQ(Read({o, "", ""}), List{"http://odd.example/"});
}

TEST(TypedAddresses, RecentAddressesKeepTheLast25) {
    List recent;
    for (int i = 0; i < 30; ++i) RememberAddress(recent, "http://a" + std::to_string(i) + ".example/");
    ASSERT_EQ(recent.size(), RecentAddressLimit);
    EXPECT_EQ(recent.front(), "http://a29.example/");
    EXPECT_EQ(recent.back(), "http://a5.example/");
    RememberAddress(recent, "  http://a10.example/ ");
    EXPECT_EQ(recent.front(), "http://a10.example/");
    EXPECT_EQ(std::count(recent.begin(), recent.end(), "http://a10.example/"), 1);
    for (const char* ignored : {"", "   ", "http://x/\nhttp://y/"}) {
        const List before = recent;
        RememberAddress(recent, ignored);
        EXPECT_EQ(recent, before);
    }
    EXPECT_EQ(ParseRecentAddresses(FormatRecentAddresses(recent)), recent);
    EXPECT_EQ(ParseRecentAddresses(std::string(40, '\n') + "x\r\ny"), (List{"x", "y"}));

    TempFolder dir;
    const std::string file = dir.Path() + "sub/typedurls.txt";
    RecordRecentAddress(file, "http://one.example/");
    RecordRecentAddress(file, "http://two.example/");
    RecordRecentAddress(file, "http://one.example/");
    EXPECT_EQ(ReadFileText(file).value(), "http://one.example/\nhttp://two.example/\n");
}

}  // namespace
}  // namespace nuv
