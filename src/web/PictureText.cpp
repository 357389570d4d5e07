#include "web/PictureText.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace nuv::detail {
namespace {

// The length of the white space (as scripts' \s and trim() know it) at s[i]; 0 for none.
size_t JsSpaceAt(std::string_view s, size_t i) {
    const auto at = [&](size_t k) { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0u; };
    const unsigned c = at(0);
    if (c == ' ' || (c >= 9 && c <= 13)) return 1;
    if (c == 0xC2 && at(1) == 0xA0) return 2;
    if (c == 0xE1 && at(1) == 0x9A && at(2) == 0x80) return 3;
    const unsigned third = at(2);  // U+2000 to U+200A, U+2028, U+2029, U+202F
    if (c == 0xE2 && at(1) == 0x80 && ((third >= 0x80 && third <= 0x8A) || third == 0xA8 || third == 0xA9 ||
                                       third == 0xAF))
        return 3;
    if ((c == 0xE2 && at(1) == 0x81 && at(2) == 0x9F) || (c == 0xE3 && at(1) == 0x80 && at(2) == 0x80) ||
        (c == 0xEF && at(1) == 0xBB && at(2) == 0xBF))
        return 3;
    return 0;
}
bool IsLineTerminator(std::string_view s, size_t i) {
    return s[i] == '\n' || s[i] == '\r' || (JsSpaceAt(s, i) == 3 && s.substr(i, 2) == "\xE2\x80" &&
                                            (s[i + 2] == '\xA8' || s[i + 2] == '\xA9'));
}
bool SrcsetBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}
// A valid floating-point number of HTML: -?(d+(.d+)?|.d+)([eE][+-]?d+)?
std::optional<double> HtmlNumber(std::string_view s) {
    const std::string text(s);
    size_t i = text[0] == '-' ? 1 : 0;
    const size_t digits = text.find_first_not_of("0123456789", i);
    size_t end = digits == std::string::npos ? text.size() : digits;
    bool any = end > i;
    if (end < text.size() && text[end] == '.') {
        const size_t after = std::min(text.find_first_not_of("0123456789", end + 1), text.size());
        if (after == end + 1) return std::nullopt;
        end = after;
        any = true;
    }
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t k = end + 1 + (end + 1 < text.size() && (text[end + 1] == '+' || text[end + 1] == '-'));
        if (!AllDigits(std::string_view(text).substr(k))) return std::nullopt;
        end = text.size();
    }
    if (!any || end != text.size()) return std::nullopt;
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

std::string_view JsTrim(std::string_view s) {
    while (size_t n = s.empty() ? 0 : JsSpaceAt(s, 0)) s.remove_prefix(n);
    for (bool trimmed = true; trimmed && !s.empty();) {
        trimmed = false;
        for (size_t n = 1; n <= 3 && n <= s.size() && !trimmed; ++n)
            if (JsSpaceAt(s, s.size() - n) == n) s.remove_suffix(n), trimmed = true;
    }
    return s;
}
std::vector<std::string_view> JsWords(std::string_view s) {
    std::vector<std::string_view> words;
    for (size_t i = 0; i < s.size();) {
        if (const size_t n = JsSpaceAt(s, i)) {
            i += n;
            continue;
        }
        size_t end = i;
        while (end < s.size() && !JsSpaceAt(s, end)) ++end;
        words.push_back(s.substr(i, end - i));
        i = end;
    }
    return words;
}

std::vector<SrcsetCandidate> SplitSrcset(std::string_view s) {
    std::vector<SrcsetCandidate> out;
    for (size_t i = 0; i < s.size();) {
        while (i < s.size() && (SrcsetBlank(s[i]) || s[i] == ',')) ++i;
        if (i >= s.size()) break;
        const size_t start = i;
        while (i < s.size() && !SrcsetBlank(s[i])) ++i;
        std::string_view url = s.substr(start, i - start), descriptors;
        if (url.back() == ',') {
            while (!url.empty() && url.back() == ',') url.remove_suffix(1);
        } else {
            const size_t from = i;
            for (int depth = 0; i < s.size(); ++i) {
                if (s[i] == '(') ++depth;
                else if (s[i] == ')' && depth > 0) --depth;
                else if (s[i] == ',' && depth == 0) break;
            }
            descriptors = s.substr(from, i - from);
            if (i < s.size()) ++i;
        }
        if (!url.empty()) out.push_back({url, descriptors});
    }
    return out;
}

std::optional<double> CandidateDensity(std::string_view descriptors) {
    std::optional<double> density;
    bool width = false, height = false;
    for (size_t i = 0; i < descriptors.size();) {
        while (i < descriptors.size() && SrcsetBlank(descriptors[i])) ++i;
        if (i >= descriptors.size()) break;
        const size_t start = i;
        for (bool parens = false; i < descriptors.size() && (parens || !SrcsetBlank(descriptors[i])); ++i)
            parens = descriptors[i] == '(' ? true : descriptors[i] == ')' ? false : parens;
        const std::string_view token = descriptors.substr(start, i - start), number = token.substr(0, token.size() - 1);
        const char kind = token.back();
        const bool positive = AllDigits(number) && std::strtod(std::string(number).c_str(), nullptr) > 0;
        if (kind == 'w' && !width && !density && positive) {
            width = true;
        } else if (kind == 'x' && !width && !density && !height && !number.empty()) {
            density = HtmlNumber(number);
            if (!density || *density < 0) return std::nullopt;
        } else if (kind == 'h' && !height && !density && positive) {
            height = true;
        } else {
            return std::nullopt;
        }
    }
    if (height && !width) return std::nullopt;
    return width ? -1.0 : density.value_or(1.0);
}

bool LooksLikeSrcset(std::string_view v) {
    const auto digits = [&v](size_t j) {
        while (j < v.size() && v[j] >= '0' && v[j] <= '9') ++j;
        return j;
    };
    for (size_t i = 0; i < v.size(); ++i) {
        const size_t blank = JsSpaceAt(v, i);
        if (!blank) continue;
        size_t j = digits(i + blank);
        if (j == i + blank) continue;
        if (j + 1 < v.size() && v[j] == '.' && digits(j + 1) > j + 1) j = digits(j + 1);
        if (j >= v.size() || (v[j] != 'w' && v[j] != 'x')) continue;
        for (++j; j < v.size() && JsSpaceAt(v, j);) j += JsSpaceAt(v, j);
        if (j >= v.size() || v[j] == ',') return true;
    }
    return false;
}

std::vector<std::string> LooseCssUrls(std::string_view v) {
    std::vector<std::string> out;
    const auto spaces = [&v](size_t j) {
        while (j < v.size() && JsSpaceAt(v, j)) j += JsSpaceAt(v, j);
        return j;
    };
    // The last unquoted scan: where it began and stopped, and where the space after the stop
    // ends. A scan from anywhere between its start and its stop ends at the same stop, so
    // `url(url(url(…` is read once and not once for every url(.
    size_t scanFrom = std::string_view::npos, scanStop = 0, scanEnd = 0;
    for (size_t at = v.find("url("); at != std::string_view::npos; at = v.find("url(", at + 1)) {
        const size_t open = spaces(at + 4);
        std::optional<std::pair<size_t, size_t>> captured;  // the reference's span
        size_t end = 0;
        if (open < v.size() && (v[open] == '"' || v[open] == '\'')) {
            size_t k = open + 1;
            const auto escaped = [&v](size_t at) { return at < v.size() && !IsLineTerminator(v, at); };
            while (k < v.size() && v[k] != v[open] && (v[k] != '\\' || escaped(k + 1))) k += v[k] == '\\' ? 2 : 1;
            if (k < v.size() && v[k] == v[open] && (end = spaces(k + 1)) < v.size() && v[end] == ')')
                captured = {open + 1, k};
        }
        if (!captured) {
            if (scanFrom == std::string_view::npos || open < scanFrom || open > scanStop) {
                size_t k = open;
                while (k < v.size() && v[k] != ')' && !JsSpaceAt(v, k)) ++k;
                scanFrom = open;
                scanStop = k;
                scanEnd = spaces(k);
            }
            if ((end = scanEnd) < v.size() && v[end] == ')') captured = {open, scanStop};
        }
        if (!captured) continue;
        std::string reference;
        for (size_t k = captured->first; k < captured->second; ++k) {
            if (v[k] == '\\' && k + 1 < captured->second && !IsLineTerminator(v, k + 1)) ++k;
            reference += v[k];
        }
        out.push_back(std::move(reference));
        at = end;
    }
    return out;
}

}  // namespace nuv::detail
