#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/logic/ProfileCookies.h"
#include "extract/DocType.h"
#include "save/FolderLayout.h"
#include "save/NameTemplate.h"
#include "save/PictureRules.h"
#include "web/RetryRule.h"

// The options of the command-line program nuv-extract, its usage and version texts.
// Plain C++; src/cli/ runs the extraction they ask for over a headless Qt WebEngine page.
namespace nuv {

// Exit statuses of nuv-extract. A run ended by SIGINT or SIGTERM exits with 128 + the
// signal's number (130, 143).
enum class CliExit : int { Ok = 0, PageNotLoaded = 1, Usage = 2, DownloadsFailed = 3 };

// What --dedup keeps of files alike: every file (none), one of the files with the same
// bytes (exact), or also of the pictures that look alike the largest (similar).
enum class DedupMode { None, Exact, Similar };

// Part `index` (1..count) of an address list split into `count` disjoint parts.
struct CliShard {
    int index = 1;
    int count = 1;
};

// Which engine reads a page (--engine): the browser always, the static reading always,
// or the static reading where the page needs no browser (auto).
enum class CliEngine { Auto, Static, Browser };

// What the command line asks for.
struct ExtractCliOptions {
    DocType type = DocType::Images;
    std::string address;       // the first ADDRESS, as given (completed later by PrepareCliAddress)
    std::vector<std::string> addresses;  // every ADDRESS, in order
    std::string inputFile;     // -i: a file of addresses, "-" for standard input; "" none
    std::string saveTo;        // "" when no -o was given
    bool download = false;
    bool json = false;
    bool jsonl = false;        // one JSON object a line for each page
    bool quiet = false;
    bool verbose = false;      // step times on standard error
    int timeoutMs = 60000;     // page-load limit
    int jobs = 0;              // pages loaded at a time; 0 for kDefaultPageJobs
    FolderLayout layout = FolderLayout::Flat;
    std::string archive;       // the SQLite file of earlier downloads; "" none
    std::optional<CliShard> shard;
    bool help = false;
    bool version = false;
    // Images: the pictures the page shows follow the three designed places; on unless
    // --designed-only. --shown asks for them explicitly and for a description of each
    // picture (type, size) in the JSON outputs.
    bool shown = false;
    bool describePictures = false;  // --shown
    bool designedOnly = false;      // --designed-only
    bool scroll = false;       // --scroll: scroll each page to the end of what it loads first
    int scrollLimitMs = 30000; // --scroll-limit: the most a page is scrolled
    PictureFilter filter;      // --min-size, --types
    bool allowPrivateNetwork = false;  // public pages may reach private and loopback addresses
    bool allowLocalFiles = false;      // a list may name local files
    int retries = kDefaultRetries;     // tries again of a download that failed as MayRetry allows
    int waitMs = 0;                    // --wait: between two downloads from one host
    bool randomWait = false;           // --random-wait: each wait 0.5 to 1.5 times waitMs
    std::uint64_t limitRate = 0;       // --limit-rate: bytes a second of one download; 0 none
    std::string proxy;                 // --proxy: checked by ProxyAddressProblem
    std::string userAgent;             // --user-agent; "" the program's own
    bool noRobots = false;             // --no-robots: a list run reads no robots.txt
    std::string cookies;               // --cookies: a cookie file ("-" standard input); "" none
    std::optional<CookieBrowser> cookiesFromBrowser;  // --cookies-from-browser
    CliEngine engine = CliEngine::Auto;
    std::optional<NameTemplate> names; // --name: the names of the saved files
    std::string zip;                   // --zip: the ZIP file every saved file goes into; "" none
    DedupMode dedup = DedupMode::None; // --dedup
};

// Why `address` cannot be the proxy of --proxy, "" when it can: "http://", "https://",
// "socks5://" or "socks5h://", then a host (a port after ":" when given), nothing but
// printable ASCII, at most 2048 bytes.
std::string ProxyAddressProblem(std::string_view address);

// The proxy as Qt WebEngine's --proxy-server takes it (socks5h:// as socks5://, which
// resolves names at the proxy too).
std::string EngineProxyServer(std::string_view address);

// Pages loaded at a time without -j.
inline constexpr int kDefaultPageJobs = 4;
// The most that -j accepts.
inline constexpr int kMaxPageJobs = 32;

// True for a run over a list of pages (-i, or more than one ADDRESS): its plain output
// gives every page a header line.
bool IsListRun(const ExtractCliOptions& options);

// The options, or the reason the command line is unusable.
struct CliParseResult {
    ExtractCliOptions options;
    std::string error;  // "" when the command line is usable
};

// Parses the arguments after the program name. Short options may be bundled ("-dq")
// and take their value attached or as the next argument ("-tcss", "-t css"); long ones
// take it after "=" or as the next argument; "--" ends the options. At least one ADDRESS
// or -i is required unless --help or --version is given.
CliParseResult ParseExtractCliArguments(const std::vector<std::string>& args);

// The command-line name of a document type ("source", "text", "images", "flash", "css",
// "other") and back; the lookup ignores ASCII case.
std::string_view CliTypeName(DocType type);
std::optional<DocType> CliTypeFromName(std::string_view name);

// The command-line name of a layout ("flat", "host", "page") and back.
// Whether the options need the sizes of the listed pictures: a size filter, or --shown
// with a JSON output, which gives each picture's size.
bool NeedsPictureSizes(const ExtractCliOptions& options);

// Whether the static reading can give what the options ask for: the lists of images
// (the pictures a page shows included), Flash movies, style sheets and other files, and
// the page source; not the text or a scrolled page.
bool StaticEngineFits(const ExtractCliOptions& options);

// Whether no page of the run can need the browser engine: --engine static over web
// addresses named on the command line alone (no list, no local file). Such a run starts
// no window system.
bool RunNeedsNoEngine(const ExtractCliOptions& options);

std::string_view CliLayoutName(FolderLayout layout);
std::optional<FolderLayout> CliLayoutFromName(std::string_view name);

// The --help text, ending in a newline.
std::string ExtractCliUsage();
// The --version text, ending in a newline.
std::string ExtractCliVersion();

}  // namespace nuv
