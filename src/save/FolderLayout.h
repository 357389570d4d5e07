#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

// Where the files of a page go under the save folder, and how equal names of different
// pages are kept apart.
namespace nuv {

// Where the files of a page go under the save folder: all into it (flat), into a folder
// per host, or into a folder per page (host, then the page's path).
enum class FolderLayout { Flat, Host, Page };

// The folder, ending in "/", that the files of the page at `pageAddress` go into under
// `base` (ending in "/"). Flat: `base`. Host: `base` + the host (with ":port" when the
// address names one; "file" for a local page) + "/". Page: that, followed by the page's
// path and query, one folder a segment ("/forum/t.php?id=5" gives "forum/t.php?id=5/"),
// percent-encoding kept, each segment cleaned by CleanNameComponent (so a "/" or ".."
// of the query, "?x=/../../E", stays inside one folder: "?x=_.._.._E"). Segments that a
// folder cannot be named ("", ".", "..") are left out; the path stops after
// kMaxPageFolderDepth segments, each at most kMaxPageFolderName bytes.
std::string PageFolder(FolderLayout layout, std::string_view base, std::string_view pageAddress);
inline constexpr std::size_t kMaxPageFolderDepth = 16;
inline constexpr std::size_t kMaxPageFolderName = 120;

// `name` with " (n)" before its extension (the text from its last "." when that is at
// most 16 bytes and not the first character): "a.jpg", 2 gives "a (2).jpg"; the result
// is at most 255 bytes.
std::string NumberedFileName(std::string_view name, int n);

// Which page owns each file that a run writes, so that equal names from different pages
// are numbered rather than overwritten. A page may write a file again (the last good
// download of a name wins, as in a one-page run), and so may another page for the same
// address (the same resource lands in the same file). Any thread.
class FileClaims {
public:
    // `takenOutside(file, address)`: true when `file` belongs to another address outside
    // this run (an earlier run's download, as the archive knows).
    explicit FileClaims(std::function<bool(const std::string& file, const std::string& address)> takenOutside = {})
        : takenOutside_(std::move(takenOutside)) {}

    // The file that `address`, listed by page `page`, is written to instead of `file`:
    // `file` itself, or the first numbered form of it (NumberedFileName) that is free.
    std::string Claim(const std::string& file, std::size_t page, const std::string& address);

private:
    struct Owner {
        std::size_t page;
        std::string address;
    };
    std::function<bool(const std::string&, const std::string&)> takenOutside_;
    std::mutex mutex_;
    std::unordered_map<std::string, Owner> owners_;
};

}  // namespace nuv
