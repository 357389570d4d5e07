#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Files for tests and benchmarks: folders of their own, reading and writing whole files,
// and the checked-in test data.
namespace nuv::test {

// A new empty folder under the system's temporary folder (or `parent`), made for this
// object alone (no two runs or tests share one), removed with everything in it when it goes.
class TempFolder {
public:
    explicit TempFolder(std::string_view prefix = "nuv-test", const std::filesystem::path& parent = {});
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }  // ends in "/"
    std::filesystem::path Dir() const { return std::filesystem::path(path_).parent_path(); }
    // `name` inside the folder, and the same with `content` written into it (folders made).
    std::string File(std::string_view name) const { return path_ + std::string(name); }
    std::string Write(std::string_view name, std::string_view content) const;
    std::string Read(std::string_view name) const;

private:
    std::string path_;
};

// The whole of `file`, byte for byte ("" when it cannot be read).
std::string ReadFile(const std::filesystem::path& file);
// Writes `content` to `file`, replacing it, creating its folders.
void WriteFile(const std::filesystem::path& file, std::string_view content);

// A file of the test data (tests/data/), by its path relative to that folder.
std::filesystem::path DataPath(std::string_view relative);
std::string ReadData(std::string_view relative);
// The rows of a table of the test data: one row a line, fields separated by tabs, blank
// lines and lines starting with "#" left out. In a field \r, \n, \t, \\ and \xHH stand
// for their bytes, so a row can hold any reply a server may send.
std::vector<std::vector<std::string>> ReadTable(std::string_view relative);

}  // namespace nuv::test
