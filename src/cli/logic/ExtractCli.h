#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extract/Extraction.h"
#include "library/logic/PictureRules.h"

// The rules of the command-line program nuv-extract that need no browser: its options,
// how it completes the address, which listed addresses it downloads and where, and the
// text it prints. Plain C++; src/app/cli/ runs them over a headless Qt WebEngine page.
namespace nuv {

// Exit statuses of nuv-extract.
enum class CliExit : int { Ok = 0, PageNotLoaded = 1, Usage = 2, DownloadsFailed = 3 };

// What the command line asks for.
struct ExtractCliOptions {
    DocType type = DocType::Images;
    std::string address;       // as given, completed later by PrepareCliAddress
    std::string saveTo;        // "" when no -o was given
    bool download = false;
    bool json = false;
    bool quiet = false;
    bool verbose = false;      // step times on standard error
    int timeoutMs = 60000;     // page-load limit
    bool help = false;
    bool version = false;
    bool shown = false;        // --shown: also the pictures the rendered page shows
    PictureFilter filter;      // --min-size, --types
};

// The options, or the reason the command line is unusable.
struct CliParseResult {
    ExtractCliOptions options;
    std::string error;  // "" when the command line is usable
};

// Parses the arguments after the program name. Short options may be bundled ("-dq")
// and take their value attached or as the next argument ("-tcss", "-t css"); long ones
// take it after "=" or as the next argument; "--" ends the options. Exactly one ADDRESS
// is required unless --help or --version is given.
CliParseResult ParseExtractCliArguments(const std::vector<std::string>& args);

// The command-line name of a document type ("source", "text", "images", "flash", "css",
// "other") and back; the lookup ignores ASCII case.
std::string_view CliTypeName(DocType type);
std::optional<DocType> CliTypeFromName(std::string_view name);

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

// Counts of a run for the summary line.
struct CliTally {
    size_t found = 0;
    size_t downloaded = 0;
    size_t failed = 0;
    size_t skipped = 0;
};
CliTally TallyRecords(size_t found, const std::vector<DownloadRecord>& records);

// What one run found.
struct CliReport {
    std::string pageAddress;
    DocType type = DocType::Images;
    std::string text;                // source and text
    std::vector<std::string> list;   // the other types
    std::vector<ImageNote> notes;    // with --shown: where each picture of `list` was found
    bool downloaded = false;         // -d was given
    std::vector<DownloadRecord> records;
};

// True for the types whose result is a text rather than a list of addresses.
bool IsTextType(DocType type);

// The plain output: the text (a newline added when it does not end in one), or one
// address a line.
std::string FormatPlainOutput(const CliReport& report);

// The --json output: one object with "address", "type", then "text" or "list", with
// --shown "pictures" (one object per entry of the list: "address", "found" ("page",
// "sheet", "frame" or "shown"), "type", and "width" and "height" when known), and
// with -d "downloads" (one record per address: "address" and either "file" and "size",
// "error" (with "file" when there was one), or "skipped"). Ends in a newline. Bytes that
// are not valid UTF-8 become U+FFFD, so the document is always valid JSON.
std::string FormatJsonOutput(const CliReport& report);

// A JSON string literal for `text`, quotes included.
std::string JsonString(std::string_view text);

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
