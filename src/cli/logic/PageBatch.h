#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/logic/ExtractCli.h"

// The rules of a nuv-extract run over many pages that need no browser: which addresses
// the run takes, where each page's files go, how equal names of different pages are kept
// apart, and what the run prints. Plain C++.
namespace nuv {

// The addresses of a list file: one a line, each trimmed; blank lines and lines whose
// first non-blank character is "#" are skipped. Line ends may be "\n" or "\r\n". A list
// is data: a line longer than kMaxListLine bytes or one that holds a NUL byte makes the
// whole list unusable, and `error` then names the line (the result is empty).
std::vector<std::string> ParseAddressList(std::string_view text, std::string* error = nullptr);
inline constexpr std::size_t kMaxListLine = std::size_t{64} << 10;

// Why a line of a list is not opened, "" when it is: a list names web pages (http or
// https, or a host that is completed to http), never a local file (a "file:" address or
// a path) unless `allowLocalFiles`, and nothing of another scheme.
std::string ListedAddressRefusal(std::string_view address, bool allowLocalFiles);

// The part (1..count) of a shard split that `address` falls into: the 64-bit FNV-1a hash
// of the trimmed text, modulo `count`, plus one. The same on every machine.
int ShardOfAddress(std::string_view address, int count);

// The pages of a run: the ADDRESS arguments, then the addresses of the list, each
// trimmed and taken once, in that order; with a shard only those of its part.
std::vector<std::string> RunAddresses(const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& listed,
                                      const std::optional<CliShard>& shard);

// The folder, ending in "/", that the files of the page at `pageAddress` go into under
// `base` (ending in "/"). Flat: `base`. Host: `base` + the host (with ":port" when the
// address names one; "file" for a local page) + "/". Page: that, followed by the page's
// path and query, one folder a segment ("/forum/t.php?id=5" gives "forum/t.php?id=5/"),
// percent-encoding kept, each segment cleaned by CleanNameComponent (so a "/" or ".."
// of the query, "?x=/../../E", stays inside one folder: "?x=_.._.._E"). Segments that a
// folder cannot be named ("", ".", "..") are left out; the path stops after
// kMaxPageFolderDepth segments, each at most kMaxPageFolderName bytes.
std::string PageFolder(CliLayout layout, std::string_view base, std::string_view pageAddress);
inline constexpr std::size_t kMaxPageFolderDepth = 16;
inline constexpr std::size_t kMaxPageFolderName = 120;

// `name` with " (n)" before its extension (the text from its last "." when that is at
// most 16 bytes and not the first character): "a.jpg", 2 gives "a (2).jpg"; the result
// is at most 255 bytes.
std::string NumberedFileName(std::string_view name, int n);

// Which page owns each file that a run writes, so that equal names from different pages
// are numbered rather than overwritten. A page may write a file again (the last good
// download of a name wins, as in a one-page run), and so may another page for the same
// address (the same resource lands in the same file). Used by one thread.
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
    std::unordered_map<std::string, Owner> owners_;
};

// The header line of a page in the plain output of a list run: "==> ADDRESS <==", with
// " -> FINAL" after the address when the page ended elsewhere.
std::string FormatPageHeader(const CliReport& report);

// The counts of a whole run.
struct RunTally {
    std::size_t pages = 0;        // pages of the run
    std::size_t loaded = 0;       // pages done
    std::size_t notLoaded = 0;    // pages that could not be loaded
    std::size_t found = 0;        // listed entries, all pages
    std::size_t downloaded = 0;
    std::size_t failed = 0;
    std::size_t skipped = 0;
    std::uint64_t bytes = 0;      // of the downloaded files
    std::size_t textBytes = 0;    // of the texts (source, text)
    void Add(const CliReport& report);
};

// The last line of a list run on standard error, e.g.
// "pages: 3, done 2, not loaded 1; images: found 40, downloaded 39, failed 1".
std::string FormatRunSummary(const RunTally& tally, DocType type);

// The exit status of a list run that ended by itself: a page not loaded (1) before a
// failed download (3).
CliExit RunExitStatus(const RunTally& tally);

// "0 B", "980 B", "15.3 KB", "2.0 MB", "1.5 GB" (units of 1024).
std::string FormatBytes(std::uint64_t bytes);

// The label of the terminal progress line of a list run:
// "12/200 pages, 240 files, 3.8 MB, 1.2 MB/s, 0:41 left"; the time left is estimated
// from the pages done so far ("--:--" before the first).
std::string FormatRunProgress(std::size_t pagesDone, std::size_t pages, std::size_t files, std::uint64_t bytes,
                              double seconds);

}  // namespace nuv
