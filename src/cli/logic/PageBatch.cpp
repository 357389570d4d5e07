#include "cli/logic/PageBatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <unordered_set>

#include "common/Text.h"
#include "common/SaveTargets.h"
#include "save/DownloadTargets.h"
#include "web/Address.h"
#include "web/FetchPolicy.h"

namespace nuv {
namespace {

// The host part of a page folder: the address's host and port, ASCII lower-cased,
// without credentials; "file" for a local page.
std::string HostFolderName(std::string_view address, size_t& pathStart) {
    pathStart = address.size();
    const size_t scheme = address.find("://");
    if (scheme == std::string_view::npos) {
        pathStart = address.find(':') == std::string_view::npos ? 0 : address.find(':') + 1;
        return "other";
    }
    const size_t authorityStart = scheme + 3;
    size_t authorityEnd = address.find_first_of("/?#", authorityStart);
    if (authorityEnd == std::string_view::npos) authorityEnd = address.size();
    pathStart = authorityEnd;
    if (LowerAscii(address.substr(0, scheme)) == "file") return "file";
    std::string_view authority = address.substr(authorityStart, authorityEnd - authorityStart);
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    const std::string host = CleanNameComponent(LowerAscii(authority), kMaxPageFolderName);
    return host.empty() ? std::string("other") : host;
}

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

std::vector<std::string> ParseAddressList(std::string_view text, std::string* error) {
    std::vector<std::string> out;
    size_t number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        ++number;
        const std::string_view raw = text.substr(at, end - at);
        const char* fault = raw.size() > kMaxListLine ? "is longer than 64 KiB"
                            : raw.find('\0') != std::string_view::npos ? "holds a NUL byte"
                                                                         : nullptr;
        if (fault) {
            if (error) *error = "line " + std::to_string(number) + " of the list " + fault + "; a list holds addresses, one a line";
            return {};
        }
        const std::string_view line = TrimView(raw);
        if (!line.empty() && line.front() != '#') out.emplace_back(line);
        at = end + 1;
    }
    return out;
}

std::string ListedAddressRefusal(std::string_view address, bool allowLocalFiles) {
    address = TrimView(address);
    const std::string scheme = AddressScheme(address);
    const bool local = scheme == "file" || StartsWith(address, "/") || StartsWith(address, "./") ||
                       StartsWith(address, "../") || address == "." || address == ".." || StartsWith(address, "~");
    if (local) {
        if (allowLocalFiles) return {};
        return "refused: a list names web pages, not local files (--allow-local-files opens them)";
    }
    // "host:8080/page" is a host and its port, completed to http.
    const bool port = !scheme.empty() && address.size() > scheme.size() + 1 && address[scheme.size() + 1] >= '0' &&
                      address[scheme.size() + 1] <= '9';
    if (scheme.empty() || port || scheme == "http" || scheme == "https") return {};
    return "refused: a list names http and https pages, not \"" + scheme + ":\" addresses";
}

int ShardOfAddress(std::string_view address, int count) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : TrimView(address)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return count <= 1 ? 1 : static_cast<int>(hash % static_cast<std::uint64_t>(count)) + 1;
}

std::vector<std::string> RunAddresses(const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& listed,
                                      const std::optional<CliShard>& shard) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    auto take = [&](const std::string& given) {
        std::string address = Trim(given);
        if (address.empty()) return;
        if (shard && ShardOfAddress(address, shard->count) != shard->index) return;
        if (seen.insert(address).second) out.push_back(std::move(address));
    };
    for (const std::string& a : arguments) take(a);
    for (const std::string& a : listed) take(a);
    return out;
}

std::string PageFolder(CliLayout layout, std::string_view base, std::string_view pageAddress) {
    std::string folder(base);
    if (layout == CliLayout::Flat) return folder;
    size_t pathStart = 0;
    folder += HostFolderName(pageAddress, pathStart);
    folder += '/';
    if (layout == CliLayout::Host) return folder;

    std::string_view rest = pageAddress.substr(std::min(pathStart, pageAddress.size()));
    rest = rest.substr(0, rest.find('#'));
    const size_t q = rest.find('?');
    const std::string_view path = rest.substr(0, q);
    const std::string_view query = q == std::string_view::npos ? std::string_view() : rest.substr(q);
    std::vector<std::string> segments;
    for (size_t at = 0; at <= path.size();) {
        size_t slash = path.find('/', at);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view part = path.substr(at, slash - at);
        if (IsStorableFileName(part)) segments.emplace_back(part);
        at = slash + 1;
    }
    if (!query.empty()) {
        if (segments.empty()) segments.emplace_back();
        segments.back() += query;
    }
    if (segments.size() > kMaxPageFolderDepth) segments.resize(kMaxPageFolderDepth);
    // Each segment is one folder: a "/" or ".." of the query stays inside it.
    for (const std::string& s : segments) {
        const std::string name = CleanNameComponent(s, kMaxPageFolderName);
        if (name.empty()) continue;
        folder += name;
        folder += '/';
    }
    return folder;
}

std::string NumberedFileName(std::string_view name, int n) {
    std::string_view extension;
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= 16) extension = name.substr(dot);
    std::string_view stem = name.substr(0, name.size() - extension.size());
    const std::string suffix = " (" + std::to_string(n) + ")";
    const size_t room = 255 - suffix.size() - extension.size();
    if (stem.size() > room) {
        size_t keep = room;
        while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
        stem = stem.substr(0, keep);
    }
    return std::string(stem) + suffix + std::string(extension);
}

std::string FileClaims::Claim(const std::string& file, std::size_t page, const std::string& address) {
    const size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    // Beyond this many equal names the last one is shared rather than searched further.
    constexpr int kMostNumbers = 10000;
    for (int n = 1; n <= kMostNumbers; ++n) {
        const std::string candidate = n == 1 ? file : folder + NumberedFileName(name, n);
        const auto it = owners_.find(candidate);
        if (it == owners_.end()) {
            if (n < kMostNumbers && takenOutside_ && takenOutside_(candidate, address)) continue;
            owners_.emplace(candidate, Owner{page, address});
            return candidate;
        }
        if (it->second.page == page || it->second.address == address || n == kMostNumbers) return candidate;
    }
    return file;
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
