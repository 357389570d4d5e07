#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

struct archive;

// One ZIP file that a run's saved files go into.
namespace nuv {

// Writes files into a ZIP file as they complete, each removed once it is in. The ZIP is
// written under a partial-download name beside `path` and takes its name at Close, which
// writes its directory: a run stopped at any point leaves no broken ZIP under `path`. Any
// thread.
class ZipWriter {
public:
    // With `ordered` (a comic book archive, ".cbz") the files are kept until Close and
    // written in the order of their keys. Throws std::runtime_error when `path` cannot be
    // written.
    ZipWriter(std::string path, bool ordered);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Puts `file` into the ZIP as `entry` (a relative path) and removes it; `address` is
    // where it came from and `key` its place in an ordered ZIP. A second file for an
    // entry of the same address is dropped (the same resource); one of another address
    // is numbered ("a (2).jpg"). Returns the entry's name, "" when it could not be added
    // (the file is then left).
    std::string Add(const std::string& file, const std::string& entry, const std::string& address,
                    std::pair<std::size_t, std::size_t> key = {});
    // Writes what is kept and the ZIP's directory and gives it its name; "" when that
    // succeeded, else why not. Later calls do nothing.
    std::string Close();

    const std::string& Path() const { return path_; }
    // The entry that Add gave the file `file`; "" when it gave it none.
    std::string EntryOf(const std::string& file);

private:
    // Writes `file` as `entry` into the ZIP and removes it; false when it could not.
    bool Write(const std::string& file, const std::string& entry);
    // A free name for `entry` of `address`, "" when that address has it already.
    std::string EntryName(const std::string& entry, const std::string& address);

    std::mutex mutex_;
    const std::string path_;
    std::string partial_;
    const bool ordered_;
    struct archive* zip_ = nullptr;
    std::string error_;  // the first failure
    std::map<std::string, std::string> entries_;  // name: address
    std::map<std::pair<std::string, std::string>, std::string> given_;  // (entry, address): name
    std::map<std::string, std::string> files_;  // file added: its entry
    std::map<std::pair<std::size_t, std::size_t>, std::pair<std::string, std::string>> kept_;  // key: file, entry
};

// True for a ZIP name whose entries are ordered by their index (".cbz", any case).
bool IsOrderedZipName(const std::string& path);

}  // namespace nuv
