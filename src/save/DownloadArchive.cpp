#include "save/DownloadArchive.h"

#include <stdexcept>
#include <string_view>

#include <sqlite3.h>

#include "common/Text.h"

namespace nuv {
namespace {

// A prepared statement that is finalised however the caller leaves.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return s_ != nullptr; }
    void Bind(int i, const std::string& text) {
        sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void Bind(int i, std::int64_t value) { sqlite3_bind_int64(s_, i, value); }
    int Step() { return s_ ? sqlite3_step(s_) : SQLITE_MISUSE; }
    std::int64_t Int(int i) { return sqlite3_column_int64(s_, i); }
    std::string Text(int i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s_, i));
        return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(s_, i))) : std::string();
    }

private:
    sqlite3_stmt* s_ = nullptr;
};

// The archive's own schema, as sqlite_master keeps it (see Normalized): the table and the
// index on its files. The table's primary key brings SQLite's own index with it.
constexpr const char* kTable =
    "CREATE TABLE IF NOT EXISTS downloads (address TEXT NOT NULL, file TEXT NOT NULL,"
    " size INTEGER NOT NULL, time INTEGER NOT NULL, PRIMARY KEY (address, file))";
constexpr const char* kIndex = "CREATE INDEX IF NOT EXISTS downloads_file ON downloads (file)";
constexpr const char* kKeyIndex = "sqlite_autoindex_downloads_1";
// The contents of the files of --dedup: each address's SHA-256 and the file that holds
// those bytes (its own, or the one it duplicates).
constexpr const char* kHashTable =
    "CREATE TABLE IF NOT EXISTS hashes (address TEXT NOT NULL, sha256 TEXT NOT NULL, file TEXT NOT NULL,"
    " PRIMARY KEY (address))";
constexpr const char* kHashIndex = "CREATE INDEX IF NOT EXISTS hashes_sha256 ON hashes (sha256)";
constexpr const char* kHashKeyIndex = "sqlite_autoindex_hashes_1";

// `sql` lower-cased, each run of blanks one space and none beside "(", ")" or ",", and
// without the "if not exists" that SQLite leaves out of what it keeps: the statement typed
// with other spacing or case (as the README's merge recipe has it) gives the same text.
std::string Normalized(std::string_view sql) {
    const auto punct = [](char c) { return c == '(' || c == ')' || c == ','; };
    std::string spaced;
    for (const char c : LowerAscii(sql)) {
        if (static_cast<unsigned char>(c) > ' ') {
            spaced.push_back(c);
        } else if (!spaced.empty() && spaced.back() != ' ') {
            spaced.push_back(' ');
        }
    }
    std::string out;
    for (std::size_t i = 0; i < spaced.size(); ++i) {
        if (spaced[i] == ' ' && (out.empty() || punct(out.back()) || i + 1 == spaced.size() || punct(spaced[i + 1])))
            continue;
        out.push_back(spaced[i]);
    }
    for (const std::string_view create : {"create table ", "create index "}) {
        if (StartsWith(out, std::string(create) + "if not exists ")) out.erase(create.size(), 14);
    }
    return out;
}

// Why the schema of the open database is not the archive's, "" when it is (or when the
// database is empty). `hasTable` and `hasIndex` say what of the archive's own is there.
std::string ForeignSchema(sqlite3* db, bool& hasTable, bool& hasIndex, bool& hasHashes, bool& hasHashIndex) {
    Statement s(db, "SELECT type, name, tbl_name, sql FROM sqlite_master");
    if (!s) return sqlite3_errmsg(db);
    const std::string table = Normalized(kTable);
    const std::string index = Normalized(kIndex);
    const std::string hashTable = Normalized(kHashTable);
    const std::string hashIndex = Normalized(kHashIndex);
    int step = SQLITE_ROW;
    while ((step = s.Step()) == SQLITE_ROW) {
        const std::string type = s.Text(0);
        const std::string name = s.Text(1);
        const bool onDownloads = s.Text(2) == "downloads";
        const std::string sql = Normalized(s.Text(3));
        if (type == "table" && name == "downloads") {
            if (sql != table) return "its table \"downloads\" is not the archive's (other columns or constraints)";
            hasTable = true;
        } else if (type == "index" && name == kKeyIndex && onDownloads && sql.empty()) {
            // SQLite's own index of the primary key.
        } else if (type == "index" && name == "downloads_file" && onDownloads && sql == index) {
            hasIndex = true;
        } else if (type == "table" && name == "hashes") {
            if (sql != hashTable) return "its table \"hashes\" is not the archive's (other columns or constraints)";
            hasHashes = true;
        } else if (type == "index" && name == kHashKeyIndex && s.Text(2) == "hashes" && sql.empty()) {
        } else if (type == "index" && name == "hashes_sha256" && s.Text(2) == "hashes" && sql == hashIndex) {
            hasHashIndex = true;
        } else {
            const std::string what = type == "index" ? "an index" : "a " + type;
            return "it holds " + what + " \"" + name + "\" that is not the archive's own";
        }
    }
    return step == SQLITE_DONE ? std::string() : std::string(sqlite3_errmsg(db));
}

}  // namespace

DownloadArchive::DownloadArchive(const std::string& path) {
    const int opened = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                                       nullptr);
    auto fail = [&](const std::string& why) {
        const std::string detail = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error(why.empty() ? detail : why);
    };
    if (opened != SQLITE_OK) fail({});
    // The file may come from another machine: nothing its schema names runs here, and no
    // statement may alter the schema's inner workings.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
#ifdef SQLITE_DBCONFIG_TRUSTED_SCHEMA
    sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
#endif
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    if (sqlite3_exec(db_, "PRAGMA trusted_schema=OFF", nullptr, nullptr, nullptr) != SQLITE_OK) fail({});
    sqlite3_busy_timeout(db_, 10000);
    // Only the archive's own table and index, or nothing yet: anything else (a trigger, a
    // view, another table or index, other columns) was made by someone else, and the file
    // is left as it is.
    bool hasTable = false;
    bool hasIndex = false;
    bool hasHashes = false;
    bool hasHashIndex = false;
    if (const std::string why = ForeignSchema(db_, hasTable, hasIndex, hasHashes, hasHashIndex); !why.empty()) fail(why);
    // The write-ahead log makes each row's commit cheap (no flush to disk per file) and
    // keeps the file whole when the process ends at any moment.
    if (sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail({});
    if (!hasTable && sqlite3_exec(db_, kTable, nullptr, nullptr, nullptr) != SQLITE_OK) fail({});
    if (!hasIndex && sqlite3_exec(db_, kIndex, nullptr, nullptr, nullptr) != SQLITE_OK) fail({});
    // The hashes come with the first of them, so an archive of runs without --dedup stays
    // as the program's older versions read it.
    hashes_ = hasHashes;
}

DownloadArchive::~DownloadArchive() { sqlite3_close(db_); }

std::optional<DownloadArchive::Entry> DownloadArchive::Find(const std::string& address, const std::string& file) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_, "SELECT size, time FROM downloads WHERE address = ?1 AND file = ?2");
    s.Bind(1, address);
    s.Bind(2, file);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return Entry{static_cast<std::uint64_t>(s.Int(0)), s.Int(1)};
}

std::optional<std::pair<std::string, DownloadArchive::Entry>> DownloadArchive::FindAnswered(const std::string& address,
                                                                                          const std::string& stem) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_, "SELECT file, size, time FROM downloads WHERE address = ?1 AND substr(file, 1, length(?2)) = ?2");
    const std::string prefix = stem + ".";
    s.Bind(1, address);
    s.Bind(2, prefix);
    while (s.Step() == SQLITE_ROW) {
        std::string file = s.Text(0);
        if (file.find('/', prefix.size()) != std::string::npos) continue;
        return std::pair{std::move(file), Entry{static_cast<std::uint64_t>(s.Int(1)), s.Int(2)}};
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, DownloadArchive::Entry>> DownloadArchive::FindAddress(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_, "SELECT file, size, time FROM downloads WHERE address = ?1 ORDER BY time DESC LIMIT 1");
    s.Bind(1, address);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return std::pair{s.Text(0), Entry{static_cast<std::uint64_t>(s.Int(1)), s.Int(2)}};
}

bool DownloadArchive::FileOfOtherAddress(const std::string& file, const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_, "SELECT 1 FROM downloads WHERE file = ?1 AND address <> ?2 LIMIT 1");
    s.Bind(1, file);
    s.Bind(2, address);
    return s.Step() == SQLITE_ROW;
}

bool DownloadArchive::Record(const std::string& address, const std::string& file, std::uint64_t size,
                             std::int64_t time) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_, "INSERT OR REPLACE INTO downloads (address, file, size, time) VALUES (?1, ?2, ?3, ?4)");
    s.Bind(1, address);
    s.Bind(2, file);
    s.Bind(3, static_cast<std::int64_t>(size));
    s.Bind(4, time);
    return s.Step() == SQLITE_DONE;
}

bool DownloadArchive::RecordHash(const std::string& address, const std::string& sha256, const std::string& file) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hashes_) {
        if (sqlite3_exec(db_, kHashTable, nullptr, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_exec(db_, kHashIndex, nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
        hashes_ = true;
    }
    Statement s(db_, "INSERT OR REPLACE INTO hashes (address, sha256, file) VALUES (?1, ?2, ?3)");
    s.Bind(1, address);
    s.Bind(2, sha256);
    s.Bind(3, file);
    return s.Step() == SQLITE_DONE;
}

std::optional<std::string> DownloadArchive::FileOfHash(const std::string& sha256) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hashes_) return std::nullopt;
    Statement s(db_, "SELECT file FROM hashes WHERE sha256 = ?1 LIMIT 1");
    s.Bind(1, sha256);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return s.Text(0);
}

std::optional<std::string> DownloadArchive::DuplicatedFile(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hashes_) return std::nullopt;
    Statement s(db_,
                "SELECT h.file FROM hashes h WHERE h.address = ?1 AND NOT EXISTS"
                " (SELECT 1 FROM downloads d WHERE d.address = h.address AND d.file = h.file)");
    s.Bind(1, address);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return s.Text(0);
}

}  // namespace nuv
