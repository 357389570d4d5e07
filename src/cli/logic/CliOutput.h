#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/logic/ExtractCli.h"
#include "extract/DocType.h"
#include "extract/ExtractionLists.h"
#include "extract/ExtractionResult.h"
#include "save/DownloadPlan.h"

// What nuv-extract prints: a page's report as plain text, its summary and exit status,
// the lines of a run over many pages and the terminal's progress bar. The JSON outputs
// are in CliJson.h.
namespace nuv {

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

// How a page was scrolled before its extraction (--scroll).
struct PageScrolling {
    int screens = 0;
    long long ms = 0;
    bool limit = false;  // it ended at --scroll-limit
};

// -d with --engine auto, of a page the browser read: the downloads made ahead, while it
// loaded, of what the page gave without it.
struct AheadDownloads {
    std::size_t fetched = 0;  // started
    std::size_t used = 0;     // taken over by the page's list
    std::size_t removed = 0;  // the page's list does not hold them: their files are gone
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
    bool describePictures = false;   // --shown: the output describes each picture
    bool downloaded = false;         // -d was given
    std::vector<DownloadRecord> records;
    std::string loadError;           // why the page could not be loaded; "" when it was
    int loadRetries = 0;             // how often its load was tried again
    std::string engine;              // which read it: "static" or "browser"; "" for none
    std::optional<PageScrolling> scrolled;
    std::optional<AheadDownloads> ahead;
    bool robotsDisallowed = false;   // not opened: its site's robots.txt keeps crawlers off it
    // What else went wrong with the page: what its extraction got over (see
    // ExtractionError) and "load" when it was extracted before its load ended.
    std::vector<ExtractionError> errors;
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

// The lines -v prints of the errors of a page, each "error: STEP: ADDRESS: WHY\n", escaped
// for the terminal.
std::string FormatErrors(const std::vector<ExtractionError>& errors);

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
