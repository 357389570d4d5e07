#include "extract/Scanner.h"

#include "common/Text.h"
#include "web/Address.h"
#include "web/DocumentBridge.h"

namespace nuv {

thread_local int ScanCount = 0;

namespace {

constexpr std::string_view kDelimiters = "\" '=(";
constexpr std::string_view kFlashDelimiters = "\" '=";
constexpr size_t kMaxReferenceLength = 50;  // a reference this long or longer is dropped

constexpr std::string_view kSheetImageExtensions[] = {".gif", ".png", ".jpg", ".jpeg", ".ico"};
constexpr std::string_view kSheetFlashExtensions[] = {".swf"};

// The part of `head` after its last delimiter (all of it when it has none).
std::string_view AfterLastDelimiter(std::string_view head, std::string_view delimiters) {
    const size_t d = head.find_last_of(delimiters);
    return d == std::string_view::npos ? head : head.substr(d + 1);
}

// The walk shared by ScanReferences and ScanPageReferences. The remaining text of each
// step starts one byte after the start of the previous occurrence; `start` marks it in
// the text, and the lower-cased copy is made once. The backward search for a delimiter
// never passes `start`, and consecutive heads overlap by less than the marker's length,
// so the walk is linear in the text plus occurrences times marker length.
template <typename BaseFn>
std::vector<std::string> WalkReferences(std::string_view marker, std::string_view text,
                                        bool lengthFilter, BaseFn&& base) {
    std::vector<std::string> result;
    ScanCount = 0;
    try {
        const std::string lowMarker = LowerAscii(marker);
        if (lowMarker.empty()) return result;
        const std::string lowered = LowerAscii(text);
        size_t start = 0;
        size_t hit = lowered.find(lowMarker);
        while (hit != std::string::npos) {
            if (++ScanCount > kScanLimit) break;
            const size_t end = hit + lowMarker.size();
            const std::string_view ref =
                TrimView(AfterLastDelimiter(text.substr(start, end - start), kDelimiters));
            if (!lengthFilter || ref.size() < kMaxReferenceLength) result.push_back(ResolveAddress(base(), ref));
            start = hit + 1;
            hit = lowered.find(lowMarker, start);
        }
    } catch (...) {
        // The scan ends here; what was found so far stays.
    }
    return result;
}

// First occurrence of each extension in every lower-cased line; one guard per pair.
template <size_t N>
std::vector<std::string> ScanSheet(std::string_view base, const std::vector<std::string>& lines,
                                   const std::string_view (&extensions)[N]) {
    std::vector<std::string> result;
    for (const std::string& line : lines) {
        std::string lowered;
        try {
            lowered = LowerAscii(line);
        } catch (...) {
            continue;
        }
        for (std::string_view ext : extensions) {
            try {
                const size_t hit = lowered.find(ext);
                if (hit == std::string::npos) continue;
                const std::string_view head = std::string_view(lowered).substr(0, hit + ext.size());
                result.push_back(ResolveAddress(base, TrimView(AfterLastDelimiter(head, kDelimiters))));
            } catch (...) {
                // This (line, extension) pair is lost alone.
            }
        }
    }
    return result;
}

}  // namespace

std::vector<std::string> ScanReferences(std::string_view marker, std::string_view text,
                                        std::string_view base) {
    return WalkReferences(marker, text, true, [base] { return base; });
}

std::vector<std::string> ScanPageReferences(std::string_view marker, IBrowser& browser) {
    ScanCount = 0;
    std::string source;
    try {
        source = GetPageSource(browser);
    } catch (...) {
        return {};
    }
    std::string address;
    return WalkReferences(marker, source, false, [&browser, &address]() -> std::string_view {
        address = GetPageAddress(browser);
        return address;
    });
}

std::vector<std::string> ScanSheetImages(std::string_view base, const std::vector<std::string>& lines) {
    return ScanSheet(base, lines, kSheetImageExtensions);
}

std::vector<std::string> ScanSheetFlash(std::string_view base, const std::vector<std::string>& lines) {
    return ScanSheet(base, lines, kSheetFlashExtensions);
}

std::vector<std::string> ScanSourceFlash(std::string_view text, std::string_view base) {
    static constexpr std::string_view kMarker = ".swf";
    std::vector<std::string> result;
    ScanCount = 0;
    try {
        const std::string lowered = LowerAscii(text);
        const std::string_view low = lowered;
        size_t start = 0;
        // The counter is tested before each search, so the bound stops the scan
        // without looking for one more occurrence.
        while (ScanCount < kScanLimit) {
            const size_t hit = low.find(kMarker, start);
            if (hit == std::string_view::npos) break;
            ++ScanCount;
            const size_t end = hit + kMarker.size();
            result.push_back(ResolveAddress(base, AfterLastDelimiter(low.substr(start, end - start), kFlashDelimiters)));
            start = end;
        }
    } catch (...) {
        // The scan ends here; what was found so far stays.
    }
    return result;
}

}  // namespace nuv
