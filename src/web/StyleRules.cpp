#include "web/StyleRules.h"

#include <algorithm>
#include <cctype>
#include <tuple>
#include <unordered_map>

#include "common/Text.h"
#include "web/StaticBrowser.h"

namespace nuv {
namespace {

constexpr size_t kMostSheets = 64;
constexpr int kDeepestImport = 4;
constexpr size_t kLongestSheet = size_t{4} << 20;
constexpr int kDeepestNesting = 32;     // of blocks, layers and selector arguments
constexpr size_t kMostCompounds = 256;  // of one selector: matching recurses over them
constexpr uint64_t kMostMatchSteps = 10'000'000;
const char* const kByRules = "its style sheets give pictures by rules read only by a browser";
const char* const kUnreadSheet = "a style sheet of it cannot be read without a browser";

Holds And(Holds a, Holds b) {
    if (a == Holds::kNo || b == Holds::kNo) return Holds::kNo;
    return a == Holds::kMaybe || b == Holds::kMaybe ? Holds::kMaybe : Holds::kYes;
}
Holds Or(Holds a, Holds b) {
    if (a == Holds::kYes || b == Holds::kYes) return Holds::kYes;
    return a == Holds::kMaybe || b == Holds::kMaybe ? Holds::kMaybe : Holds::kNo;
}
Holds Not(Holds a) { return a == Holds::kMaybe ? a : a == Holds::kYes ? Holds::kNo : Holds::kYes; }
Holds If(bool b) { return b ? Holds::kYes : Holds::kNo; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c & 0x80; }
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
size_t SkipString(std::string_view t, size_t i) {
    const char quote = t[i++];
    while (i < t.size() && t[i] != quote && t[i] != '\n') i += t[i] == '\\' ? 2 : 1;
    return std::min(i + 1, t.size());
}
// The length of the string, escape or url token at t[i]; 0 for anything else.
size_t SkipUnit(std::string_view t, size_t i) {
    if (t[i] == '"' || t[i] == '\'') return SkipString(t, i) - i;
    if (t[i] == '\\') return std::min<size_t>(2, t.size() - i);
    return (t[i] == 'u' || t[i] == 'U') && UrlTokenAt(t, i) ? SkipUrlToken(t, i) - i : 0;
}

// The index of the first of `stops` at the outermost level of `t` from i (outside strings,
// url tokens and brackets); t.size() when there is none.
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

// The name (escapes resolved) at t[i], i moved past it.
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

enum class Kind : uint8_t { kValue, kInherit, kInitial, kUnset, kUnknown };

struct Setting {
    PictureProperty property;
    Kind kind;
    bool important;
    PictureValue value;  // of a kValue
    int position = 0;    // in its block: of two, the later wins
};

struct ValueScan {
    std::vector<std::string> urls;  // as written
    bool unknown = false;           // a var() or env() (or functions too deep to read): only a browser resolves it
    bool bad = false;               // a malformed url(): the declaration is dropped
};

// Reads the url( whose "(" is at t[open]; returns the index after its ")".
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

// The addresses of a sheet at `sheet` in a document at `document`: a reference to a part
// of the document ("#mask") stays the document's.
struct Bases {
    const std::string& sheet;
    const std::string& document;
    std::optional<std::string> Resolve(const std::string& url) const {
        return url.empty() ? std::nullopt : ResolveHref(url[0] == '#' ? document : sheet, url);
    }
};

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

// The settings of the picture properties in a declaration block; `nested` tells of nested
// rules that name pictures.
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

Holds MediaApplies(std::string_view queries) {
    const std::string text = StripComments(queries);
    if (Trimmed(text).empty()) return Holds::kYes;
    Holds any = Holds::kNo;
    for (size_t i = 0; i <= text.size();) {
        const size_t end = FindTop(text, i, ",");
        any = Or(any, MediaQuery(Trimmed(std::string_view(text).substr(i, end - i))));
        i = end + 1;
    }
    return any;
}

namespace {

// ---- selectors ----------------------------------------------------------------------

struct Complex;
struct Simple {
    enum Kind : uint8_t { kType, kId, kClass, kAttribute, kNth, kNot, kIs, kRoot, kLink, kEmpty, kChecked,
                          kDisabled, kEnabled, kNever, kMaybe };
    Simple(Kind k) : kind(k) {}  // NOLINT: a kind stands for its selector
    Kind kind;
    std::string name, exact, value;  // name lower case, exact as written
    char op = 0;                     // of an attribute: 0 (present), = ~ | ^ $ *
    bool noCase = false, withCase = false, last = false, ofType = false;
    int a = 0, b = 1;  // of :nth-*(an+b)
    std::vector<Complex> list;
};
struct Compound {
    std::vector<Simple> simples;
    char combinator = 0;  // with the compound before it: ' ' > + ~
};
enum Pseudo : uint8_t { kNoPseudo, kBefore, kAfter, kOtherPseudo };
struct Complex {
    std::vector<Compound> compounds;
    uint32_t specificity = 0;
    Pseudo pseudo = kNoPseudo;
};
constexpr uint32_t kIdWeight = 1u << 20, kClassWeight = 1u << 10, kTypeWeight = 1;

bool ParseNth(std::string_view arg, int& a, int& b) {
    std::string s;
    for (const char c : arg)
        if (!IsSpace(c)) s += LowerAsciiChar(c);
    if (s == "odd" || s == "even") return a = 2, b = s == "odd", true;
    const auto number = [](std::string_view t, int& out) {
        const bool minus = !t.empty() && t[0] == '-';
        if (!t.empty() && (t[0] == '+' || t[0] == '-')) t.remove_prefix(1);
        if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string_view::npos) return false;
        return out = std::stoi(std::string(t)) * (minus ? -1 : 1), true;
    };
    const size_t n = s.find('n');
    if (n == std::string::npos) return a = 0, number(s, b);
    const std::string_view head = std::string_view(s).substr(0, n), tail = std::string_view(s).substr(n + 1);
    if (head.empty() || head == "+" || head == "-") a = head == "-" ? -1 : 1;
    else if (!number(head, a)) return false;
    b = 0;
    return tail.empty() || ((tail[0] == '+' || tail[0] == '-') && tail.size() > 1 &&
                            std::isdigit(static_cast<unsigned char>(tail[1])) && number(tail, b));
}

class SelectorParser {
public:
    SelectorParser(std::string_view text, int depth) : t_(text), depth_(depth) {}
    Holds validity = Holds::kYes;  // kMaybe: a browser may drop the rule
    bool shadow = false;           // it names parts of shadow trees

    // The selector list of the text; false when a browser drops it.
    bool List(std::vector<Complex>& out, bool inner) {
        if (depth_ > kDeepestNesting) return false;
        for (;; ++i_) {
            out.emplace_back();
            if (!ComplexSelector(out.back(), inner)) return false;
            if (i_ >= t_.size()) return true;
            if (t_[i_] != ',') return false;
        }
    }

private:
    void Skip() {
        while (i_ < t_.size() && IsSpace(t_[i_])) ++i_;
    }
    bool ComplexSelector(Complex& c, bool inner) {
        Skip();
        for (char combinator = 0;;) {
            c.compounds.emplace_back().combinator = combinator;
            if (!CompoundSelector(c.compounds.back(), c, inner)) return false;
            const size_t before = i_;
            Skip();
            if (i_ >= t_.size() || t_[i_] == ',') break;
            if (c.pseudo != kNoPseudo) return false;
            combinator = ' ';
            if (t_[i_] == '>' || t_[i_] == '+' || t_[i_] == '~') combinator = t_[i_++], Skip();
            else if (before == i_) return false;
        }
        if (c.compounds.size() > kMostCompounds) {  // too long to match: it may match
            c.compounds.resize(1);
            c.compounds[0].simples.push_back(Simple::kMaybe);
            validity = Holds::kMaybe;
        }
        return true;
    }
    bool CompoundSelector(Compound& compound, Complex& c, bool inner) {
        const size_t start = i_;
        if (i_ < t_.size() && (t_[i_] == '*' || t_[i_] == '|' || IdentStartsAt(t_, i_))) {
            Simple type(Simple::kType);
            if (t_[i_] == '*') ++i_;
            else if (t_[i_] != '|') type.exact = ReadName(t_, i_);
            if (i_ + 1 < t_.size() && t_[i_] == '|' && t_[i_ + 1] != '=') {  // a namespace prefix
                type = Simple(Simple::kMaybe);
                if (++i_ < t_.size() && t_[i_] == '*') ++i_;
                else if (ReadName(t_, i_).empty()) return false;
            }
            type.name = LowerAscii(type.exact);
            if (type.kind == Simple::kMaybe || !type.exact.empty()) {
                c.specificity += kTypeWeight;
                compound.simples.push_back(std::move(type));
            }
        }
        while (i_ < t_.size()) {
            const char ch = t_[i_];
            if (c.pseudo != kNoPseudo && (ch == '#' || ch == '.' || ch == '[' || ch == '&')) return false;
            if (ch == '#' || ch == '.') {
                if (!IdentStartsAt(t_, ++i_)) return false;
                compound.simples.push_back(ch == '#' ? Simple::kId : Simple::kClass);
                compound.simples.back().value = ReadName(t_, i_);
                c.specificity += ch == '#' ? kIdWeight : kClassWeight;
            } else if (ch == '[') {
                if (!Attribute(compound)) return false;
                c.specificity += kClassWeight;
            } else if (ch == '&') {  // nesting, as a browser may read it at the top
                ++i_;
                compound.simples.push_back(Simple::kMaybe);
                validity = Holds::kMaybe;
            } else if (ch != ':' || !PseudoSelector(compound, c, inner)) {
                return ch != ':' && i_ > start;
            }
        }
        return i_ > start;
    }
    bool Attribute(Compound& compound) {
        const size_t close = FindTop(t_, i_ + 1, "]");
        if (close >= t_.size()) return false;
        const std::string_view body = Trimmed(t_.substr(i_ + 1, close - i_ - 1));
        i_ = close + 1;
        Simple s(Simple::kAttribute);
        size_t j = 0;
        s.exact = ReadName(body, j);
        s.name = LowerAscii(s.exact);
        if (j < body.size() && body[j] == '|' && (j + 1 >= body.size() || body[j + 1] != '='))
            return compound.simples.push_back(Simple::kMaybe), true;  // an attribute of a namespace
        while (j < body.size() && IsSpace(body[j])) ++j;
        if (s.exact.empty()) return false;
        if (j < body.size()) {
            s.op = body[j] == '=' ? '=' : body[j];
            if (std::string_view("=~|^$*").find(s.op) == std::string_view::npos) return false;
            if (s.op != '=' && (++j >= body.size() || body[j] != '=')) return false;
            for (++j; j < body.size() && IsSpace(body[j]);) ++j;
            if (j < body.size() && (body[j] == '"' || body[j] == '\'')) {
                const size_t end = SkipString(body, j);
                s.value = StringValue(body.substr(j, end - j));
                j = end;
            } else if (IdentStartsAt(body, j)) {
                s.value = ReadName(body, j);
            } else {
                return false;
            }
            const std::string flag = LowerAscii(Trimmed(body.substr(j)));
            s.noCase = flag == "i";
            s.withCase = flag == "s";
            if (!flag.empty() && !s.noCase && !s.withCase) return false;
        }
        compound.simples.push_back(std::move(s));
        return true;
    }
    bool PseudoSelector(Compound& compound, Complex& c, bool inner) {
        const bool element = ++i_ < t_.size() && t_[i_] == ':';
        i_ += element;
        const std::string name = LowerName(t_, i_);
        std::string_view argument;
        const bool function = i_ < t_.size() && t_[i_] == '(';
        if (function) {
            const size_t close = FindTop(t_, i_ + 1, ")");
            if (close >= t_.size()) return false;
            argument = t_.substr(i_ + 1, close - i_ - 1);
            i_ = close + 1;
        }
        const auto in = [&name](std::initializer_list<std::string_view> names) {
            return std::find(names.begin(), names.end(), name) != names.end();
        };
        if (name.empty() || StartsWith(name, "-moz-") || StartsWith(name, "-ms-") || StartsWith(name, "-o-"))
            return false;  // the engine takes no other engine's
        if (element || in({"before", "after", "first-line", "first-letter"})) {
            shadow = shadow || name == "part" || name == "slotted";
            if (inner || c.pseudo != kNoPseudo ||
                !(in({"before", "after", "first-line", "first-letter", "marker", "placeholder", "selection", "backdrop",
                      "file-selector-button", "cue", "highlight", "spelling-error", "grammar-error", "target-text"}) ||
                  StartsWith(name, "-webkit-") || StartsWith(name, "view-transition")))
                validity = Holds::kMaybe;
            c.pseudo = name == "before" ? kBefore : name == "after" ? kAfter : kOtherPseudo;
            c.specificity += kTypeWeight;
            return true;
        }
        c.specificity += kClassWeight;
        Simple s(Simple::kMaybe);
        if (c.pseudo != kNoPseudo) {  // ::before:hover
            if (!in({"hover", "focus", "active", "focus-visible"})) validity = Holds::kMaybe;
            s.kind = Simple::kNever;
        } else if (function && in({"not", "is", "where", "matches", "-webkit-any"})) {
            SelectorParser arguments(argument, depth_ + 1);
            s.kind = name == "not" ? Simple::kNot : Simple::kIs;
            if (!arguments.List(s.list, true)) {
                if (name == "not") return false;
                s = Simple(Simple::kMaybe);  // :is() forgives what it cannot take
                validity = Holds::kMaybe;
            }
            validity = And(validity, arguments.validity);
            shadow = shadow || arguments.shadow;
            uint32_t most = 0;
            for (const Complex& each : s.list) most = std::max(most, each.specificity);
            c.specificity += (name == "where" ? 0 : most) - kClassWeight;
        } else if (function && StartsWith(name, "nth-") && !ContainsNoCase(argument, " of ") &&
                   (Contains(name, "child") || Contains(name, "of-type"))) {
            s.kind = Simple::kNth;
            s.last = Contains(name, "last");
            s.ofType = Contains(name, "of-type");
            if (!ParseNth(argument, s.a, s.b)) return false;
        } else if (!function && in({"first-child", "last-child", "first-of-type", "last-of-type", "only-child",
                                    "only-of-type"})) {
            s.kind = Simple::kNth;
            s.a = 0;
            s.ofType = Contains(name, "type");
            if (StartsWith(name, "only")) compound.simples.push_back(s);
            s.last = !StartsWith(name, "first");
        } else if (!function && in({"root", "scope", "link", "any-link", "-webkit-any-link", "empty", "checked",
                                    "disabled", "enabled"})) {
            s.kind = in({"root", "scope"}) ? Simple::kRoot : Contains(name, "link") ? Simple::kLink
                     : name == "empty" ? Simple::kEmpty : name == "checked" ? Simple::kChecked
                     : name == "disabled" ? Simple::kDisabled : Simple::kEnabled;
        } else if (!function && in({"hover", "active", "focus", "visited", "focus-within", "focus-visible", "target",
                                    "target-within"})) {
            s.kind = Simple::kNever;  // a document no one uses
        } else {
            shadow = shadow || name == "host" || name == "host-context";
            validity = Holds::kMaybe;
        }
        compound.simples.push_back(std::move(s));
        return true;
    }

    std::string_view t_;
    size_t i_ = 0;
    int depth_;
};

// Attribute values compared without case in HTML documents.
bool ValueWithoutCase(std::string_view name) {
    static const std::vector<std::string_view> kNames = {
        "accept", "accept-charset", "align", "alink", "axis", "bgcolor", "charset", "checked", "clear", "codetype",
        "color", "compact", "declare", "defer", "dir", "direction", "disabled", "enctype", "face", "frame",
        "hreflang", "http-equiv", "lang", "language", "link", "media", "method", "multiple", "nohref", "noresize",
        "noshade", "nowrap", "readonly", "rel", "rev", "rules", "scope", "scrolling", "selected", "shape",
        "target", "text", "type", "valign", "valuetype", "vlink"};
    return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}
bool Same(std::string_view a, std::string_view b, bool noCase) {
    return noCase ? a.size() == b.size() && LowerAscii(a) == LowerAscii(b) : a == b;
}

class Matcher {
public:
    Matcher(const std::vector<StyleElement>& elements, bool quirks, uint64_t& steps)
        : els_(elements), quirks_(quirks), steps_(steps) {}

    // Whether compounds [0, k] of `c` match, compounds[k] at element e.
    Holds Match(const Complex& c, size_t k, int e) {
        if (++steps_ > kMostMatchSteps) return Holds::kNo;
        Holds own = Holds::kYes;
        for (const Simple& s : c.compounds[k].simples)
            if ((own = And(own, MatchSimple(s, e))) == Holds::kNo) return own;
        if (k == 0) return own;
        const char combinator = c.compounds[k].combinator;
        const bool sibling = combinator == '+' || combinator == '~';
        Holds rest = Holds::kNo;
        for (int p = sibling ? els_[e].previous : els_[e].parent; p >= 0 && rest != Holds::kYes;
             p = sibling ? els_[p].previous : els_[p].parent) {
            rest = Or(rest, Match(c, k - 1, p));
            if (combinator == '>' || combinator == '+') break;
        }
        return And(own, rest);
    }
    Holds MatchList(const std::vector<Complex>& list, int e) {
        Holds any = Holds::kNo;
        for (const Complex& c : list)
            if (c.pseudo == kNoPseudo && (any = Or(any, Match(c, c.compounds.size() - 1, e))) == Holds::kYes) break;
        return any;
    }

private:
    Holds MatchSimple(const Simple& s, int e) {
        const StyleElement& el = els_[e];
        switch (s.kind) {
            case Simple::kType: return If(el.html ? s.name == el.name : s.exact == el.name);
            case Simple::kId: return If(!el.id.empty() && Same(el.id, s.value, quirks_));
            case Simple::kClass:
                return If(std::any_of(el.classes.begin(), el.classes.end(),
                                      [&](std::string_view c) { return Same(c, s.value, quirks_); }));
            case Simple::kAttribute: return If(MatchAttribute(s, el));
            case Simple::kNth: {
                const int n = s.ofType ? (s.last ? el.typeFromEnd : el.typePosition)
                                       : (s.last ? el.fromEnd : el.position);
                return If(s.a == 0 ? n == s.b : (n - s.b) % s.a == 0 && (n - s.b) / s.a >= 0);
            }
            case Simple::kNot: return Not(MatchList(s.list, e));
            case Simple::kIs: return MatchList(s.list, e);
            case Simple::kRoot: return If(el.parent < 0);
            case Simple::kLink: return If(el.link);
            case Simple::kEmpty: return If(el.empty);
            case Simple::kChecked: return If(el.checked);
            case Simple::kDisabled: return If(el.disabled);
            case Simple::kEnabled: return If(el.enabled);
            case Simple::kNever: return Holds::kNo;
            case Simple::kMaybe: return Holds::kMaybe;
        }
        return Holds::kMaybe;
    }
    static bool MatchAttribute(const Simple& s, const StyleElement& el) {
        for (const auto& [name, value] : el.attributes) {
            if (el.html ? name != s.name : name != s.exact) continue;
            const bool noCase = s.noCase || (!s.withCase && el.html && ValueWithoutCase(s.name));
            const std::string v = noCase ? LowerAscii(value) : std::string(value);
            const std::string w = noCase ? LowerAscii(s.value) : s.value;
            switch (s.op) {
                case 0: return true;
                case '=': return v == w;
                case '~': {
                    if (w.empty() || w.find_first_of(" \t\n\r\f") != std::string::npos) return false;
                    for (size_t i = 0; i <= v.size();) {
                        const size_t end = std::min(v.find_first_of(" \t\n\r\f", i), v.size());
                        if (std::string_view(v).substr(i, end - i) == w) return true;
                        i = end + 1;
                    }
                    return false;
                }
                case '|': return v == w || StartsWith(v, w + "-");
                case '^': return !w.empty() && StartsWith(v, w);
                case '$': return !w.empty() && v.size() >= w.size() && v.compare(v.size() - w.size(), w.size(), w) == 0;
                case '*': return !w.empty() && Contains(v, w);
            }
        }
        return false;
    }

    const std::vector<StyleElement>& els_;
    bool quirks_;
    uint64_t& steps_;
};

// ---- the cascade --------------------------------------------------------------------

struct Rule {
    std::vector<Setting> settings;
    int64_t order;
    int layer;  // its layer, then that layer's rank
    Holds holds;
};
struct Selector {
    Complex complex;
    uint32_t rule;
    Holds validity;
};
struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using Buckets = std::unordered_map<std::string, std::vector<uint32_t>, TextHash, std::equal_to<>>;
// The selectors by what their rightmost compound requires, as browsers find an element's rules.
struct RuleIndex {
    Buckets ids, classes, types;
    std::vector<uint32_t> rest;
};
struct Match {
    const Rule* rule;
    uint32_t specificity;
    Holds holds;
};
// The rank of a declaration in the cascade, the greater winning: important, of the style
// attribute, layer, specificity, order of its rule, order in its block.
using Rank = std::tuple<bool, bool, int, uint32_t, int64_t, int>;

}  // namespace

struct StyleRules::Impl {
    SheetFetch fetch;
    std::string base;
    bool quirks;
    std::string needs;
    std::vector<Rule> rules;
    std::vector<Selector> selectors;
    RuleIndex pictures, resets;  // of rules that may give a picture, and of those that can only take one
    struct Layer {
        std::vector<int> children;  // in the order they were named
        std::unordered_map<std::string, int> named;
        int depth = 0;
    };
    std::vector<Layer> layers{1};  // [0]: the unlayered rules, which win over every layer
    size_t sheets = 0;
    int64_t order = 0;
    uint64_t steps = 0;
    struct Context {
        std::string base;
        int layer = 0;
        Holds holds = Holds::kYes;
        int imports = 0;
        std::vector<std::string> chain = {};  // the sheets importing this one
    };

    void Need(const std::string& why) {
        if (needs.empty()) needs = why;
    }
    bool Count() {
        if (sheets < kMostSheets) return ++sheets, true;
        Need("it has more style sheets than are read without a browser");
        return false;
    }
    void Load(const std::string& address, Context c) {
        if (!Count()) return;
        std::optional<std::string> text;
        try {
            if (fetch) text = fetch(address);
        } catch (const std::exception&) {
            text.reset();
        }
        if (!text) return Need(kUnreadSheet);
        c.base = address;
        c.chain.push_back(address);
        Sheet(*text, c);
    }
    void Sheet(std::string_view text, const Context& c) {
        if (text.size() > kLongestSheet) return Need(kUnreadSheet);
        RuleList(StripComments(text), c, true, 0);
    }
    int LayerNamed(int parent, std::string_view name) {
        name = Trimmed(name);
        for (size_t i = 0; i <= name.size(); ++i) {
            const size_t dot = std::min(name.find('.', i), name.size());
            const std::string part(Trimmed(name.substr(i, dot - i)));
            if (const auto it = layers[parent].named.find(part); !part.empty() && it != layers[parent].named.end()) {
                parent = it->second;
            } else if (layers[parent].depth < kDeepestNesting) {
                const int layer = static_cast<int>(layers.size());
                layers.push_back({{}, {}, layers[parent].depth + 1});
                layers[parent].children.push_back(layer);
                if (!part.empty()) layers[parent].named.emplace(part, layer);
                parent = layer;
            }
            i = dot;
        }
        return parent;
    }
    void RuleList(std::string_view t, Context c, bool top, int nesting) {
        bool imports = top;  // @import counts only before other rules
        for (size_t i = 0; i < t.size();) {
            if (IsSpace(t[i]) || (top && (t.substr(i, 4) == "<!--" || t.substr(i, 3) == "-->"))) {
                i += IsSpace(t[i]) ? 1 : t[i] == '<' ? 4 : 3;
                continue;
            }
            const bool at = t[i] == '@';
            const size_t stop = FindTop(t, i, at ? ";{" : "{");
            if (stop >= t.size() && !at) break;
            const bool block = stop < t.size() && t[stop] == '{';
            const size_t close = block ? FindTop(t, stop + 1, "}") : stop;
            const std::string_view prelude = t.substr(i, stop - i);
            const std::string_view body = block ? t.substr(stop + 1, close - stop - 1) : std::string_view();
            i = close + 1;
            if (!at) {
                imports = false;
                StyleRule(prelude, body, c);
                continue;
            }
            size_t j = 1;
            const std::string name = LowerName(prelude, j);
            const std::string_view rest = prelude.substr(j);
            if (name == "layer" && !block) {
                for (size_t k = 0; k <= rest.size(); k = std::min(rest.find(',', k), rest.size()) + 1)
                    LayerNamed(c.layer, rest.substr(k, rest.find(',', k) - k));
                continue;
            }
            if (name == "charset" || name == "import") {
                if (name == "import" && imports && !block) Import(rest, c);
                continue;
            }
            imports = false;
            Context inner = c;
            if (name == "namespace" && !Contains(Trimmed(rest), " ")) c.holds = And(c.holds, Holds::kMaybe);
            if (name == "keyframes" || name == "-webkit-keyframes") {
                if (NamesPicture(body)) Need(kByRules);  // an animation may show them
                continue;
            }
            if (name == "media") inner.holds = And(c.holds, MediaApplies(rest));
            else if (name == "supports" || name == "container" || name == "scope")
                inner.holds = And(c.holds, Holds::kMaybe);
            else if (name == "layer") inner.layer = LayerNamed(c.layer, rest);
            else continue;  // @font-face, @page and the like give no element a picture
            if (nesting >= kDeepestNesting && NamesPicture(body)) Need(kByRules);
            else if (nesting < kDeepestNesting && inner.holds != Holds::kNo) RuleList(body, inner, false, nesting + 1);
        }
    }
    void Import(std::string_view rest, const Context& c) {
        size_t j = 0;
        while (j < rest.size() && IsSpace(rest[j])) ++j;
        ValueScan scan;
        if (j < rest.size() && (rest[j] == '"' || rest[j] == '\'')) {
            const size_t end = SkipString(rest, j);
            scan.urls.push_back(StringValue(rest.substr(j, end - j)));
            j = end;
        } else if (Is(rest.substr(j, 4), "url(")) {
            j = ScanUrl(rest, j + 3, scan);
        }
        if (scan.urls.empty() || scan.bad) return;
        Context inner = c;
        std::string_view media = Trimmed(rest.substr(std::min(j, rest.size())));
        if (Is(media.substr(0, 5), "layer") && (media.size() == 5 || !IsNameChar(media[5]))) {
            const bool named = media.size() > 5 && media[5] == '(';
            const size_t close = named ? FindTop(media, 6, ")") : 4;
            inner.layer = LayerNamed(c.layer, named ? media.substr(6, close - 6) : std::string_view());
            media = Trimmed(media.substr(std::min(close + 1, media.size())));
        }
        if (Is(media.substr(0, 9), "supports(")) {
            inner.holds = And(inner.holds, Holds::kMaybe);
            media = media.substr(std::min(FindTop(media, 9, ")") + 1, media.size()));
        }
        inner.holds = And(inner.holds, MediaApplies(media));
        const std::optional<std::string> address = ResolveHref(c.base, scan.urls[0]);
        const bool cycle = address && std::find(c.chain.begin(), c.chain.end(), *address) != c.chain.end();
        if (inner.holds == Holds::kNo || !address || cycle) return;
        if (++inner.imports > kDeepestImport) return Need("its style sheets import others too deeply");
        Load(*address, inner);
    }
    void StyleRule(std::string_view prelude, std::string_view body, const Context& c) {
        bool nested = false;
        std::vector<Setting> settings = ParseDeclarations(body, Bases{c.base, base}, nested);
        if (nested) Need(kByRules);
        if (settings.empty()) return;
        const bool gives = std::any_of(settings.begin(), settings.end(), [](const Setting& s) {
            return s.kind == Kind::kInherit || s.kind == Kind::kUnset || s.kind == Kind::kUnknown ||
                   !s.value.urls.empty();
        });
        SelectorParser parser(prelude, 0);
        std::vector<Complex> list;
        if (!parser.List(list, false)) return;
        if (parser.shadow) {
            if (gives) Need(kByRules);
            return;
        }
        rules.push_back({std::move(settings), order++, c.layer, c.holds});
        const auto priority = [](const Simple& s) {
            return s.kind == Simple::kId ? 0 : s.kind == Simple::kClass ? 1 : s.kind == Simple::kType ? 2 : 3;
        };
        for (Complex& complex : list) {
            if (complex.pseudo == kOtherPseudo) continue;  // it styles no element, nor ::before or ::after
            RuleIndex& index = gives ? pictures : resets;
            const Simple* key = nullptr;
            for (const Simple& s : complex.compounds.back().simples)
                if (priority(s) < 3 && (!key || priority(s) < priority(*key))) key = &s;
            const auto at = static_cast<uint32_t>(selectors.size());
            if (!key) index.rest.push_back(at);
            else if (key->kind == Simple::kType) index.types[key->name].push_back(at);
            else (key->kind == Simple::kId ? index.ids : index.classes)[Key(key->value)].push_back(at);
            selectors.push_back({std::move(complex), static_cast<uint32_t>(rules.size() - 1), parser.validity});
        }
    }
    std::string Key(std::string_view name) const { return quirks ? LowerAscii(name) : std::string(name); }

    // Ranks the layers: sublayers in the order they were named, each before the rules of
    // its parent, the unlayered rules last.
    void RankLayers() {
        std::vector<int> rank(layers.size());
        std::vector<std::pair<int, size_t>> stack = {{0, 0}};
        for (int next = 0; !stack.empty();) {
            auto& [layer, child] = stack.back();
            if (child < layers[layer].children.size()) {
                stack.emplace_back(layers[layer].children[child++], 0);
            } else {
                rank[layer] = next++;
                stack.pop_back();
            }
        }
        for (Rule& r : rules) r.layer = rank[r.layer];
    }

    // Adds the rules of `index` that may apply to element e to `out`, by the pseudo-element
    // they style, noting in `any` which got one.
    void Gather(const RuleIndex& index, const std::vector<StyleElement>& els, int e, std::vector<Match>* out,
                bool* any) {
        const StyleElement& el = els[e];
        std::vector<uint32_t> found;
        const auto take = [&found](const Buckets& buckets, const std::string& key) {
            if (const auto it = buckets.find(key); it != buckets.end())
                found.insert(found.end(), it->second.begin(), it->second.end());
        };
        if (!el.id.empty()) take(index.ids, Key(el.id));
        for (const std::string_view c : el.classes) take(index.classes, Key(c));
        take(index.types, LowerAscii(el.name));
        found.insert(found.end(), index.rest.begin(), index.rest.end());
        if (el.classes.size() > 1) {
            std::sort(found.begin(), found.end());
            found.erase(std::unique(found.begin(), found.end()), found.end());
        }
        Matcher matcher(els, quirks, steps);
        for (const uint32_t at : found) {
            const Selector& s = selectors[at];
            const Rule& rule = rules[s.rule];
            const Holds holds =
                And(And(rule.holds, s.validity), matcher.Match(s.complex, s.complex.compounds.size() - 1, e));
            if (holds == Holds::kNo) continue;
            out[s.complex.pseudo].push_back({&rule, s.complex.specificity, holds});
            if (any) any[s.complex.pseudo] = true;
        }
    }

    static PictureValue ValueOf(const Setting* s, int p, const PictureStyle* parent) {
        const bool inherit = s ? s->kind == Kind::kInherit || (s->kind == Kind::kUnset && p == kListStyleImage)
                               : p == kListStyleImage;
        if (inherit) return parent ? (*parent)[p] : PictureValue{};
        return s && s->kind == Kind::kValue ? s->value : PictureValue{};
    }
    // The computed value of property p of an element or pseudo-element from the declarations
    // that apply to it; `doubt` tells that one only a browser can weigh may change it.
    PictureValue Value(int p, const std::vector<Match>& matches, const std::vector<Setting>& attached,
                       const Setting* hint, const PictureStyle* parent, bool& doubt) const {
        struct Candidate {
            Rank rank;
            const Setting* setting;
            bool sure;
        };
        std::vector<Candidate> candidates;
        for (const Match& m : matches)
            for (const Setting& s : m.rule->settings)
                if (s.property == p)
                    candidates.push_back({{s.important, false, s.important ? -m.rule->layer : m.rule->layer,
                                           m.specificity, m.rule->order, s.position},
                                          &s, m.holds == Holds::kYes && s.kind != Kind::kUnknown});
        for (const Setting& s : attached)
            if (s.property == p)
                candidates.push_back({{s.important, true, 0, 0, 0, s.position}, &s, s.kind != Kind::kUnknown});
        if (hint && p == kBackgroundImage) candidates.push_back({{false, false, -1, 0, -1, 0}, hint, true});
        const Candidate* best = nullptr;
        for (const Candidate& c : candidates)
            if (c.sure && (!best || c.rank > best->rank)) best = &c;
        PictureValue value = ValueOf(best ? best->setting : nullptr, p, parent);
        for (const Candidate& c : candidates)
            doubt = doubt || (!c.sure && (!best || c.rank > best->rank) &&
                              (c.setting->kind == Kind::kUnknown || ValueOf(c.setting, p, parent) != value));
        return value;
    }
    PictureStyle Cascade(const std::vector<Match>& matches, const std::vector<Setting>& attached, const Setting* hint,
                         const PictureStyle* parent) {
        PictureStyle out;
        bool doubt = false;
        for (int p = 0; p < kPictureProperties; ++p) out[p] = Value(p, matches, attached, hint, parent, doubt);
        if (doubt) Need(kByRules);
        return out;
    }
};

StyleRules::StyleRules(SheetFetch fetch, std::string base, bool quirks) : impl_(std::make_unique<Impl>()) {
    impl_->fetch = std::move(fetch);
    impl_->base = std::move(base);
    impl_->quirks = quirks;
}

StyleRules::~StyleRules() = default;

void StyleRules::AddSheet(std::string_view text, std::string_view media) {
    const Holds holds = MediaApplies(media);
    if (impl_->Count() && holds != Holds::kNo) impl_->Sheet(text, {impl_->base, 0, holds});
}

void StyleRules::AddLinkedSheet(const std::string& address, std::string_view media) {
    const Holds holds = MediaApplies(media);
    if (holds != Holds::kNo) impl_->Load(address, {address, 0, holds});
}

void StyleRules::Finish() { impl_->RankLayers(); }

ElementPictureStyle StyleRules::Compute(const std::vector<StyleElement>& elements, int index,
                                        const PictureStyle* parent) {
    Impl& s = *impl_;
    const StyleElement& el = elements[index];
    ElementPictureStyle out;
    const bool inherits = parent && !(*parent)[kListStyleImage].urls.empty();
    if (inherits) out.own[kListStyleImage] = (*parent)[kListStyleImage];
    if (s.steps > kMostMatchSteps) return out;
    std::vector<Setting> attached;
    if (el.style) {
        bool nested = false;
        attached = ParseDeclarations(el.style, Bases{s.base, s.base}, nested);
    }
    std::optional<Setting> hint;
    const std::string background(el.background ? Trimmed(el.background) : "");
    if (auto url = background.empty() ? std::nullopt : ResolveHref(s.base, background))
        hint = Setting{kBackgroundImage, Kind::kValue, false, {{std::move(*url)}, true}, 0};
    std::vector<Match> matches[4];
    bool any[4] = {};
    s.Gather(s.pictures, elements, index, matches, any);
    any[kNoPseudo] = any[kNoPseudo] || !attached.empty() || hint || inherits;
    any[kBefore] = any[kBefore] && el.pseudoElements;
    any[kAfter] = any[kAfter] && el.pseudoElements;
    if (any[kNoPseudo] || any[kBefore] || any[kAfter]) s.Gather(s.resets, elements, index, matches, nullptr);
    if (s.steps > kMostMatchSteps) {
        s.Need("its style is too large to read without a browser");
        return out;
    }
    if (any[kNoPseudo]) out.own = s.Cascade(matches[kNoPseudo], attached, hint ? &*hint : nullptr, parent);
    for (const Pseudo p : {kBefore, kAfter}) {
        bool doubt = false;
        if (!any[p] || (s.Value(kContent, matches[p], {}, nullptr, &out.own, doubt).keyword && !doubt)) continue;
        PictureStyle style = s.Cascade(matches[p], {}, nullptr, &out.own);
        (p == kBefore ? out.beforeShown : out.afterShown) = !style[kContent].keyword;
        (p == kBefore ? out.before : out.after) = std::move(style);
    }
    return out;
}

const std::string& StyleRules::NeedsBrowser() const { return impl_->needs; }

void StyleRules::Need(const std::string& why) { impl_->Need(why); }

}  // namespace nuv
