#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/Downloader.h"

// The program's own address rules. They are plain text operations on the address
// string: the results are compared as text (trimmed and lower-cased) when the
// extraction lists drop duplicates, so they must stay byte for byte as they are,
// blind spots included. "http://" and "https://" are the only schemes they know.
namespace nuv {

// "http://" (or "https://" for an address that begins with it) + host + "/". An
// address without "http:" anywhere is taken to start with its host.
std::string SiteRoot(std::string_view address);

// Turns `reference`, found in the page at `pageAddress`, into an absolute address:
// backslashes become slashes, runs of slashes after the scheme collapse, absolute
// references stay, "//host/..." takes the page's scheme, "/..." hangs off the site root
// and everything else is joined to the page's folder. In a page opened from a file
// ("file:" address) the root is the file system's and ".." never climbs above it.
std::string ResolveAddress(std::string_view pageAddress, std::string_view reference);

// Joins a relative reference to the folder of a normalised page address. Every ".."
// piece of the reference climbs one folder, but never above the host; every "../" is
// then deleted from the reference. A step of ResolveAddress.
std::string JoinRelativeAddress(std::string_view pageAddress, std::string_view reference);

// True when the address begins with "http://" or "https://", as written: what is fetched
// over the web without a browser.
bool HasWebScheme(std::string_view address);

// True when the address names a web page (a page extension anywhere, a bare host or a
// host followed by a single "/") rather than a downloadable file.
bool IsWebPageAddress(std::string_view address);

// The text after the last "/" of the address; the whole address when it has none.
std::string FileNameOfAddress(std::string_view address);

// False for file names that would not name a file inside a folder: "", ".", ".." and
// names holding a NUL byte.
bool IsStorableFileName(std::string_view fileName);

// Downloads `address` into `saveFolder` (ending in "/"), under the address's file name,
// and returns the lines of the downloaded file (empty when the download or the reading
// fails). Creates a missing save folder with its parents; when the folder cannot be used
// it returns nothing with `folderUnusable` set in the outcome. An address whose file name
// is not storable also returns nothing and writes nothing. Blocks until the download has
// ended; never throws. `outcome`, when given, receives the target file and whether the
// download completed. The download is held to `bounds` (a style sheet's by default).
struct FetchOutcome {
    std::string file;   // the file aimed at; "" when the address names none
    bool attempted = false;  // the download was started
    bool saved = false;      // and it completed
    bool folderUnusable = false;  // the save folder could not be created
    std::string error;  // why it did not
    std::optional<DownloadFailure> failure;  // the kind of a failed download
};
std::optional<std::vector<std::string>> FetchIntoSaveFolder(const std::string& saveFolder,
                                                            IDownloader& downloader,
                                                            const std::string& address,
                                                            FetchOutcome* outcome = nullptr,
                                                            const DownloadBounds& bounds = kStyleSheetBounds);

// How a typed address is opened.
struct TypedAddress {
    std::string navigateTo;  // what the browser is given
    std::string boxText;     // the address box's text afterwards
    bool writeBack = false;  // the completed text replaces the box's text
    bool localFile = false;  // navigateTo is a local path, opened as a file address
    bool openable = true;    // a local page, or a well-formed web address (IsWellFormedWebAddress)
};

// Completes the text of the address box: trimmed; a local page (beginning with "/" or
// "file:", or containing ":\") is opened as it stands; a text that names neither
// "http://" nor "https://" anywhere gets "http://" in front, written back to the box. Any
// other text that cannot be a web address is not openable.
TypedAddress CompleteTypedAddress(std::string_view boxText);

// True when `address` can be opened as a web address: "http://" or "https://" (any case)
// at its start, then an authority of at least a host, with no blank, control byte or
// backslash in it, and a port of digits when one is given. The rest (path, query,
// fragment) may hold anything; it is percent-encoded on the way out.
bool IsWellFormedWebAddress(std::string_view address);

// What an address given on the window program's command line opens: a text that names a
// file by a path relative to `currentFolder` ("./page.html", "pages/a.htm") becomes that
// file's absolute path; anything else (an address, an absolute path) stays as it is.
std::string CommandLineAddress(std::string_view argument, std::string_view currentFolder);

}  // namespace nuv
