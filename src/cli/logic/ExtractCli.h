#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extract/DocType.h"
#include "extract/ExtractionLists.h"
#include "extract/ExtractionResult.h"
#include "save/PictureRules.h"

// The rules of the command-line program nuv-extract that need no browser: its options,
// how it completes the address, which listed addresses it downloads and where, and the
// text it prints. Plain C++; src/cli/ runs them over a headless Qt WebEngine page.
namespace nuv {

// Exit statuses of nuv-extract. A run ended by SIGINT or SIGTERM exits with 128 + the
// signal's number (130, 143).
enum class CliExit : int { Ok = 0, PageNotLoaded = 1, Usage = 2, DownloadsFailed = 3 };

// Where the files of a page go under the save folder: all into it (flat), into a folder
// per host, or into a folder per page (host, then the page's path).
enum class CliLayout { Flat, Host, Page };

// Part `index` (1..count) of an address list split into `count` disjoint parts.
struct CliShard {
    int index = 1;
    int count = 1;
};

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
    CliLayout layout = CliLayout::Flat;
    std::string archive;       // the SQLite file of earlier downloads; "" none
    std::optional<CliShard> shard;
    bool help = false;
    bool version = false;
    bool shown = false;        // --shown: also the pictures the rendered page shows
    PictureFilter filter;      // --min-size, --types
    bool allowPrivateNetwork = false;  // public pages may reach private and loopback addresses
    bool allowLocalFiles = false;      // a list may name local files
};

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
std::string_view CliLayoutName(CliLayout layout);
std::optional<CliLayout> CliLayoutFromName(std::string_view name);

// The --help text, ending in a newline.
std::string ExtractCliUsage();
// The --version text, ending in a newline.
std::string ExtractCliVersion();

// How the address argument is opened.
struct CliAddress {
    std::string address;     // what the browser is given (a local path when localFile)
    bool localFile = false;  // `address` is an absolute local path
};

// Completes the address argument as the address box does. Beyond the box's rule a
// relative local path also opens as a file: a text that begins with "./" or "../" (or is
// "." or ".."), or that has no ":" and names an existing file relative to
// `currentFolder` (as `isFile` answers), is joined to `currentFolder` (absolute, without
// a trailing "/"). Only "."-segments and ".."-segments of such a path are resolved.
CliAddress PrepareCliAddress(std::string_view argument, const std::string& currentFolder,
                             const std::function<bool(const std::string& path)>& isFile);

// What -d does with one listed address.
struct PlannedDownload {
    std::string file;        // the target file; "" when the address is skipped
    std::string skipReason;  // why it is skipped; "" when it is downloaded
    // A shown picture whose address names no picture type: `file` is a provisional name,
    // renamed after the download to this + the extension its answer tells.
    std::string stemFile = {};
};

// The file an address is downloaded to, with the rules of the result window's batch:
// `folder` (ending in "/") followed by the text after the address's last "/"; web
// pages are skipped, and so are archives and programs except for `DocType::Other`,
// where there is no browser to hand them to; an address without a usable file name
// is skipped.
PlannedDownload PlanDownload(DocType type, std::string_view folder, std::string_view address);

// PlanDownload for every listed address, where the pictures the page showed (`notes`
// marks them; may be empty) are named by PlanPictureTargets: never skipped as web pages or
// archives (the page used them as pictures), never two of them under one name.
std::vector<PlannedDownload> PlanDownloads(DocType type, std::string_view folder,
                                           const std::vector<std::string>& addresses,
                                           const std::vector<ImageNote>& notes);

// Keeps the pictures of `addresses` (with their `notes`) that pass `filter`, sized by their
// notes and typed by PictureTypeOf.
void FilterPictures(std::vector<std::string>& addresses, std::vector<ImageNote>& notes, const PictureFilter& filter);
// The outcome of one download of -d.
struct DownloadRecord {
    enum class Outcome { Saved, Failed, Skipped };
    std::string address;
    Outcome outcome = Outcome::Skipped;
    std::string file;      // Saved: the file written; Failed: the file aimed at
    std::uint64_t size = 0;  // Saved: its size in bytes
    std::string reason;    // Failed: the error; Skipped: why
};

// Why an address in the archive is not downloaded again (a Skipped record that keeps the
// archived file and size).
inline constexpr std::string_view kInArchive = "in the archive";
// Why a download that would replace one of the program's own files is refused (a Failed record).
inline constexpr std::string_view kProtectedFile = "refused: the file is one of the program's own";

// Counts of a run for the summary line.
struct CliTally {
    size_t found = 0;
    size_t downloaded = 0;
    size_t failed = 0;
    size_t skipped = 0;
};
CliTally TallyRecords(size_t found, const std::vector<DownloadRecord>& records);

// How long the steps of one page took, in milliseconds.
struct PageTimes {
    long long load = 0;       // from the start of the load to its end
    long long extract = 0;    // from the end of the load to the end of the extraction
    long long downloads = 0;  // from the end of the extraction to the last download's end
    long long total = 0;
};

// What one page gave.
struct CliReport {
    std::string requested;           // the address asked for, as it was opened
    std::string pageAddress;         // where the page ended (PageURL)
    DocType type = DocType::Images;
    std::string text;                // source and text
    std::vector<std::string> list;   // the other types
    // Images and Flash movies: where each entry of `list` was found, and a picture's size
    // and declared type. Missing notes count as found in the page.
    std::vector<ImageNote> notes;
    bool shown = false;              // --shown: the output describes each picture
    bool downloaded = false;         // -d was given
    std::vector<DownloadRecord> records;
    std::string loadError;           // why the page could not be loaded; "" when it was
    std::vector<std::string> errors;  // what else went wrong with the page
    PageTimes times;
    ExtractionCut cut;               // what the bounds of the extraction left out
};

// True for the types whose result is a text rather than a list of addresses.
bool IsTextType(DocType type);

// The plain output: the text (a newline added when it does not end in one), or one
// address a line. An address never brings a control character to the output: each is
// escaped (EscapeForTerminal), so one entry is one line. The text is printed as it is,
// unless it goes to a `terminal`: then every control character but newlines and tabs is
// escaped.
std::string FormatPlainOutput(const CliReport& report, bool terminal = false);

// The line -v prints for a page whose bounds cut something, ending in a newline, e.g.
// "cut: 12 documents, 40000 shown pictures, 0 links beyond the bounds"; "" when nothing.
std::string FormatCut(const ExtractionCut& cut);

// The summary line for standard error, ending in a newline, e.g.
// "images: found 5, downloaded 4, failed 1" or "text: 1234 bytes".
std::string FormatSummary(const CliReport& report);

// The exit status of a run whose page loaded.
CliExit ExitStatusOf(const CliReport& report);

// One frame of the terminal progress bar, without the leading "\r":
// "[#######.............] 35% label", `width` cells between the brackets. A maximum of 0
// shows an empty bar without a percentage; positions outside 0..maximum are clamped.
std::string FormatProgressBar(std::int64_t position, std::int64_t maximum, int width, std::string_view label);

}  // namespace nuv
