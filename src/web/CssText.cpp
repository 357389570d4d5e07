#include "web/CssText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "web/StaticBrowser.h"

namespace nuv::css {
namespace {

// Whether an unquoted url token starts at t[i]: its text is no string and may hold what
// elsewhere starts a comment or a string.
bool UrlTokenAt(std::string_view t, size_t i) {
    if (i + 4 > t.size() || (i > 0 && (IsNameChar(t[i - 1]) || t[i - 1] == '\\')) || !Is(t.substr(i, 4), "url("))
        return false;
    size_t j = i + 4;
    while (j < t.size() && IsSpace(t[j])) ++j;
    return j >= t.size() || (t[j] != '"' && t[j] != '\'');
}
size_t SkipUrlToken(std::string_view t, size_t i) {
    for (i += 4; i < t.size() && t[i] != ')'; ++i) i += t[i] == '\\';
    return std::min(i + 1, t.size());
}
// The length of the string, escape or url token at t[i]; 0 for anything else.
size_t SkipUnit(std::string_view t, size_t i) {
    if (t[i] == '"' || t[i] == '\'') return SkipString(t, i) - i;
    if (t[i] == '\\') return std::min<size_t>(2, t.size() - i);
    return (t[i] == 'u' || t[i] == 'U') && UrlTokenAt(t, i) ? SkipUrlToken(t, i) - i : 0;
}

void AppendUtf8(std::string& out, unsigned cp) {
    const int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    out += static_cast<char>(extra == 0 ? cp : ((0xF00u >> extra) & 0xF0) | (cp >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
}

// `t` with its escapes replaced by what they stand for.
std::string Unescape(std::string_view t) {
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '\\') {
            out += t[i];
        } else if (++i < t.size() && t[i] != '\n') {
            unsigned cp = 0;
            size_t n = 0;
            for (; n < 6 && i + n < t.size() && std::isxdigit(static_cast<unsigned char>(t[i + n])); ++n) {
                const char h = LowerAsciiChar(t[i + n]);
                cp = cp * 16 + static_cast<unsigned>(h <= '9' ? h - '0' : h - 'a' + 10);
            }
            if (n == 0) {
                out += t[i];
                continue;
            }
            i += n - 1;
            if (i + 1 < t.size() && IsSpace(t[i + 1])) ++i;
            AppendUtf8(out, cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF ? 0xFFFD : cp);
        }
    }
    return out;
}

}  // namespace

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}
bool Is(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() && LowerAscii(text) == lower;
}
bool NamesPicture(std::string_view text) {
    return ContainsNoCase(text, "url(") || ContainsNoCase(text, "var(") || ContainsNoCase(text, "image-set(");
}
size_t SkipString(std::string_view t, size_t i) {
    const char quote = t[i++];
    while (i < t.size() && t[i] != quote && t[i] != '\n') i += t[i] == '\\' ? 2 : 1;
    return std::min(i + 1, t.size());
}

size_t FindTop(std::string_view t, size_t i, std::string_view stops) {
    for (int depth = 0; i < t.size();) {
        const char c = t[i];
        if (depth == 0 && stops.find(c) != std::string_view::npos) return i;
        if (const size_t n = SkipUnit(t, i)) {
            i += n;
            continue;
        }
        if (c == '(' || c == '[' || c == '{') ++depth;
        else if ((c == ')' || c == ']' || c == '}') && depth > 0) --depth;
        ++i;
    }
    return t.size();
}

std::string StripComments(std::string_view t) {
    std::string out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size();) {
        if (t.substr(i, 2) == "/*") {
            const size_t end = t.find("*/", i + 2);
            i = end == std::string_view::npos ? t.size() : end + 2;
            out += ' ';
            continue;
        }
        const size_t n = std::max<size_t>(1, SkipUnit(t, i));
        out.append(t.substr(i, n));
        i += n;
    }
    return out;
}

std::string ReadName(std::string_view t, size_t& i) {
    const size_t start = i;
    while (i < t.size()) {
        if (IsNameChar(t[i])) {
            ++i;
        } else if (t[i] == '\\' && i + 1 < t.size() && t[i + 1] != '\n') {
            size_t j = i + 1;
            while (j < t.size() && j < i + 7 && std::isxdigit(static_cast<unsigned char>(t[j]))) ++j;
            i = j == i + 1 ? i + 2 : j + (j < t.size() && IsSpace(t[j]));
        } else {
            break;
        }
    }
    return Unescape(t.substr(start, i - start));
}
std::string LowerName(std::string_view t, size_t& i) { return LowerAscii(ReadName(t, i)); }
bool IdentStartsAt(std::string_view t, size_t i) {
    if (i >= t.size()) return false;
    const char c = t[i] == '-' && i + 1 < t.size() ? t[i + 1] : t[i];
    return c == '\\' || c == '_' || c == '-' || std::isalpha(static_cast<unsigned char>(c)) || c & 0x80;
}
std::string StringValue(std::string_view quoted) {
    std::string_view inner = quoted.substr(1);
    if (!inner.empty() && inner.back() == quoted.front()) inner.remove_suffix(1);
    return Unescape(inner);
}

// ---- values -------------------------------------------------------------------------

size_t ScanUrl(std::string_view t, size_t open, ValueScan& v) {
    size_t j = open + 1;
    while (j < t.size() && IsSpace(t[j])) ++j;
    if (j < t.size() && (t[j] == '"' || t[j] == '\'')) {
        const size_t end = SkipString(t, j), close = FindTop(t, end, ")");
        v.urls.push_back(StringValue(t.substr(j, end - j)));
        v.bad = v.bad || !Trimmed(t.substr(end, close - end)).empty();
        return close + 1;
    }
    std::string raw;
    for (; j < t.size() && t[j] != ')'; ++j) {
        const char c = t[j];
        if (IsSpace(c)) {
            while (j < t.size() && IsSpace(t[j])) ++j;
            v.bad = v.bad || (j < t.size() && t[j] != ')');
            break;
        }
        v.bad = v.bad || c == '"' || c == '\'' || c == '(' || static_cast<unsigned char>(c) < 0x20;
        raw += c;
        if (c == '\\' && j + 1 < t.size()) raw += t[++j];
    }
    v.urls.push_back(Unescape(raw));
    return FindTop(t, j, ")") + 1;
}

std::optional<std::string> Bases::Resolve(const std::string& url) const {
    if (url.empty()) return std::nullopt;
    const bool own = url[0] == '#';
    if (documentUsed && (own || sheet == document)) *documentUsed = true;
    return ResolveHref(own ? document : sheet, url);
}

namespace {

void ScanValue(std::string_view t, bool imageSet, ValueScan& v, int depth = 0) {
    for (size_t i = 0; i < t.size();) {
        const char c = t[i];
        if (c == '"' || c == '\'') {
            const size_t end = SkipString(t, i);
            if (imageSet) v.urls.push_back(StringValue(t.substr(i, end - i)));  // image-set("a.png" 1x)
            i = end;
        } else if (IsNameChar(c) || c == '\\') {
            size_t j = i;
            const std::string name = LowerName(t, j);
            j += j == i;
            if (j < t.size() && t[j] == '(' && name == "url") {
                j = ScanUrl(t, j, v);
            } else if (j < t.size() && t[j] == '(') {
                const size_t close = FindTop(t, j + 1, ")");
                if (name == "var" || name == "env" || depth >= kDeepestNesting) v.unknown = true;
                else ScanValue(t.substr(j + 1, close - j - 1), imageSet || Contains(name, "image-set"), v, depth + 1);
                j = close + 1;
            }
            i = j;
        } else {
            ++i;
        }
    }
}

// Whether `v` is a list of images (one where `single`): none, url()s and image functions.
bool IsImageList(std::string_view v, bool single) {
    static const std::vector<std::string_view> kFunctions = {
        "url", "image-set", "-webkit-image-set", "linear-gradient", "radial-gradient", "conic-gradient",
        "repeating-linear-gradient", "repeating-radial-gradient", "repeating-conic-gradient",
        "-webkit-linear-gradient", "-webkit-radial-gradient", "-webkit-repeating-linear-gradient",
        "-webkit-repeating-radial-gradient", "-webkit-gradient", "cross-fade", "-webkit-cross-fade", "paint"};
    for (size_t i = 0;;) {
        const size_t end = FindTop(v, i, ",");
        const std::string_view item = Trimmed(v.substr(i, end - i));
        size_t j = 0;
        const std::string name = LowerName(item, j);
        const bool function = j < item.size() && item[j] == '(' && FindTop(item, j + 1, ")") + 1 == item.size() &&
                              std::find(kFunctions.begin(), kFunctions.end(), name) != kFunctions.end();
        const bool image = name == "none" ? j == item.size()
                           : UrlTokenAt(item, 0) ? SkipUrlToken(item, 0) == item.size() : function;
        if (!image || (end < v.size() && single)) return false;
        if (end >= v.size()) return true;
        i = end + 1;
    }
}

std::optional<Kind> GlobalKeyword(std::string_view v) {
    const std::string k = LowerAscii(Trimmed(v));
    if (k == "inherit") return Kind::kInherit;
    if (k == "initial") return Kind::kInitial;
    if (k == "unset" || k == "revert") return Kind::kUnset;  // no browser style sets these properties
    if (k == "revert-layer") return Kind::kUnknown;
    return std::nullopt;
}

// What a declaration's value does to a property: a list of images, a single one, any
// value whose url()s are the images (a shorthand), no image whatever it says (`border`
// resets border-image), or `content`.
enum class Form : uint8_t { kList, kSingle, kShorthand, kReset, kContent };
struct Mapping {
    std::string_view name;
    PictureProperty property;
    Form form;
};
constexpr Mapping kMappings[] = {
    {"background-image", kBackgroundImage, Form::kList},  {"background", kBackgroundImage, Form::kShorthand},
    {"border-image-source", kBorderImageSource, Form::kSingle}, {"border-image", kBorderImageSource, Form::kShorthand},
    {"-webkit-border-image", kBorderImageSource, Form::kShorthand}, {"border", kBorderImageSource, Form::kReset},
    {"list-style-image", kListStyleImage, Form::kSingle}, {"list-style", kListStyleImage, Form::kShorthand},
    {"mask-image", kMaskImage, Form::kList},              {"-webkit-mask-image", kMaskImage, Form::kList},
    {"mask", kMaskImage, Form::kShorthand},               {"-webkit-mask", kMaskImage, Form::kShorthand},
    {"content", kContent, Form::kContent}};

void AddSetting(const Mapping& m, std::string_view value, bool important, const Bases& bases, int position,
                std::vector<Setting>& out) {
    Setting s{m.property, Kind::kValue, important, {}, position};
    ValueScan scan;
    if (const auto keyword = GlobalKeyword(value)) {
        s.kind = *keyword;
    } else if (ScanValue(value, false, scan); scan.unknown) {
        s.kind = Kind::kUnknown;
    } else if (scan.bad || value.empty() ||
               ((m.form == Form::kList || m.form == Form::kSingle) && !IsImageList(value, m.form == Form::kSingle))) {
        return;  // an invalid declaration, which a browser drops
    } else if (m.form == Form::kReset) {
        s.kind = Kind::kInitial;
    } else {
        for (const std::string& url : scan.urls)
            if (auto a = bases.Resolve(url)) s.value.urls.push_back(std::move(*a));
        if (m.form == Form::kContent) s.value.keyword = Is(value, "none") || Is(value, "normal");
    }
    out.push_back(std::move(s));
}

}  // namespace

std::vector<Setting> ParseDeclarations(std::string_view block, const Bases& bases, bool& nested) {
    std::vector<Setting> out;
    for (size_t i = 0, position = 0; i < block.size(); ++position) {
        const size_t end = FindTop(block, i, ";{");
        if (end < block.size() && block[end] == '{') {  // a nested rule, or a custom property's block
            const size_t close = FindTop(block, end + 1, "}");
            const bool custom = StartsWith(Trimmed(block.substr(i)), "--");
            nested = nested || (!custom && NamesPicture(block.substr(i, close - i)));
            i = custom ? FindTop(block, close, ";") + 1 : close + 1;
            continue;
        }
        const std::string_view item = Trimmed(block.substr(i, end - i));
        i = end + 1;
        size_t j = 0;
        const std::string name = LowerName(item, j);
        while (j < item.size() && IsSpace(item[j])) ++j;
        if (name.empty() || j >= item.size() || item[j] != ':') continue;
        std::string_view value = Trimmed(item.substr(j + 1));
        bool important = false;
        if (value.size() >= 9 && Is(value.substr(value.size() - 9), "important")) {
            const std::string_view before = Trimmed(value.substr(0, value.size() - 9));
            important = !before.empty() && before.back() == '!';
            if (important) value = Trimmed(before.substr(0, before.size() - 1));
        }
        const auto keyword = GlobalKeyword(value);
        for (int p = 0; name == "all" && keyword && p < kPictureProperties; ++p)
            out.push_back({static_cast<PictureProperty>(p), *keyword, important, {}, static_cast<int>(position)});
        for (const Mapping& m : kMappings)
            if (m.name == name) AddSetting(m, value, important, bases, static_cast<int>(position), out);
    }
    return out;
}

// ---- media queries ------------------------------------------------------------------

namespace {

// Whether a media feature holds at a device pixel ratio of 1: only resolutions are known.
Holds MediaFeature(std::string_view feature) {
    const size_t colon = feature.find(':');
    if (colon == std::string_view::npos || feature.find_first_of("<>=(") != std::string_view::npos)
        return Holds::kMaybe;
    const std::string name = LowerAscii(Trimmed(feature.substr(0, colon)));
    const bool webkit = StartsWith(name, "-webkit-");
    std::string_view base = std::string_view(name).substr(webkit ? 8 : 0);
    const bool min = StartsWith(base, "min-"), max = StartsWith(base, "max-");
    if (min || max) base.remove_prefix(4);
    // Features the engine does not know make the query "not all".
    if (Contains(name, "-moz-") || StartsWith(name, "-o-") || (base == "device-pixel-ratio" && !webkit))
        return Holds::kNo;
    if (base != "device-pixel-ratio" && (base != "resolution" || webkit)) return Holds::kMaybe;
    const std::string text(Trimmed(feature.substr(colon + 1)));
    char* end = nullptr;
    double ratio = std::strtod(text.c_str(), &end);
    const std::string unit = LowerAscii(end);
    if (end == text.c_str()) return Holds::kMaybe;
    if (unit == "dpi" || unit == "dpcm") ratio = ratio / 96 * (unit == "dpcm" ? 2.54 : 1);
    else if (!unit.empty() && unit != "dppx" && unit != "x") return Holds::kMaybe;
    return If(min ? ratio <= 1 : max ? ratio >= 1 : ratio == 1);
}

Holds MediaQuery(std::string_view q) {
    Holds result = Holds::kYes;
    bool negate = false, typed = false, operand = true;  // an operand is due
    for (size_t i = 0; i < q.size();) {
        if (IsSpace(q[i])) {
            ++i;
        } else if (q[i] == '(') {
            const size_t close = FindTop(q, i + 1, ")");
            if (!operand) return Holds::kNo;
            result = And(result, MediaFeature(q.substr(i + 1, close - i - 1)));
            operand = false;
            i = close + 1;
        } else {
            const std::string word = LowerName(q, i);
            if (word.empty()) return Holds::kNo;
            if (word == "or") return Holds::kMaybe;
            if (word == "and" && !operand) {
                operand = true;
            } else if ((word == "not" || word == "only") && operand && !typed) {
                negate = word == "not";
            } else if (operand && !typed) {
                typed = true;
                operand = false;
                if (word != "all" && word != "screen") result = Holds::kNo;
            } else {
                return Holds::kNo;
            }
        }
    }
    return operand ? Holds::kNo : negate ? Not(result) : result;
}

}  // namespace

}  // namespace nuv::css

namespace nuv {

Holds MediaApplies(std::string_view queries) {
    const std::string text = css::StripComments(queries);
    if (css::Trimmed(text).empty()) return Holds::kYes;
    Holds any = Holds::kNo;
    for (size_t i = 0; i <= text.size();) {
        const size_t end = css::FindTop(text, i, ",");
        any = css::Or(any, css::MediaQuery(css::Trimmed(std::string_view(text).substr(i, end - i))));
        i = end + 1;
    }
    return any;
}

}  // namespace nuv
