#pragma once

#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "cli/logic/CliOutput.h"
#include "cli/logic/ExtractCli.h"

// What a nuv-extract run prints as its pages end, and its last words. Plain C++.
namespace nuv {

// "nuv-extract: TEXT\n", escaped so that it is one line whatever a page or server wrote
// into it.
std::string FormatCliError(const std::string& text);

// What -v tells of the steps of a page besides its report.
struct PageSteps {
    std::vector<std::string> frames;  // the addresses of its frames
    long long framesMs = 0;           // from the end of the load to the start of the extraction
    bool allFrames = false;           // every frame reported before the extraction started
    long long extractMs = 0;          // the extraction itself
};

// Prints each page as it ends: its output on `out` (one JSON line, one JSON document, or
// the plain output with a header line in a list run), and on `err` why it was not loaded,
// with -v its steps and errors, its failed downloads and, in a one-page run, its summary.
// A download that failed the same way for an earlier page of a list run (pages that share
// a picture share its outcome) is told once, unless -v. Keeps the counts for the end.
class RunPrinter {
public:
    RunPrinter(const ExtractCliOptions& options, bool listRun, bool outTerminal, std::FILE* out, std::FILE* err)
        : options_(options), listRun_(listRun), outTerminal_(outTerminal), out_(out), err_(err) {}

    // False when the output could not be written: nobody reads it any more (a pipe's
    // reader has gone), and a list run ends then.
    bool Page(const CliReport& report, const PageSteps& steps);
    // The last line of a list run; the exit status of the run that ended by itself.
    int End();

private:
    void Error(const std::string& text);

    const ExtractCliOptions options_;  // a copy: a printer may outlive the options it was made with
    bool listRun_;
    bool outTerminal_;
    std::FILE* out_;
    std::FILE* err_;
    bool outputFailed_ = false;
    CliExit singleStatus_ = CliExit::Ok;
    RunTally tally_;
    std::unordered_set<std::string> failuresTold_;
};

}  // namespace nuv
