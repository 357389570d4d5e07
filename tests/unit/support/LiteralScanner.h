#pragma once

// The reference scanner written out literally, step by step: 1-based positions, and a
// fresh lower-cased copy of what is left of the text at every occurrence. It is slow
// (occurrences times text length) and kept only as the oracle against which the
// indexed scanner of the logic library is compared, in the unit tests, the scanner
// fuzzer and the benchmark. Header-only so that all three can include it.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "web/Address.h"

namespace nuv::literal {

// 1-based position of the first `part` in `text`; 0 when there is none or `part` is empty.
inline std::size_t Pos(std::string_view part, std::string_view text) {
    if (part.empty()) return 0;
    const std::size_t i = text.find(part);
    return i == std::string_view::npos ? 0 : i + 1;
}

// 1-based position of the last byte of `text` that is one of `delimiters`; 0 for none.
inline std::size_t LastDelimiter(std::string_view delimiters, std::string_view text) {
    for (std::size_t i = text.size(); i > 0; --i) {
        if (delimiters.find(text[i - 1]) != std::string_view::npos) return i;
    }
    return 0;
}

// Copying ScanReferences / ScanPageReferences. `base` is asked once per reference kept.
inline std::vector<std::string> ScanWithCopies(std::string_view marker, std::string_view source,
                                               bool lengthFilter,
                                               const std::function<std::string()>& base, int& count) {
    std::vector<std::string> result;
    std::string text(source);
    const std::string mk = LowerAscii(marker);
    const std::size_t m = mk.size();
    std::size_t p = Pos(mk, LowerAscii(text));
    count = 0;
    while (p > 0) {
        ++count;
        if (count > 10000) break;
        const std::string head = text.substr(0, p + m - 1);
        const std::size_t d = LastDelimiter("\" '=(", head);
        const std::string ref = Trim(head.substr(d));
        if (!lengthFilter || ref.size() < 50) result.push_back(ResolveAddress(base(), ref));
        text.erase(0, p);
        p = Pos(mk, LowerAscii(text));
    }
    return result;
}

inline std::vector<std::string> ScanReferences(std::string_view marker, std::string_view text,
                                               std::string_view base, int& count) {
    const std::string b(base);
    return ScanWithCopies(marker, text, true, [&b] { return b; }, count);
}

// The Flash scan of a page source: lower-cased as a whole, four delimiters, untrimmed,
// the counter tested before each search, the text cut past the whole ".swf".
inline std::vector<std::string> ScanSourceFlash(std::string_view source, std::string_view base,
                                                int& count) {
    std::vector<std::string> result;
    std::string text = LowerAscii(source);
    count = 0;
    while (count < 10000) {
        const std::size_t p = Pos(".swf", text);
        if (p == 0) break;
        ++count;
        const std::string head = text.substr(0, p + 3);
        const std::size_t d = LastDelimiter("\" '=", head);
        result.push_back(ResolveAddress(base, head.substr(d)));
        text.erase(0, p + 3);
    }
    return result;
}

// The style-sheet scans: every line lower-cased, the first occurrence of each extension.
inline std::vector<std::string> ScanSheet(std::string_view base, const std::vector<std::string>& lines,
                                          const std::vector<std::string>& extensions) {
    std::vector<std::string> sheet;
    for (const std::string& line : lines) sheet.push_back(LowerAscii(line));
    std::vector<std::string> result;
    for (const std::string& line : sheet) {
        for (const std::string& ext : extensions) {
            const std::size_t p = Pos(ext, line);
            if (p == 0) continue;
            const std::string head = line.substr(0, p + ext.size() - 1);
            const std::size_t d = LastDelimiter("\" '=(", head);
            result.push_back(ResolveAddress(base, Trim(head.substr(d))));
        }
    }
    return result;
}

inline std::vector<std::string> ScanSheetImages(std::string_view base, const std::vector<std::string>& lines) {
    return ScanSheet(base, lines, {".gif", ".png", ".jpg", ".jpeg", ".ico"});
}

inline std::vector<std::string> ScanSheetFlash(std::string_view base, const std::vector<std::string>& lines) {
    return ScanSheet(base, lines, {".swf"});
}

}  // namespace nuv::literal
