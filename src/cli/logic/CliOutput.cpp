#include "cli/logic/CliOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/Text.h"

namespace nuv {
namespace {

std::string FormatDuration(double seconds) {
    const auto total = static_cast<long long>(std::max(0.0, std::round(seconds)));
    char text[48];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

}  // namespace

std::string FormatCut(const ExtractionCut& cut) {
    if (!cut.Any()) return {};
    return "cut: " + std::to_string(cut.documents) + " documents, " + std::to_string(cut.shownPictures) +
           " shown pictures, " + std::to_string(cut.links) + " links beyond the bounds\n";
}

CliTally TallyRecords(size_t found, const std::vector<DownloadRecord>& records) {
    CliTally t;
    t.found = found;
    for (const DownloadRecord& r : records) {
        switch (r.outcome) {
            case DownloadRecord::Outcome::Saved: ++t.downloaded; break;
            case DownloadRecord::Outcome::Failed: ++t.failed; break;
            case DownloadRecord::Outcome::Skipped: ++t.skipped; break;
        }
    }
    return t;
}

bool IsTextType(DocType type) { return type == DocType::PageSource || type == DocType::PageText; }

std::string FormatPlainOutput(const CliReport& report, bool terminal) {
    if (IsTextType(report.type)) {
        std::string out = terminal ? EscapeForTerminal(report.text, true) : report.text;
        if (!out.empty() && out.back() != '\n') out += '\n';
        return out;
    }
    std::string out;
    for (const std::string& a : report.list) {
        out += EscapeForTerminal(a);
        out += '\n';
    }
    return out;
}

std::string FormatSummary(const CliReport& report) {
    const std::string type(CliTypeName(report.type));
    if (IsTextType(report.type)) return type + ": " + std::to_string(report.text.size()) + " bytes\n";
    const CliTally t = TallyRecords(report.list.size(), report.records);
    std::string line = type + ": found " + std::to_string(t.found) + ", downloaded " +
                       std::to_string(t.downloaded) + ", failed " + std::to_string(t.failed);
    if (t.skipped > 0) line += ", skipped " + std::to_string(t.skipped);
    return line + "\n";
}

CliExit ExitStatusOf(const CliReport& report) {
    for (const DownloadRecord& r : report.records) {
        if (r.outcome == DownloadRecord::Outcome::Failed) return CliExit::DownloadsFailed;
    }
    return CliExit::Ok;
}

std::string FormatProgressBar(std::int64_t position, std::int64_t maximum, int width, std::string_view label) {
    width = std::clamp(width, 1, 200);
    std::string bar = "[";
    int filled = 0;
    std::string percent;
    if (maximum > 0) {
        const std::int64_t p = std::clamp<std::int64_t>(position, 0, maximum);
        // In long double: a 64-bit position times the width may not fit in 64 bits.
        filled = static_cast<int>(static_cast<long double>(p) * width / static_cast<long double>(maximum));
        const int pct = static_cast<int>(static_cast<long double>(p) * 100 / static_cast<long double>(maximum));
        percent = std::to_string(pct) + "%";
        percent.insert(0, 4 - std::min<size_t>(4, percent.size()), ' ');
    } else {
        percent = "    ";
    }
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '.');
    bar += "] ";
    bar += percent;
    if (!label.empty()) {
        bar += ' ';
        bar += label;
    }
    return bar;
}

std::string FormatErrors(const std::vector<ExtractionError>& errors) {
    std::string out;
    for (const ExtractionError& e : errors)
        out += EscapeForTerminal("error: " + e.step + ": " + e.address + ": " + e.why) + "\n";
    return out;
}

std::string FormatPageHeader(const CliReport& report) {
    std::string line = "==> " + EscapeForTerminal(report.requested);
    if (!report.pageAddress.empty() && report.pageAddress != report.requested)
        line += " -> " + EscapeForTerminal(report.pageAddress);
    return line + " <==\n";
}

void RunTally::Add(const CliReport& report) {
    ++pages;
    if (!report.loadError.empty()) {
        ++notLoaded;
        return;
    }
    ++loaded;
    found += IsTextType(report.type) ? 0 : report.list.size();
    textBytes += IsTextType(report.type) ? report.text.size() : 0;
    const CliTally t = TallyRecords(0, report.records);
    downloaded += t.downloaded;
    failed += t.failed;
    skipped += t.skipped;
    for (const DownloadRecord& r : report.records) {
        if (r.outcome == DownloadRecord::Outcome::Saved) bytes += r.size;
    }
}

std::string FormatRunSummary(const RunTally& tally, DocType type) {
    std::string line = "pages: " + std::to_string(tally.pages) + ", done " + std::to_string(tally.loaded) +
                       ", not loaded " + std::to_string(tally.notLoaded) + "; " + std::string(CliTypeName(type));
    if (IsTextType(type)) return line + ": " + std::to_string(tally.textBytes) + " bytes\n";
    line += ": found " + std::to_string(tally.found) + ", downloaded " + std::to_string(tally.downloaded) +
            ", failed " + std::to_string(tally.failed);
    if (tally.skipped > 0) line += ", skipped " + std::to_string(tally.skipped);
    return line + "\n";
}

CliExit RunExitStatus(const RunTally& tally) {
    if (tally.notLoaded > 0) return CliExit::PageNotLoaded;
    if (tally.failed > 0) return CliExit::DownloadsFailed;
    return CliExit::Ok;
}

std::string FormatBytes(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string FormatRunProgress(std::size_t pagesDone, std::size_t pages, std::size_t files, std::uint64_t bytes,
                              double seconds) {
    const std::uint64_t rate = seconds > 0 ? static_cast<std::uint64_t>(static_cast<double>(bytes) / seconds) : 0;
    const std::string left =
        pagesDone == 0 ? std::string("--:--")
                       : FormatDuration(seconds * static_cast<double>(pages - std::min(pagesDone, pages)) /
                                        static_cast<double>(pagesDone));
    return std::to_string(pagesDone) + "/" + std::to_string(pages) + " pages, " + std::to_string(files) + " files, " +
           FormatBytes(bytes) + ", " + FormatBytes(rate) + "/s, " + left + " left";
}

}  // namespace nuv
