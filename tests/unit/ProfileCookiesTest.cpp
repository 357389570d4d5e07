#include "cli/logic/ProfileCookies.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/BrowserHistories.h"

namespace nuv {
namespace {
namespace fs = std::filesystem;
using namespace nuv::test;

std::string Bytes(std::string_view prefix, std::string_view hex) {
    std::string out(prefix);
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

// "name=value" of each cookie, with what decides where it goes.
std::vector<std::string> Shown(const ProfileCookies& read) {
    std::vector<std::string> shown;
    for (const FileCookie& c : read.cookies) {
        const char* sameSite[] = {"unset", "none", "lax", "strict"};
        shown.push_back(c.name + "=" + c.value + " " + (c.subdomains ? "." : "") + c.domain +
                        c.path + (c.secure ? " secure" : "") + (c.httpOnly ? " httponly" : "") +
                        " " + sameSite[static_cast<int>(c.sameSite)] + " " +
                        std::to_string(c.expires));
    }
    return shown;
}

void Age(const std::string& file, int hours) {
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(hours));
}

constexpr std::int64_t kNow = 1'800'000'000;  // 2027

TEST(ProfileCookies, ChromiumValuesDecryptWithTheFixedKeyOrAreNamedAsUndecryptable) {
    const std::string login =
        Bytes("v10", "b857fcdcb0fd4eb7a479f690e2388113");  // "login=42", no host digest
    const std::string token =
        Bytes("v10",
              "42b0e4cb2a8a623f0e9ee148fdf66a53e64bf5f06f7488884847bc30ef18f294"
              "8864e31c67b57a2a661b53c44f892676");  // digest of ".site.test", "token"
    const std::string emptyKey = "7b95e92ff00ef9a9c331b2570cb7d7aa";  // "empty-key", empty password
    struct Row {
        std::string encrypted, host;
        bool digest;
        std::optional<std::string> value;
    };
    for (const Row& row : std::vector<Row>{
             {login, "a.test", false, "login=42"},
             {login, "a.test", true, std::nullopt},  // too short for a digest
             {token, ".site.test", true, "token"},
             {token, "site.test", true, std::nullopt},  // another host's value
             {Bytes("v11", emptyKey), "a.test", false, "empty-key"},
             {Bytes("v10", emptyKey), "a.test", false, "empty-key"},
             {"v11" + login.substr(3), "a.test", false, std::nullopt},  // the keyring's key
             {"v12" + login.substr(3), "a.test", false, std::nullopt},
             {login.substr(0, 18), "a.test", false, std::nullopt},
             {"", "a.test", false, std::nullopt},
         }) {
        EXPECT_EQ(DecryptChromiumValue(row.encrypted, row.host, row.digest), row.value)
            << row.host << row.digest;
    }

    TempFolder home;
    const std::string h = home.Path();
    const std::string current = h + ".config/chromium/Default/Network/Cookies";
    MakeDatabaseOf(current, ReadData("profiles/chromium-cookies.sql"));
    const std::string older = h + ".config/chromium/Profile 1/Cookies";
    MakeDatabaseOf(older,
                   "CREATE TABLE cookies (host_key TEXT, name TEXT, value TEXT, path TEXT, "
                   "expires_utc INTEGER,"
                   " secure INTEGER, httponly INTEGER); INSERT INTO cookies VALUES"
                   " ('old.test', 'before', 'network', '/', 0, 1, 0)");
    Age(older, 5);
    const ProfileCookies read = ReadProfileCookies({"chromium", ""}, {h, ""}, kNow);
    EXPECT_EQ(read.database, current);
    EXPECT_EQ(Shown(read),
              (std::vector<std::string>{"member=yes 127.0.0.1/club httponly unset 0",
                                        "token=token .site.test/ secure none 4102444800",
                                        "plain=visible site.test/ strict 4102444800"}));
    EXPECT_EQ(read.undecryptable, std::vector<std::string>{"keyring for site.test"});
    // A profile by its folder name; a database of the years before the Network folder.
    EXPECT_EQ(Shown(ReadProfileCookies({"chromium", "Profile 1"}, {h, ""}, kNow)),
              std::vector<std::string>{"before=network old.test/ secure unset 0"});
    EXPECT_THROW(ReadProfileCookies({"chrome", ""}, {h, ""}, kNow), std::runtime_error);
}

TEST(ProfileCookies, FirefoxProfileIsReadFromACopyWithItsWriteAheadLog) {
    TempFolder home;
    const std::string h = home.Path();
    MakeFirefoxProfile(h, "old", {});
    MakeDatabaseOf(
        h + ".mozilla/firefox/old/cookies.sqlite",
        "CREATE TABLE moz_cookies (name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER,"
        " isSecure INTEGER, isHttpOnly INTEGER); INSERT INTO moz_cookies VALUES"
        " ('older', 'profile', 'old.test', '/', 0, 0, 0)");
    Age(h + ".mozilla/firefox/old/cookies.sqlite", 5);
    MakeFirefoxProfile(h, "abc.default-release", {});
    const std::string current = h + ".mozilla/firefox/abc.default-release/cookies.sqlite";
    MakeDatabaseOf(current, ReadData("profiles/firefox-cookies.sql"));
    const TempFolder scratch;
    const char* before = std::getenv("TMPDIR");
    const std::optional<std::string> tmp =
        before ? std::optional<std::string>(before) : std::nullopt;
    setenv("TMPDIR", scratch.Path().c_str(), 1);

    // The running browser has just logged in: the new cookie is in the write-ahead log
    // alone, while the browser holds the database open.
    sqlite3* browser = nullptr;
    ASSERT_EQ(sqlite3_open(current.c_str(), &browser), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(
                  browser,
                  "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; INSERT INTO moz_cookies "
                  "(name, value, host, path, expiry, isSecure, isHttpOnly) VALUES "
                  "('fresh', 'login', 'site.test', '/', 0, 1, 1)",
                  nullptr, nullptr, nullptr),
              SQLITE_OK);
    ASSERT_TRUE(fs::exists(current + "-wal"));
    const ProfileCookies read = ReadProfileCookies({"firefox", ""}, {h, ""}, kNow);
    sqlite3_close(browser);
    EXPECT_EQ(read.database, current);
    EXPECT_EQ(Shown(read),
              (std::vector<std::string>{"member=yes 127.0.0.1/club httponly unset 4102444800",
                                        "lax=1 .site.test/ secure lax 4102444800",
                                        "strict=2 site.test/a strict 4102444800",
                                        "fresh=login site.test/ secure httponly unset 0"}));
    EXPECT_TRUE(read.undecryptable.empty());
    // By the profile's name, and by its folder's path.
    for (const std::string& profile : {std::string("old"), h + ".mozilla/firefox/old"})
        EXPECT_EQ(Shown(ReadProfileCookies({"firefox", profile}, {h, ""}, kNow)),
                  std::vector<std::string>{"older=profile old.test/ unset 0"});
    try {
        ReadProfileCookies({"firefox", "nope"}, {h, ""}, kNow);
        ADD_FAILURE() << "a missing profile was read";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "no Firefox profile 'nope' with a cookies.sqlite");
    }
    // No copy of the cookies is left behind.
    EXPECT_TRUE(fs::is_empty(scratch.Dir()));
    if (tmp) {
        setenv("TMPDIR", tmp->c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

TEST(ProfileCookies, BrowserNamesAndProfiles) {
    struct Row {
        std::string_view value, browser, profile, error;
    };
    for (const Row& row : std::vector<Row>{
             {"firefox", "firefox", "", ""},
             {"Chromium:Profile 1", "chromium", "Profile 1", ""},
             {"brave:/home/me/brave", "brave", "/home/me/brave", ""},
             {"firefox:", "firefox", "", "needs a profile after ':'"},
             {"safari", "safari", "",
              "unknown browser 'safari' (one of firefox, chromium, chrome, chrome-beta, "
              "chrome-unstable, brave, edge, edge-beta, edge-dev, vivaldi, "
              "vivaldi-snapshot, opera, opera-beta, opera-developer, yandex)"},
         }) {
        CookieBrowser read;
        EXPECT_EQ(ParseCookieBrowser(row.value, read), row.error) << row.value;
        if (row.error.empty()) {
            EXPECT_EQ(read.browser + "|" + read.profile,
                      std::string(row.browser) + "|" + std::string(row.profile));
        }
    }
}

}  // namespace
}  // namespace nuv
