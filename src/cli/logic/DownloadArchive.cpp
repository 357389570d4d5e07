#include "cli/logic/DownloadArchive.h"

#include <stdexcept>

#include <sqlite3.h>

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
    sqlite3_busy_timeout(db_, 10000);
    // The write-ahead log makes each row's commit cheap (no flush to disk per file) and
    // keeps the file whole when the process ends at any moment.
    const char* setup =
        "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
        "CREATE TABLE IF NOT EXISTS downloads (address TEXT NOT NULL, file TEXT NOT NULL,"
        " size INTEGER NOT NULL, time INTEGER NOT NULL, PRIMARY KEY (address, file));";
    if (sqlite3_exec(db_, setup, nullptr, nullptr, nullptr) != SQLITE_OK) fail({});
    // A table of that name made by something else is not ours to write into.
    if (!Statement(db_, "SELECT address, file, size, time FROM downloads LIMIT 0"))
        fail("it holds a table \"downloads\" of another kind");
    if (sqlite3_exec(db_, "CREATE INDEX IF NOT EXISTS downloads_file ON downloads (file)", nullptr, nullptr,
                     nullptr) != SQLITE_OK)
        fail({});
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

}  // namespace nuv
