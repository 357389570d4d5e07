#include "support/BrowserHistories.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <sqlite3.h>

namespace nuv::test {
namespace fs = std::filesystem;

namespace {

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "sqlite error";
        sqlite3_free(error);
        throw std::runtime_error(message + " in " + sql);
    }
}

void MakeDatabase(const std::string& file, const char* schema, const char* insert, const HistoryRows& rows) {
    fs::create_directories(fs::path(file).parent_path());
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create " + file);
    Exec(db, schema);
    Exec(db, "BEGIN");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, insert, -1, &st, nullptr);
    for (const auto& [url, count] : rows) {
        sqlite3_bind_text(st, 1, url.c_str(), static_cast<int>(url.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 2, count);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Exec(db, "COMMIT");
    sqlite3_close(db);
}

}  // namespace

void MakeFirefoxProfile(const std::string& home, const std::string& profile, const HistoryRows& places) {
    const std::string root = home + ".mozilla/firefox/";
    fs::create_directories(root);
    int n = 0;
    {
        std::ifstream in(root + "profiles.ini");
        for (std::string line; std::getline(in, line);)
            if (line.rfind("[Profile", 0) == 0) ++n;
    }
    std::ofstream(root + "profiles.ini", std::ios::app)
        << "[Profile" << n << "]\nName=" << profile << "\nIsRelative=1\nPath=" << profile << "\n\n";
    MakeDatabase(root + profile + "/places.sqlite",
                 "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR,"
                 " visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL,"
                 " typed INTEGER DEFAULT 0 NOT NULL)",
                 "INSERT INTO moz_places (url, typed) VALUES (?1, ?2)", places);
}

void MakeChromiumHistory(const std::string& file, const HistoryRows& urls) {
    MakeDatabase(file,
                 "CREATE TABLE urls (id INTEGER PRIMARY KEY AUTOINCREMENT, url LONGVARCHAR, title LONGVARCHAR,"
                 " visit_count INTEGER DEFAULT 0 NOT NULL, typed_count INTEGER DEFAULT 0 NOT NULL,"
                 " last_visit_time INTEGER NOT NULL DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL)",
                 "INSERT INTO urls (url, typed_count) VALUES (?1, ?2)", urls);
}

void MakeDatabaseOf(const std::string& file, const std::string& sql) {
    fs::create_directories(fs::path(file).parent_path());
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create " + file);
    Exec(db, sql);
    sqlite3_close(db);
}

}  // namespace nuv::test
