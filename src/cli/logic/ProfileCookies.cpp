#include "cli/logic/ProfileCookies.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <stdexcept>

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <sqlite3.h>

#include "common/Text.h"

namespace nuv {
namespace fs = std::filesystem;

namespace {

using Row = std::function<void(sqlite3_stmt*)>;

// A private copy of a cookie database and its write-ahead log, opened and removed with
// this object. The browser writes its newest cookies (a login of a minute ago) into the
// log first, so the database alone, opened immutable, would miss them.
class DatabaseCopy {
public:
    explicit DatabaseCopy(const fs::path& file) {
        std::string pattern = (fs::temp_directory_path() / "nuv-cookies-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder: " +
                                     std::string(std::strerror(errno)));
        folder_ = pattern;
        const fs::path copy = folder_ / "cookies";
        Copy(file, copy);
        std::error_code ec;
        fs::path wal = file;
        wal += "-wal";
        if (fs::is_regular_file(wal, ec)) Copy(wal, fs::path(copy.string() + "-wal"));
        if (sqlite3_open_v2(copy.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error(file.string() + " is not a database");
    }
    ~DatabaseCopy() {
        sqlite3_close(db_);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    DatabaseCopy(const DatabaseCopy&) = delete;
    DatabaseCopy& operator=(const DatabaseCopy&) = delete;

    // Calls `row` for each row of `sql`; throws when the statement cannot run.
    void Each(const std::string& sql, const Row& row) const {
        sqlite3_stmt* statement = nullptr;
        int status = sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr);
        while (status == SQLITE_OK && (status = sqlite3_step(statement)) == SQLITE_ROW) {
            row(statement);
            status = SQLITE_OK;
        }
        const std::string why = sqlite3_errmsg(db_);
        sqlite3_finalize(statement);
        if (status != SQLITE_DONE) throw std::runtime_error("cannot read the cookies: " + why);
    }

    std::set<std::string> Columns(const std::string& table) const {
        std::set<std::string> columns;
        Each("PRAGMA table_info(" + table + ")",
             [&](sqlite3_stmt* s) { columns.insert(Text(s, 1)); });
        return columns;
    }

    static std::string Text(sqlite3_stmt* s, int column) {
        const void* bytes = sqlite3_column_blob(s, column);
        return bytes ? std::string(static_cast<const char*>(bytes),
                                   static_cast<size_t>(sqlite3_column_bytes(s, column)))
                     : std::string();
    }

private:
    static void Copy(const fs::path& from, const fs::path& to) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(from, ec);
        if (ec) throw std::runtime_error("cannot read " + from.string() + ": " + ec.message());
        if (size > kMaxCookieDatabaseBytes)
            throw std::runtime_error(from.string() + " is too large for a cookie database");
        if (!fs::copy_file(from, to, ec))
            throw std::runtime_error("cannot copy " + from.string() + ": " + ec.message());
    }

    fs::path folder_;
    sqlite3* db_ = nullptr;
};

// `name` when the table has that column, else `otherwise` (older versions of a browser).
std::string Column(const std::set<std::string>& columns, std::initializer_list<const char*> names,
                   const char* otherwise) {
    for (const char* name : names)
        if (columns.count(name)) return name;
    return otherwise;
}

bool PassesOver(const FileCookie& c) {
    return c.domain.empty() || c.name.empty() || HasCookieControl(c.name) ||
           HasCookieControl(c.value) || HasCookieControl(c.domain) || HasCookieControl(c.path);
}

// A host column: ".example.com" for the domain and its subdomains, "example.com" for the host
// alone.
void SetHost(FileCookie& c, std::string host) {
    c.subdomains = !host.empty() && host.front() == '.';
    c.domain = LowerAscii(c.subdomains ? std::string_view(host).substr(1) : std::string_view(host));
}

std::optional<fs::file_time_type> ChangedAt(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    const auto at = fs::last_write_time(file, ec);
    if (ec) return std::nullopt;
    return at;
}

// The database among `candidates` that changed last; "" when none exists.
fs::path Newest(const std::vector<fs::path>& candidates) {
    fs::path newest;
    std::optional<fs::file_time_type> newestAt;
    for (const fs::path& file : candidates) {
        const auto at = ChangedAt(file);
        if (at && (!newestAt || *at > *newestAt)) {
            newest = file;
            newestAt = at;
        }
    }
    return newest;
}

bool IsPath(const std::string& profile) {
    return profile.find('/') != std::string::npos;
}

fs::path FirefoxDatabase(const std::string& profile, const BrowserFolders& folders) {
    std::vector<fs::path> candidates;
    if (IsPath(profile)) {
        candidates.push_back(fs::path(profile) / "cookies.sqlite");
    } else {
        for (const std::string& root : FirefoxProfileRoots(folders)) {
            for (const FirefoxProfile& p : FirefoxProfiles(root)) {
                const std::string folderName = fs::path(p.folder).parent_path().filename().string();
                if (profile.empty() || p.name == profile || folderName == profile)
                    candidates.push_back(p.folder + "cookies.sqlite");
            }
        }
    }
    fs::path database = Newest(candidates);
    if (database.empty()) {
        throw std::runtime_error(
            profile.empty() ? "no Firefox profile with a cookies.sqlite under " + folders.homeFolder
                            : "no Firefox profile '" + profile + "' with a cookies.sqlite");
    }
    return database;
}

fs::path ChromiumDatabase(const CookieBrowser& which, const BrowserFolders& folders) {
    std::vector<fs::path> profiles;
    if (IsPath(which.profile)) profiles.emplace_back(which.profile);
    for (const ChromiumBrowser& browser : ChromiumFamily(folders)) {
        if (browser.name != which.browser || IsPath(which.profile)) continue;
        for (const std::string& folder : browser.folders) {
            if (!which.profile.empty()) {
                profiles.emplace_back(folder + which.profile);
                continue;
            }
            profiles.emplace_back(folder);
            std::error_code ec;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
                profiles.push_back(it->path());
        }
    }
    // Since version 96 the database is in the profile's Network folder.
    std::vector<fs::path> candidates;
    for (const fs::path& p : profiles) {
        candidates.push_back(p / "Network" / "Cookies");
        candidates.push_back(p / "Cookies");
    }
    fs::path database = Newest(candidates);
    if (database.empty()) {
        throw std::runtime_error(which.profile.empty()
                                     ? "no " + which.browser +
                                           " profile with a Cookies database under " +
                                           folders.homeFolder
                                     : "no " + which.browser + " profile '" + which.profile +
                                           "' with a Cookies database");
    }
    return database;
}

void ReadFirefox(const DatabaseCopy& db, std::int64_t now, ProfileCookies& out) {
    const std::set<std::string> columns = db.Columns("moz_cookies");
    if (columns.empty()) throw std::runtime_error(out.database + " holds no Firefox cookies");
    const std::string sql = "SELECT host, path, isSecure, expiry, name, value, isHttpOnly, " +
                            Column(columns, {"sameSite"}, "0") + ", " +
                            Column(columns, {"originAttributes"}, "''") + " FROM moz_cookies";
    db.Each(sql, [&](sqlite3_stmt* s) {
        // Cookies of a container tab or of private browsing are not sent by an ordinary tab.
        if (!DatabaseCopy::Text(s, 8).empty()) return;
        FileCookie c;
        SetHost(c, DatabaseCopy::Text(s, 0));
        c.path = DatabaseCopy::Text(s, 1);
        if (c.path.empty()) c.path = "/";
        c.secure = sqlite3_column_int(s, 2) != 0;
        c.expires = sqlite3_column_int64(s, 3);
        // Newer versions keep the expiry in milliseconds; no cookie lives past the year 5000.
        if (c.expires > 100'000'000'000) c.expires /= 1000;
        c.name = DatabaseCopy::Text(s, 4);
        c.value = DatabaseCopy::Text(s, 5);
        c.httpOnly = sqlite3_column_int(s, 6) != 0;
        // 1 Lax, 2 Strict. Firefox writes 0 both for SameSite=None and for a cookie that
        // named no SameSite: taken as unset, it stays within the page's site.
        const int sameSite = sqlite3_column_int(s, 7);
        c.sameSite = sameSite == 1   ? SameSite::Lax
                     : sameSite == 2 ? SameSite::Strict
                                     : SameSite::Unset;
        if ((c.expires != 0 && c.expires < now) || PassesOver(c)) return;
        out.cookies.push_back(std::move(c));
    });
}

void ReadChromium(const DatabaseCopy& db, std::int64_t now, ProfileCookies& out) {
    const std::set<std::string> columns = db.Columns("cookies");
    if (columns.empty()) throw std::runtime_error(out.database + " holds no Chromium cookies");
    int version = 0;
    if (!db.Columns("meta").empty())
        db.Each("SELECT value FROM meta WHERE key = 'version'",
                [&](sqlite3_stmt* s) { version = sqlite3_column_int(s, 0); });
    const std::string sql =
        "SELECT host_key, path, " + Column(columns, {"is_secure", "secure"}, "0") +
        ", expires_utc, name, value, " + Column(columns, {"encrypted_value"}, "''") + ", " +
        Column(columns, {"is_httponly", "httponly"}, "0") + ", " +
        Column(columns, {"samesite"}, "-1") + ", " + Column(columns, {"top_frame_site_key"}, "''") +
        " FROM cookies";
    db.Each(sql, [&](sqlite3_stmt* s) {
        // A partitioned cookie goes only to pages under the site it was set beneath.
        if (!DatabaseCopy::Text(s, 9).empty()) return;
        FileCookie c;
        const std::string host = DatabaseCopy::Text(s, 0);
        SetHost(c, host);
        c.path = DatabaseCopy::Text(s, 1);
        if (c.path.empty()) c.path = "/";
        c.secure = sqlite3_column_int(s, 2) != 0;
        // Microseconds since 1601; 0 for a cookie of the session.
        const std::int64_t expires = sqlite3_column_int64(s, 3);
        c.expires =
            expires > 0 ? std::max<std::int64_t>(expires / 1'000'000 - 11'644'473'600, 1) : 0;
        c.name = DatabaseCopy::Text(s, 4);
        c.httpOnly = sqlite3_column_int(s, 7) != 0;
        const int sameSite = sqlite3_column_int(s, 8);
        c.sameSite = sameSite == 0   ? SameSite::None
                     : sameSite == 1 ? SameSite::Lax
                     : sameSite == 2 ? SameSite::Strict
                                     : SameSite::Unset;
        if (c.expires != 0 && c.expires < now) return;
        c.value = DatabaseCopy::Text(s, 5);
        const std::string encrypted = DatabaseCopy::Text(s, 6);
        if (c.value.empty() && !encrypted.empty()) {
            const auto value = DecryptChromiumValue(encrypted, host, version >= 24);
            if (!value) {
                out.undecryptable.push_back(c.name + " for " + host);
                return;
            }
            c.value = *value;
        }
        if (!PassesOver(c)) out.cookies.push_back(std::move(c));
    });
}

std::string DerivedKey(std::string_view password) {
    static constexpr std::string_view kSalt = "saltysalt";
    unsigned char key[16];
    PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()),
                           reinterpret_cast<const unsigned char*>(kSalt.data()),
                           static_cast<int>(kSalt.size()), 1, sizeof key, key);
    return std::string(reinterpret_cast<const char*>(key), sizeof key);
}

std::optional<std::string> DecryptAes128Cbc(const std::string& key, std::string_view data) {
    static const unsigned char iv[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                         ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    if (data.empty() || data.size() % 16 != 0) return std::nullopt;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (ctx == nullptr) return std::nullopt;
    std::string plain(data.size() + 16, '\0');
    int written = 0;
    int last = 0;
    const bool ok =
        EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()), iv) == 1 &&
        EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain.data()), &written,
                          reinterpret_cast<const unsigned char*>(data.data()),
                          static_cast<int>(data.size())) == 1 &&
        EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(plain.data()) + written, &last) ==
            1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) return std::nullopt;
    plain.resize(static_cast<size_t>(written + last));
    return plain;
}

}  // namespace

std::string ParseCookieBrowser(std::string_view value, CookieBrowser& out) {
    const size_t colon = value.find(':');
    out.browser = LowerAscii(value.substr(0, colon));
    out.profile =
        colon == std::string_view::npos ? std::string() : std::string(value.substr(colon + 1));
    if (colon != std::string_view::npos && TrimView(out.profile).empty())
        return "needs a profile after ':'";
    if (out.browser == "firefox") return {};
    std::string names = "firefox";
    for (const ChromiumBrowser& browser : ChromiumFamily({})) {
        if (browser.name == out.browser) return {};
        names += ", " + browser.name;
    }
    return "unknown browser '" + out.browser + "' (one of " + names + ")";
}

ProfileCookies ReadProfileCookies(const CookieBrowser& which, const BrowserFolders& folders,
                                  std::int64_t now) {
    ProfileCookies out;
    const bool firefox = which.browser == "firefox";
    const fs::path database =
        firefox ? FirefoxDatabase(which.profile, folders) : ChromiumDatabase(which, folders);
    out.database = database.string();
    const DatabaseCopy db(database);
    if (firefox)
        ReadFirefox(db, now, out);
    else
        ReadChromium(db, now, out);
    return out;
}

std::optional<std::string> DecryptChromiumValue(std::string_view encrypted,
                                                std::string_view hostKey, bool hostDigest) {
    const std::string_view version = encrypted.substr(0, 3);
    if (version != "v10" && version != "v11") return std::nullopt;
    // v10 is the fixed password; some versions used the empty one, which is also what
    // v11 means when the keyring had no password to give.
    std::vector<std::string> keys;
    if (version == "v10") keys.push_back(DerivedKey("peanuts"));
    keys.push_back(DerivedKey(""));
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(hostKey.data()), hostKey.size(), digest);
    for (const std::string& key : keys) {
        std::optional<std::string> plain = DecryptAes128Cbc(key, encrypted.substr(3));
        if (!plain) continue;
        if (hostDigest) {
            if (plain->compare(0, sizeof digest, reinterpret_cast<const char*>(digest),
                               sizeof digest) != 0)
                continue;
            plain->erase(0, sizeof digest);
        }
        // The wrong key yields bytes of chance, which almost never pass as a value.
        if (!HasCookieControl(*plain)) return plain;
    }
    return std::nullopt;
}

}  // namespace nuv
