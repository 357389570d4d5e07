#include "cli/logic/RunPrinter.h"

#include <cstdio>

#include "cli/logic/CliJson.h"
#include "common/Text.h"

namespace nuv {
namespace {

bool WriteAll(std::FILE* out, const std::string& text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size()) return false;
    return std::fflush(out) == 0;
}

}  // namespace

namespace {

// " (tried again N times)" after a failure that was tried again.
std::string TriedAgain(int retries) {
    if (retries == 0) return {};
    return " (tried again " + std::to_string(retries) + (retries == 1 ? " time)" : " times)");
}

}  // namespace

std::string FormatCliError(const std::string& text) { return "nuv-extract: " + EscapeForTerminal(text) + "\n"; }

void RunPrinter::Error(const std::string& text) { std::fputs(FormatCliError(text).c_str(), err_); }

bool RunPrinter::Page(const CliReport& report, const PageSteps& steps) {
    tally_.Add(report);
    const bool loaded = report.loadError.empty();
    if (!loaded) Error("cannot load " + report.requested + ": " + report.loadError + TriedAgain(report.loadRetries));
    if (loaded && options_.verbose) {
        const std::string prefix = listRun_ ? EscapeForTerminal(report.requested) + ": " : std::string();
        std::string text;
        for (const std::string& frame : steps.frames) text += prefix + "frame: " + EscapeForTerminal(frame) + "\n";
        if (!report.engine.empty()) text += prefix + "engine: " + report.engine + "\n";
        if (const auto& a = report.ahead) {
            text += prefix + "downloads ahead of the browser: " + std::to_string(a->fetched) + " fetched, " +
                    std::to_string(a->used) + " used, " + std::to_string(a->removed) + " removed\n";
        }
        if (const auto& s = report.scrolled) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(s->ms) / 1000.0);
            text += prefix + "scrolled: " + std::to_string(s->screens) + (s->screens == 1 ? " screen in " : " screens in ") +
                    seconds + " s" + (s->limit ? " (the limit)" : "") + "\n";
        }
        text += prefix + "timing: page loaded after " + std::to_string(report.times.load) +
                " ms; extraction started " + std::to_string(steps.framesMs) + " ms after the load (" +
                (steps.allFrames ? "every frame reported" : "frame bound reached") + "); extraction " +
                std::to_string(steps.extractMs) + " ms; downloads " + std::to_string(report.times.downloads) + " ms\n";
        const std::string cut = FormatCut(report.cut);
        if (!cut.empty()) text += prefix + cut;
        text += FormatErrors(report.errors);
        std::fputs(text.c_str(), err_);
    }
    std::string out;
    if (options_.jsonl) {
        out = FormatJsonLine(report);
    } else if (loaded) {
        if (listRun_) out = FormatPageHeader(report);
        out += options_.json ? FormatJsonOutput(report) : FormatPlainOutput(report, outTerminal_);
    }
    if (!out.empty() && !WriteAll(out_, out)) {
        outputFailed_ = true;
        if (listRun_) return false;
    }
    for (const DownloadRecord& r : report.records) {
        if (r.outcome != DownloadRecord::Outcome::Failed) continue;
        std::string line = "download failed: " + r.address + ": " + r.reason + TriedAgain(r.retries);
        if (listRun_ && !options_.verbose && !failuresTold_.insert(line).second) continue;
        Error(line);
    }
    if (!listRun_) {
        if (loaded) std::fputs(FormatSummary(report).c_str(), err_);
        singleStatus_ = loaded ? ExitStatusOf(report) : CliExit::PageNotLoaded;
    }
    return true;
}

int RunPrinter::End() {
    if (listRun_) std::fputs(FormatRunSummary(tally_, options_.type).c_str(), err_);
    if (outputFailed_) {
        // The result did not reach its reader: as much a failure as a page not loaded.
        Error("cannot write the output");
        return static_cast<int>(CliExit::PageNotLoaded);
    }
    return static_cast<int>(listRun_ ? RunExitStatus(tally_) : singleStatus_);
}

}  // namespace nuv
