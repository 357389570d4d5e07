#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

struct sqlite3;

namespace nuv {

// What earlier runs downloaded, in an SQLite file: the table "downloads" with one row for
// each address and the file it was saved to (address, file, size in bytes, time in
// seconds since 1970 UTC); nuv-extract names the file relative to its save folder. The
// table "hashes", made with its first row, holds what --dedup learnt: each address's
// SHA-256 and the file with those bytes. A row is written as soon as its file is
// complete, each in a transaction of its own, so an interrupted run leaves every row true.
// Any thread may use it.
class DownloadArchive {
public:
    // Opens the archive, creating it when missing. Throws std::runtime_error with the
    // reason when the file cannot be used (not SQLite, another table of that name).
    explicit DownloadArchive(const std::string& path);
    ~DownloadArchive();
    DownloadArchive(const DownloadArchive&) = delete;
    DownloadArchive& operator=(const DownloadArchive&) = delete;

    struct Entry {
        std::uint64_t size = 0;
        std::int64_t time = 0;
    };
    // The row of `address` saved to `file`, if a download put one there.
    std::optional<Entry> Find(const std::string& address, const std::string& file);
    // The row of `address` saved to `stem` followed by an extension (a picture whose
    // extension its answer decided), if one is there: its file and entry.
    std::optional<std::pair<std::string, Entry>> FindAnswered(const std::string& address, const std::string& stem);
    // A row of `address`, whatever its file: that file and its entry.
    std::optional<std::pair<std::string, Entry>> FindAddress(const std::string& address);
    // True when `file` is the file of an address other than `address`.
    bool FileOfOtherAddress(const std::string& file, const std::string& address);
    // --dedup: notes that the bytes of `address` have the SHA-256 `sha256` and are kept in
    // `file` (its own download, or the file it duplicates). Returns false when the row
    // could not be written.
    bool RecordHash(const std::string& address, const std::string& sha256, const std::string& file);
    // The file that holds bytes of SHA-256 `sha256`, if an earlier download had them.
    std::optional<std::string> FileOfHash(const std::string& sha256);
    // The file that `address` was found to duplicate, if it was (rather than saved itself).
    std::optional<std::string> DuplicatedFile(const std::string& address);
    // Notes a complete download; a row of the same address and file is replaced.
    // Returns false when the row could not be written.
    bool Record(const std::string& address, const std::string& file, std::uint64_t size, std::int64_t time);

private:
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    bool hashes_ = false;  // the table "hashes" is there
};

}  // namespace nuv
