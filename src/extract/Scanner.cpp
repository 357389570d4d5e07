#include "extract/Scanner.h"

#include <optional>

#include "common/Guard.h"
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
        NoteSwallowed();
        // The scan ends here; what was found so far stays.
    }
    return result;
}

// First occurrence of each extension in every lower-cased line; one guard per pair.
// Stops at kScanLimit references, as the counting scans do.
template <size_t N>
std::vector<std::string> ScanSheet(std::string_view base, const std::vector<std::string>& lines,
                                   const std::string_view (&extensions)[N]) {
    std::vector<std::string> result;
    for (const std::string& line : lines) {
        if (result.size() >= static_cast<size_t>(kScanLimit)) break;
        if (line.find('.') == std::string::npos) continue;  // every extension begins with one
        std::string lowered;
        try {
            lowered = LowerAscii(line);
        } catch (...) {
            NoteSwallowed();
            continue;
        }
        for (std::string_view ext : extensions) {
            if (result.size() >= static_cast<size_t>(kScanLimit)) break;
            try {
                const size_t hit = lowered.find(ext);
                if (hit == std::string::npos) continue;
                const std::string_view head = std::string_view(lowered).substr(0, hit + ext.size());
                result.push_back(ResolveAddress(base, TrimView(AfterLastDelimiter(head, kDelimiters))));
            } catch (...) {
                NoteSwallowed();
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

namespace {

bool EqualsLowered(std::string_view text, std::string_view lowered) {
    if (text.size() != lowered.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (LowerAsciiChar(text[i]) != lowered[i]) return false;
    return true;
}

bool IsDelimiter(char c) { return c == '"' || c == ' ' || c == '\'' || c == '=' || c == '('; }

// The reference that ends at `end` (its marker included), cut after the last delimiter
// at or after `start` and trimmed, or none when it is kMaxReferenceLength bytes or longer.
// Looks back only as far as needed: once a byte above 32 lies that far from the end, the
// reference, which starts at or before it, is too long.
std::optional<std::string_view> ShortReferenceBefore(std::string_view text, size_t start, size_t end) {
    size_t firstSolid = end;  // the leftmost byte above 32 seen so far
    size_t i = end;
    while (i > start) {
        const char c = text[i - 1];
        if (IsDelimiter(c)) break;
        --i;
        if (!IsBlankByte(c)) {
            firstSolid = i;
            if (end - firstSolid >= kMaxReferenceLength) return std::nullopt;
        }
    }
    const std::string_view ref = TrimView(text.substr(i, end - i));
    if (ref.size() >= kMaxReferenceLength) return std::nullopt;
    return ref;
}

}  // namespace

std::vector<std::vector<std::string>> ScanReferencesEach(const std::vector<std::string_view>& markers,
                                                         std::string_view text, std::string_view base) {
    std::vector<std::vector<std::string>> result(markers.size());
    std::vector<std::string> lowMarkers;
    bool dotLed = true;
    for (std::string_view m : markers) {
        lowMarkers.push_back(LowerAscii(m));
        dotLed = dotLed && !lowMarkers.back().empty() && lowMarkers.back().front() == '.';
    }
    if (!dotLed) {
        for (size_t m = 0; m < markers.size(); ++m) result[m] = ScanReferences(markers[m], text, base);
        return result;
    }
    // One walk from dot to dot gives the occurrences of every marker, each list in text
    // order, up to one past the bound (which is where a single-marker scan stops).
    // The markers that may start at a dot, by the lower-cased byte after it.
    std::vector<size_t> bySecond[256];
    std::vector<size_t> dotOnly;
    for (size_t m = 0; m < lowMarkers.size(); ++m) {
        if (lowMarkers[m].size() == 1) dotOnly.push_back(m);
        else bySecond[static_cast<unsigned char>(lowMarkers[m][1])].push_back(m);
    }
    std::vector<std::vector<size_t>> hits(markers.size());
    auto record = [&](size_t m, size_t pos) {
        if (hits[m].size() > static_cast<size_t>(kScanLimit)) return;
        if (EqualsLowered(text.substr(pos, lowMarkers[m].size()), lowMarkers[m])) hits[m].push_back(pos);
    };
    for (size_t pos = text.find('.'); pos != std::string_view::npos; pos = text.find('.', pos + 1)) {
        for (size_t m : dotOnly) record(m, pos);
        if (pos + 1 < text.size())
            for (size_t m : bySecond[static_cast<unsigned char>(LowerAsciiChar(text[pos + 1]))]) record(m, pos);
    }
    for (size_t m = 0; m < markers.size(); ++m) {
        ScanCount = 0;
        try {
            size_t start = 0;
            for (size_t hit : hits[m]) {
                if (++ScanCount > kScanLimit) break;
                const std::optional<std::string_view> ref = ShortReferenceBefore(text, start, hit + lowMarkers[m].size());
                if (ref) result[m].push_back(ResolveAddress(base, *ref));
                start = hit + 1;
            }
        } catch (...) {
            NoteSwallowed();
            // This marker's scan ends here; what it found so far stays.
        }
    }
    return result;
}

std::vector<std::string> ScanPageReferences(std::string_view marker, IBrowser& browser) {
    ScanCount = 0;
    std::string source;
    try {
        source = GetPageSource(browser);
    } catch (...) {
        NoteSwallowed();
        return {};
    }
    return ScanPageReferences(marker, source, browser);
}

std::vector<std::string> ScanPageReferences(std::string_view marker, std::string_view source, IBrowser& browser) {
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
        NoteSwallowed();
        // The scan ends here; what was found so far stays.
    }
    return result;
}

}  // namespace nuv
