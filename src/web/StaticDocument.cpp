#include "web/StaticDocument.h"

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/Text.h"
#include "web/StaticBrowser.h"
#include "web/StyleRules.h"

namespace nuv {
namespace {

bool IsHtml(const GumboElement& e) { return e.tag_namespace == GUMBO_NAMESPACE_HTML; }

// The element's name as the DOM has it: lower case, SVG's mixed-case names restored.
std::string ElementName(const GumboElement& e) {
    if (e.original_tag.length == 0 || e.tag != GUMBO_TAG_UNKNOWN) {
        if (e.tag_namespace == GUMBO_NAMESPACE_SVG && e.original_tag.length > 0) {
            GumboStringPiece name = e.original_tag;
            gumbo_tag_from_original_text(&name);
            if (const char* svg = gumbo_normalize_svg_tagname(&name)) return svg;
        }
        if (e.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(e.tag);
    }
    GumboStringPiece name = e.original_tag;
    gumbo_tag_from_original_text(&name);
    std::string text = LowerAscii(std::string_view(name.data, name.length));
    if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
        if (const char* svg = gumbo_normalize_svg_tagname(&name)) return svg;
    }
    return text;
}

bool IsVoid(const GumboElement& e) {
    if (!IsHtml(e)) return false;
    switch (e.tag) {
        case GUMBO_TAG_AREA: case GUMBO_TAG_BASE: case GUMBO_TAG_BASEFONT: case GUMBO_TAG_BGSOUND:
        case GUMBO_TAG_BR: case GUMBO_TAG_COL: case GUMBO_TAG_EMBED: case GUMBO_TAG_FRAME: case GUMBO_TAG_HR:
        case GUMBO_TAG_IMG: case GUMBO_TAG_INPUT: case GUMBO_TAG_KEYGEN: case GUMBO_TAG_LINK: case GUMBO_TAG_META:
        case GUMBO_TAG_PARAM: case GUMBO_TAG_SOURCE: case GUMBO_TAG_TRACK: case GUMBO_TAG_WBR: return true;
        default: return false;
    }
}

// Text children of these are written as they stand (a browser with scripts parses
// <noscript> as text too).
bool HoldsRawText(const GumboElement& e) {
    if (!IsHtml(e)) return false;
    switch (e.tag) {
        case GUMBO_TAG_STYLE: case GUMBO_TAG_SCRIPT: case GUMBO_TAG_XMP: case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_NOEMBED: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_PLAINTEXT: case GUMBO_TAG_NOSCRIPT: return true;
        default: return false;
    }
}

const char* Attribute(const GumboElement& e, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    return a ? a->value : nullptr;
}

// The comments that come after the body's end tag: the parser of the standard puts
// them after the body or after the top element; the engine keeps the body open to the
// end of the page and puts each where the page's content goes on at that point: before
// the node that follows it in the page, or at the end of the innermost element left open.
struct LateComments {
    struct Placed {
        const GumboNode* comment;
        const GumboNode* parent;
        const GumboNode* before;  // null: at the parent's end
    };
    std::vector<Placed> placed;  // in the order of the page
    bool Moved(const GumboNode* node) const {
        return std::any_of(placed.begin(), placed.end(), [node](const Placed& p) { return p.comment == node; });
    }
};

unsigned OffsetOf(const GumboNode* node) {
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) return node->v.element.start_pos.offset;
    return node->v.text.start_pos.offset;
}

// Where the engine puts a comment at `offset` of the page that came after the body's end.
LateComments::Placed PlaceLateComment(const GumboNode* comment, const GumboNode* body) {
    const unsigned offset = OffsetOf(comment);
    const GumboNode* node = body;
    while (true) {
        const GumboVector& children = node->v.element.children;
        const GumboNode* lastElement = nullptr;
        for (unsigned i = 0; i < children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(children.data[i]);
            if (OffsetOf(child) > offset) return {comment, node, child};
            if (child->type == GUMBO_NODE_ELEMENT) lastElement = child;
        }
        if (!lastElement || lastElement->v.element.original_end_tag.length > 0 || IsVoid(lastElement->v.element))
            return {comment, node, nullptr};
        node = lastElement;
    }
}

void Serialize(const GumboNode* node, bool rawParent, const LateComments& late, std::string& out);

void SerializeChildren(const GumboNode* parent, const LateComments& late, std::string& out) {
    const GumboElement& e = parent->v.element;
    const bool raw = HoldsRawText(e);
    const auto placedAt = [&](const GumboNode* before) {
        for (const LateComments::Placed& p : late.placed)
            if (p.parent == parent && p.before == before) Serialize(p.comment, false, {}, out);
    };
    for (unsigned i = 0; i < e.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(e.children.data[i]);
        if (late.Moved(child)) continue;
        if (!late.placed.empty()) placedAt(child);
        Serialize(child, raw, late, out);
    }
    if (!late.placed.empty()) placedAt(nullptr);
}

void Serialize(const GumboNode* node, bool rawParent, const LateComments& late, std::string& out) {
    switch (node->type) {
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
            const GumboElement& e = node->v.element;
            const std::string name = ElementName(e);
            out += '<';
            out += name;
            for (unsigned i = 0; i < e.attributes.length; ++i) {
                const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
                out += ' ';
                const std::string_view local = a->name;
                if (a->attr_namespace == GUMBO_ATTR_NAMESPACE_XLINK) out += "xlink:";
                else if (a->attr_namespace == GUMBO_ATTR_NAMESPACE_XML) out += "xml:";
                else if (a->attr_namespace == GUMBO_ATTR_NAMESPACE_XMLNS && local != "xmlns") out += "xmlns:";
                out += local;
                out += "=\"";
                out += EscapeHtmlText(a->value, true);
                out += '"';
            }
            out += '>';
            if (IsVoid(e)) return;
            SerializeChildren(node, late, out);
            out += "</";
            out += name;
            out += '>';
            return;
        }
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA: {
            const std::string_view text = node->v.text.text;
            if (rawParent) out += text;
            else out += EscapeHtmlText(text, false);
            return;
        }
        case GUMBO_NODE_COMMENT:
            out += "<!--";
            out += node->v.text.text;
            out += "-->";
            return;
        case GUMBO_NODE_DOCUMENT: return;
    }
}

// Calls `visit` for every element below `node`, in document order.
template <typename Visit>
void EachElement(const GumboNode* node, const Visit& visit) {
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE && node->type != GUMBO_NODE_DOCUMENT)
        return;
    const GumboVector& children =
        node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    if (node->type != GUMBO_NODE_DOCUMENT) visit(node->v.element);
    for (unsigned i = 0; i < children.length; ++i) EachElement(static_cast<const GumboNode*>(children.data[i]), visit);
}

bool IsJavaScriptType(std::string_view type) {
    static constexpr std::array<std::string_view, 19> kTypes = {
        "", "module", "importmap", "speculationrules", "application/ecmascript", "application/javascript",
        "application/x-ecmascript", "application/x-javascript", "text/ecmascript", "text/javascript",
        "text/javascript1.0", "text/javascript1.1", "text/javascript1.2", "text/javascript1.3",
        "text/javascript1.4", "text/javascript1.5", "text/jscript", "text/livescript", "text/x-javascript"};
    const std::string lower = LowerAscii(TrimView(type));
    return std::find(kTypes.begin(), kTypes.end(), lower) != kTypes.end() || lower == "text/x-ecmascript";
}

bool RunsScript(const GumboElement& e) {
    if (e.tag != GUMBO_TAG_SCRIPT) return false;
    if (const char* type = Attribute(e, "type")) return IsJavaScriptType(type);
    const char* language = Attribute(e, "language");
    return language == nullptr || *language == '\0' || IsJavaScriptType(std::string("text/") + language);
}

bool IsJavaScriptAddress(std::string_view value) {
    std::string compact;
    for (const char c : value) {
        if (c == '\t' || c == '\n' || c == '\r') continue;  // a URL parser drops these
        if (compact.empty() && static_cast<unsigned char>(c) <= 0x20) continue;
        compact += LowerAsciiChar(c);
        if (compact.size() == 11) break;
    }
    return compact == "javascript:";
}

// A plugin's movie (Flash), which a browser without the plugin does not make a page of.
bool IsMovie(const GumboElement& e) {
    for (const char* name : {"type", "data", "src"}) {
        const char* value = Attribute(e, name);
        if (value == nullptr) continue;
        const std::string lower = LowerAscii(value);
        if (Contains(lower, "shockwave") || Contains(lower, ".swf")) return true;
    }
    return false;
}


// ---- the pictures a document shows ------------------------------------------------------

constexpr size_t kLongestPictureAddress = 8192;
// The attributes lazy loaders keep a picture's address in until it shows.
constexpr std::array<std::string_view, 24> kLazyAttributes = {
    "data-src", "data-srcset", "data-lazy-src", "data-lazy-srcset", "data-lazy", "data-lazyload", "data-original",
    "data-original-src", "data-bg", "data-bg-src", "data-background", "data-background-image", "data-image",
    "data-img", "data-thumb", "data-poster", "data-hi-res-src", "data-hires", "data-full-src", "data-large-src",
    "data-zoom-image", "data-echo", "data-src-retina", "data-retina"};
constexpr std::array<std::string_view, 9> kNoLazy = {"script", "iframe", "frame",  "audio", "embed",
                                                     "object", "link",   "style", "track"};
constexpr std::array<std::string_view, 6> kIconRels = {
    "icon", "apple-touch-icon", "apple-touch-icon-precomposed", "apple-touch-startup-image", "mask-icon", "image_src"};
constexpr std::array<std::string_view, 5> kPictureMetas = {"og:image", "og:image:url", "og:image:secure_url",
                                                           "twitter:image", "twitter:image:src"};
// Elements a browser gives no ::before or ::after: those without content and the replaced ones.
constexpr std::array<std::string_view, 21> kNoPseudoElements = {
    "area", "base", "br", "col", "embed", "img", "input", "link", "meta", "param", "source", "track", "wbr",
    "iframe", "frame", "video", "audio", "canvas", "textarea", "select", "object"};

template <size_t N>
bool OneOf(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

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

// A candidate of a srcset value: its address as the reader splits it, and its descriptors.
struct SrcsetCandidate {
    std::string_view url, descriptors;
};
bool SrcsetBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
// The candidates of a srcset value, as the HTML parser splits them (an address may hold commas).
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
// The density a candidate's descriptors give it (1 without one); nothing for a candidate a
// browser drops; -1 for one of a width, whose density needs the layout.
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

// Whether a browser decodes pictures of the MIME type `type` ("" counts).
Holds PictureTypeSupported(std::string_view type) {
    static constexpr std::array<std::string_view, 15> kTypes = {
        "", "image/png", "image/jpeg", "image/jpg", "image/pjpeg", "image/gif", "image/webp", "image/avif",
        "image/svg+xml", "image/bmp", "image/x-ms-bmp", "image/x-icon", "image/vnd.microsoft.icon", "image/apng",
        "image/x-xbitmap"};
    return OneOf(kTypes, LowerAscii(TrimView(type.substr(0, type.find(';'))))) ? Holds::kYes : Holds::kNo;
}

// Whether the reader's test of a lazy value for a srcset holds: /\s\d+(\.\d+)?[wx]\s*(,|$)/
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

// The references of url()s in `v` as the reader's pattern finds them:
// url\(\s*(?:"((?:[^"\\]|\\.)*)"|'((?:[^'\\]|\\.)*)'|([^)\s]*))\s*\), escapes then dropped.
std::vector<std::string> LooseCssUrls(std::string_view v) {
    std::vector<std::string> out;
    const auto spaces = [&v](size_t j) {
        while (j < v.size() && JsSpaceAt(v, j)) j += JsSpaceAt(v, j);
        return j;
    };
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
            size_t k = open;
            while (k < v.size() && v[k] != ')' && !JsSpaceAt(v, k)) ++k;
            if ((end = spaces(k)) < v.size() && v[end] == ')') captured = {open, k};
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

// What gathers a document's pictures: each address once, the first `limit`, `cut` counting
// the others; references made absolute against the document's base.
class PictureList {
public:
    PictureList(std::string base, size_t limit, DocumentPictures& out)
        : base_(std::move(base)), limit_(limit), out_(out) {}

    void Add(const std::string& address, const std::string& type = {}) {
        if (address.empty() || address.size() > kLongestPictureAddress) return;
        const std::string scheme = LowerAscii(std::string_view(address).substr(0, 6));
        if (!StartsWith(scheme, "http:") && scheme != "https:") return;
        if (!at_.insert(address).second) return;
        if (out_.pictures.size() >= limit_) ++out_.cut;
        else out_.pictures.push_back({address, 0, 0, type});
    }
    bool Has(const std::string& address) const { return at_.count(address) > 0; }
    std::string Resolve(std::string_view value) {
        const std::string v(JsTrim(value));
        if (v.empty()) return {};
        const auto it = resolved_.find(v);
        if (it != resolved_.end()) return it->second;
        return resolved_[v] = ResolveHref(base_, v).value_or("");
    }
    void Ref(const char* value, const std::string& type = {}) {
        if (value) Add(Resolve(value), type);
    }
    void Refs(const char* srcset, const std::string& type = {}) {
        if (!srcset) return;
        for (const SrcsetCandidate& c : SplitSrcset(srcset)) Add(Resolve(c.url), type);
    }
    const std::string& Base() const { return base_; }

private:
    std::string base_;
    size_t limit_;
    DocumentPictures& out_;
    std::unordered_set<std::string> at_;
    std::unordered_map<std::string, std::string> resolved_;
};

bool IsText(const GumboNode* node) {
    return node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE || node->type == GUMBO_NODE_CDATA;
}

const char* Attribute(const GumboElement& e, std::string_view name, GumboAttributeNamespaceEnum space) {
    for (unsigned i = 0; i < e.attributes.length; ++i) {
        const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
        if (a->attr_namespace == space && name == a->name) return a->value;
    }
    return nullptr;
}

// A document's elements as the DOM has them (a <template>'s content and a <noscript>'s,
// which a browser with scripts reads as text, left out), in document order.
struct PictureTree {
    std::vector<const GumboElement*> nodes;
    std::vector<StyleElement> elements;
    std::deque<std::string> names;
    bool shadowTrees = false;
};

PictureTree BuildPictureTree(const GumboNode* document) {
    PictureTree tree;
    struct Frame {
        const GumboNode* node;
        int index;
        unsigned next = 0;
        // Whether it is disabled by a fieldset, is a disabled fieldset, has had a legend.
        bool inherited = false, fieldset = false, legend = false;
        std::vector<int> children = {};
        std::unordered_map<std::string_view, int> types = {};
    };
    std::vector<Frame> stack;
    stack.push_back({document, -1});
    while (!stack.empty()) {
        Frame& f = stack.back();
        const bool top = f.node->type == GUMBO_NODE_DOCUMENT;
        const GumboVector& kids = top ? f.node->v.document.children : f.node->v.element.children;
        const GumboTag tag = top || !IsHtml(f.node->v.element) ? GUMBO_TAG_UNKNOWN : f.node->v.element.tag;
        const bool hidden = tag == GUMBO_TAG_TEMPLATE || tag == GUMBO_TAG_NOSCRIPT;
        if (hidden || f.next >= kids.length) {
            if (tag == GUMBO_TAG_NOSCRIPT && kids.length > 0) tree.elements[f.index].empty = false;
            for (const int c : f.children) {
                StyleElement& e = tree.elements[c];
                e.fromEnd = static_cast<int>(f.children.size()) - e.position + 1;
                e.typeFromEnd = f.types[e.name] - e.typePosition + 1;
            }
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(kids.data[f.next++]);
        if (IsText(child)) {
            if (f.index >= 0) tree.elements[f.index].empty = false;
            continue;
        }
        if (child->type != GUMBO_NODE_ELEMENT && child->type != GUMBO_NODE_TEMPLATE) continue;
        const GumboElement& g = child->v.element;
        const int index = static_cast<int>(tree.elements.size());
        tree.nodes.push_back(&g);
        tree.elements.emplace_back();
        StyleElement& e = tree.elements.back();
        e.name = tree.names.emplace_back(ElementName(g));
        e.html = IsHtml(g);
        e.parent = f.index;
        e.previous = f.children.empty() ? -1 : f.children.back();
        e.empty = true;
        if (f.index >= 0) tree.elements[f.index].empty = false;
        f.children.push_back(index);
        e.position = static_cast<int>(f.children.size());
        e.typePosition = ++f.types[e.name];
        for (unsigned i = 0; i < g.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(g.attributes.data[i]);
            if (a->attr_namespace == GUMBO_ATTR_NAMESPACE_NONE) e.attributes.emplace_back(a->name, a->value);
        }
        const auto attribute = [&g](std::string_view name) { return Attribute(g, name, GUMBO_ATTR_NAMESPACE_NONE); };
        if (const char* id = attribute("id")) e.id = id;
        if (const char* classes = attribute("class")) {
            const std::string_view list = classes;
            for (size_t i = 0; i < list.size();) {
                const size_t end = std::min(list.find_first_of(" \t\n\f\r", i), list.size());
                if (end > i) e.classes.push_back(list.substr(i, end - i));
                i = end + 1;
            }
        }
        e.style = attribute("style");
        const std::string_view n = e.name;
        const bool legend = e.html && n == "legend" && f.fieldset && !f.legend;
        f.legend = f.legend || (e.html && n == "legend");
        const bool inherited = legend ? f.inherited : f.inherited || f.fieldset;
        bool fieldset = false;
        if (e.html) {
            e.pseudoElements = !OneOf(kNoPseudoElements, n);
            e.link = (n == "a" || n == "area" || n == "link") && attribute("href");
            const char* type = attribute("type");
            const std::string lowerType = type ? LowerAscii(type) : "";
            e.checked = (n == "input" && (lowerType == "checkbox" || lowerType == "radio") && attribute("checked")) ||
                        (n == "option" && attribute("selected"));
            const bool control = n == "button" || n == "input" || n == "select" || n == "textarea";
            const bool inDisabledGroup = n == "option" && f.index >= 0 && tree.elements[f.index].html &&
                                         tree.elements[f.index].name == "optgroup" &&
                                         Attribute(f.node->v.element, "disabled", GUMBO_ATTR_NAMESPACE_NONE);
            if (control || n == "fieldset" || n == "optgroup" || n == "option") {
                e.disabled = attribute("disabled") || ((control || n == "fieldset") && inherited) || inDisabledGroup;
                e.enabled = !e.disabled;
            }
            fieldset = n == "fieldset" && e.disabled;
            static constexpr std::array<std::string_view, 8> kBackgrounds = {"body", "table", "thead", "tbody",
                                                                             "tfoot", "tr", "td", "th"};
            if (OneOf(kBackgrounds, n)) e.background = attribute("background");
            if (n == "template" && (attribute("shadowrootmode") || attribute("shadowroot"))) tree.shadowTrees = true;
        } else {
            e.pseudoElements = false;
        }
        stack.push_back({child, index});
        stack.back().inherited = inherited;
        stack.back().fieldset = fieldset;
    }
    return tree;
}

// The address a browser at a device pixel ratio of 1 shows of an <img>'s own sources (its
// srcset and src): none without any; each it may show where the layout decides (widths).
std::vector<std::string_view> OwnChoices(const GumboElement& img) {
    const char* srcset = Attribute(img, "srcset", GUMBO_ATTR_NAMESPACE_NONE);
    const char* src = Attribute(img, "src", GUMBO_ATTR_NAMESPACE_NONE);
    std::vector<std::pair<double, std::string_view>> candidates;
    for (const SrcsetCandidate& c : srcset ? SplitSrcset(srcset) : std::vector<SrcsetCandidate>())
        if (const auto density = CandidateDensity(c.descriptors)) candidates.emplace_back(*density, c.url);
    std::vector<std::string_view> choices;
    if (std::any_of(candidates.begin(), candidates.end(), [](const auto& c) { return c.first < 0; })) {
        for (const auto& c : candidates)
            if (std::find(choices.begin(), choices.end(), c.second) == choices.end()) choices.push_back(c.second);
        return choices;
    }
    if (src && *src && std::none_of(candidates.begin(), candidates.end(), [](const auto& c) { return c.first == 1; }))
        candidates.emplace_back(1, src);
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto at = std::find_if(candidates.begin(), candidates.end(), [](const auto& c) { return c.first >= 1; });
    if (!candidates.empty()) choices.push_back(at != candidates.end() ? at->second : candidates.back().second);
    return choices;
}

// The picture an <img> shows (currentSrc), which the reader lists before its src and srcset;
// it needs a browser when the layout decides it and the choice changes the list's order.
void AddCurrentSource(const PictureTree& tree, int index, PictureList& list, std::string& needs) {
    const GumboElement& img = *tree.nodes[index];
    std::vector<std::optional<std::string_view>> outcomes;  // nullopt: a <source>'s, listed with it already
    const int parent = tree.elements[index].parent;
    bool sourceChosen = false;
    if (parent >= 0 && tree.elements[parent].html && tree.elements[parent].name == "picture") {
        std::vector<int> before;
        for (int s = tree.elements[index].previous; s >= 0; s = tree.elements[s].previous) before.push_back(s);
        std::reverse(before.begin(), before.end());
        for (const int s : before) {
            const GumboElement& source = *tree.nodes[s];
            const char* srcset = Attribute(source, "srcset", GUMBO_ATTR_NAMESPACE_NONE);
            if (!tree.elements[s].html || tree.elements[s].name != "source" || !srcset) continue;
            const auto candidates = SplitSrcset(srcset);
            if (std::none_of(candidates.begin(), candidates.end(),
                             [](const SrcsetCandidate& c) { return CandidateDensity(c.descriptors).has_value(); }))
                continue;
            const char* media = Attribute(source, "media", GUMBO_ATTR_NAMESPACE_NONE);
            const char* type = Attribute(source, "type", GUMBO_ATTR_NAMESPACE_NONE);
            const Holds byMedia = media ? MediaApplies(media) : Holds::kYes;
            const Holds holds = type && PictureTypeSupported(type) == Holds::kNo ? Holds::kNo : byMedia;
            if (holds == Holds::kNo) continue;
            outcomes.emplace_back();
            if ((sourceChosen = holds == Holds::kYes)) break;
        }
    }
    if (!sourceChosen)
        for (const std::string_view choice : OwnChoices(img)) outcomes.emplace_back(choice);
    // What each outcome adds to the list, in order.
    std::vector<std::string> own;
    if (const char* src = Attribute(img, "src", GUMBO_ATTR_NAMESPACE_NONE)) own.push_back(list.Resolve(src));
    if (const char* srcset = Attribute(img, "srcset", GUMBO_ATTR_NAMESPACE_NONE))
        for (const SrcsetCandidate& c : SplitSrcset(srcset)) own.push_back(list.Resolve(c.url));
    std::vector<std::string> first;
    for (size_t k = 0; k < outcomes.size(); ++k) {
        std::vector<std::string> order, added;
        if (outcomes[k]) order.push_back(ResolveHref(list.Base(), std::string(*outcomes[k])).value_or(""));
        order.insert(order.end(), own.begin(), own.end());
        for (const std::string& a : order)
            if (!a.empty() && !list.Has(a) && std::find(added.begin(), added.end(), a) == added.end())
                added.push_back(a);
        if (k == 0) {
            first = std::move(added);
        } else if (added != first) {
            if (needs.empty()) needs = "the order of its pictures depends on the window's size";
            return;
        }
    }
    if (!outcomes.empty() && outcomes[0])
        list.Add(ResolveHref(list.Base(), std::string(*outcomes[0])).value_or(""));
}

// The pictures an element names itself, as the reader's element() takes them.
void AddNamedPictures(const PictureTree& tree, int index, PictureList& list, std::string& needs) {
    const GumboElement& e = *tree.nodes[index];
    const std::string_view name = tree.elements[index].name;
    const auto attribute = [&e](std::string_view n) { return Attribute(e, n, GUMBO_ATTR_NAMESPACE_NONE); };
    if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
        if (name == "image" || name == "feImage") {
            const char* href = attribute("href");
            list.Ref(href && *href ? href : Attribute(e, "href", GUMBO_ATTR_NAMESPACE_XLINK));
        }
        return;
    }
    const auto lower = [&attribute](std::string_view n) {
        const char* value = attribute(n);
        return value ? LowerAscii(value) : std::string("null");
    };
    if (name == "img") {
        AddCurrentSource(tree, index, list, needs);
        list.Ref(attribute("src"));
        list.Refs(attribute("srcset"));
    } else if (name == "source") {
        const int parent = tree.elements[index].parent;
        const char* type = attribute("type");
        if (parent >= 0 && tree.elements[parent].name == "picture") list.Refs(attribute("srcset"), type ? type : "");
    } else if (name == "input") {
        if (lower("type") == "image") list.Ref(attribute("src"));
    } else if (name == "video") {
        list.Ref(attribute("poster"));
    } else if (name == "link") {
        const char* rel = attribute("rel");
        const std::vector<std::string_view> rels = JsWords(rel ? rel : "");
        const auto has = [&rels](std::string_view token) {
            return std::any_of(rels.begin(), rels.end(), [&](std::string_view r) { return LowerAscii(r) == token; });
        };
        if (std::any_of(kIconRels.begin(), kIconRels.end(), has)) {
            const char* type = attribute("type");
            list.Ref(attribute("href"), type ? type : "");
        } else if (has("preload") && lower("as") == "image") {
            list.Ref(attribute("href"));
            list.Refs(attribute("imagesrcset"));
        }
    } else if (name == "meta") {
        const char* property = attribute("property");
        const char* key = property && *property ? property : attribute("name");
        if (key && OneOf(kPictureMetas, LowerAscii(key))) list.Ref(attribute("content"));
    }
    if (OneOf(kNoLazy, name)) return;
    for (const auto& [attributeName, value] : tree.elements[index].attributes) {
        if (!OneOf(kLazyAttributes, attributeName) || (name == "video" && attributeName != "data-poster")) continue;
        const std::string_view v = JsTrim(value);
        if (v.empty() || v.find_first_of("/.") == std::string_view::npos) continue;
        if (Contains(v, "url(")) {
            for (const std::string& reference : LooseCssUrls(v)) list.Ref(reference.c_str());
        } else if (Contains(attributeName, "srcset") || LooksLikeSrcset(v)) {
            list.Refs(std::string(v).c_str());
        } else {
            list.Ref(std::string(v).c_str());
        }
    }
}

// Hands the document's style sheets to `rules` in document order: <style> elements and
// <link rel=stylesheet>, but alternate ones and those of another title than the first.
void AddStyleSheets(const PictureTree& tree, const std::string& base, StyleRules& rules) {
    std::optional<std::string> preferred;
    for (size_t i = 0; i < tree.nodes.size(); ++i) {
        const GumboElement& e = *tree.nodes[i];
        const std::string_view name = tree.elements[i].name;
        const auto attribute = [&e](std::string_view n) { return Attribute(e, n, GUMBO_ATTR_NAMESPACE_NONE); };
        const bool style = name == "style" && (IsHtml(e) || e.tag_namespace == GUMBO_NAMESPACE_SVG);
        const bool link = name == "link" && IsHtml(e);
        if (!style && !link) continue;
        const char* type = attribute("type");
        if (type && !TrimView(type).empty() && LowerAscii(TrimView(type)) != "text/css") continue;
        if (link) {
            const char* rel = attribute("rel");
            std::vector<std::string> rels;
            for (size_t k = 0, n = rel ? std::strlen(rel) : 0; k < n;) {
                const size_t end = std::min(std::string_view(rel).find_first_of(" \t\n\f\r", k), n);
                if (end > k) rels.push_back(LowerAscii(std::string_view(rel).substr(k, end - k)));
                k = end + 1;
            }
            const auto has = [&rels](const char* t) { return std::find(rels.begin(), rels.end(), t) != rels.end(); };
            if (!has("stylesheet") || has("alternate") || attribute("disabled")) continue;
        }
        if (const char* title = attribute("title"); title && *title) {
            if (!preferred) preferred = title;
            else if (*preferred != title) continue;
        }
        const char* media = attribute("media");
        if (style) {
            std::string text;
            for (unsigned k = 0; k < e.children.length; ++k) {
                const auto* child = static_cast<const GumboNode*>(e.children.data[k]);
                if (IsText(child)) text += child->v.text.text;
            }
            rules.AddSheet(text, media ? media : "");
        } else if (const char* href = attribute("href"); href && *href) {
            if (const auto address = ResolveHref(base, href)) rules.AddLinkedSheet(*address, media ? media : "");
        }
    }
}

}  // namespace

struct StaticDocument::Parsed {
    std::string text;
    GumboOutput* output = nullptr;
    ~Parsed() {
        if (output) gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
    const GumboNode* Root() const { return output->document; }
};

StaticDocument::StaticDocument(std::string_view utf8) : parsed_(std::make_unique<Parsed>()) {
    parsed_->text = std::string(utf8);
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;  // the parse errors are not needed
    parsed_->output = gumbo_parse_with_options(&options, parsed_->text.data(), parsed_->text.size());
}

StaticDocument::~StaticDocument() = default;

std::string StaticDocument::TopElementOuterHtml() const {
    const GumboNode* root = parsed_->output->root;
    LateComments late;
    const GumboNode* body = nullptr;
    const GumboVector& top = root->v.element.children;
    for (unsigned i = 0; i < top.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(top.data[i]);
        if (!body && child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_BODY) body = child;
        else if (body && child->type == GUMBO_NODE_COMMENT) late.placed.push_back(PlaceLateComment(child, body));
    }
    const GumboVector& document = parsed_->output->document->v.document.children;
    bool afterRoot = false;
    for (unsigned i = 0; i < document.length && body; ++i) {
        const auto* child = static_cast<const GumboNode*>(document.data[i]);
        if (child == root) afterRoot = true;
        else if (afterRoot && child->type == GUMBO_NODE_COMMENT) late.placed.push_back(PlaceLateComment(child, body));
    }
    std::string out;
    out.reserve(parsed_->text.size() + parsed_->text.size() / 8);
    Serialize(root, false, late, out);
    return out;
}

DocumentFacts StaticDocument::Facts() const {
    DocumentFacts facts;
    EachElement(parsed_->Root(), [&facts](const GumboElement& e) {
        if (RunsScript(e)) facts.scripts = true;
        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            const std::string_view name = a->name;
            if ((name.size() > 2 && name.substr(0, 2) == "on") || IsJavaScriptAddress(a->value)) facts.scripts = true;
        }
        if (!IsHtml(e)) return;
        if (e.tag == GUMBO_TAG_META) {
            const char* equiv = Attribute(e, "http-equiv");
            if (equiv && LowerAscii(TrimView(equiv)) == "refresh") facts.refresh = true;
        }
        if (e.tag == GUMBO_TAG_NOSCRIPT) facts.noscript = true;
        if ((e.tag == GUMBO_TAG_OBJECT || e.tag == GUMBO_TAG_EMBED) && !IsMovie(e)) facts.embeddedPages = true;
        if (e.tag == GUMBO_TAG_IFRAME) {
            const char* loading = Attribute(e, "loading");
            if (loading && LowerAscii(TrimView(loading)) == "lazy") facts.lazyFrames = true;
        }
    });
    return facts;
}

std::string StaticDocument::BaseHref() const {
    std::string href;
    bool found = false;
    EachElement(parsed_->Root(), [&](const GumboElement& e) {
        if (found || !IsHtml(e) || e.tag != GUMBO_TAG_BASE) return;
        if (const char* value = Attribute(e, "href")) {
            href = value;
            found = true;
        }
    });
    return href;
}

std::vector<std::string> StaticDocument::LinkHrefs() const {
    std::vector<std::string> links;
    EachElement(parsed_->Root(), [&links](const GumboElement& e) {
        if (!IsHtml(e) || (e.tag != GUMBO_TAG_A && e.tag != GUMBO_TAG_AREA)) return;
        if (const char* href = Attribute(e, "href")) links.emplace_back(href);
    });
    return links;
}

std::vector<FrameElement> StaticDocument::Frames() const {
    std::vector<FrameElement> frames;
    EachElement(parsed_->Root(), [&frames](const GumboElement& e) {
        if (!IsHtml(e) || (e.tag != GUMBO_TAG_IFRAME && e.tag != GUMBO_TAG_FRAME)) return;
        const char* src = Attribute(e, "src");
        frames.push_back({src ? src : "", e.tag == GUMBO_TAG_IFRAME && Attribute(e, "srcdoc") != nullptr});
    });
    return frames;
}

DocumentPictures StaticDocument::ShownPictures(const std::string& url, const SheetFetch& fetchSheet,
                                               size_t limit) const {
    DocumentPictures out;
    const std::string href = BaseHref();
    const std::string base = href.empty() ? url : ResolveHref(url, href).value_or(url);
    PictureList list(base, limit, out);
    const PictureTree tree = BuildPictureTree(parsed_->Root());
    const bool quirks = parsed_->output->document->v.document.doc_type_quirks_mode == GUMBO_DOCTYPE_QUIRKS;
    StyleRules rules(fetchSheet, base, quirks);
    AddStyleSheets(tree, base, rules);
    rules.Finish();
    if (tree.shadowTrees) rules.Need("it has shadow trees");
    std::string needs;
    const auto addStyle = [&list](const PictureStyle& style) {
        for (const PictureValue& value : style)
            for (const std::string& address : value.urls) list.Add(address);
    };
    std::vector<std::pair<int, PictureStyle>> ancestors;  // the computed values of the element's ancestors
    for (int i = 0; i < static_cast<int>(tree.elements.size()); ++i) {
        AddNamedPictures(tree, i, list, needs);
        while (!ancestors.empty() && ancestors.back().first != tree.elements[i].parent) ancestors.pop_back();
        const PictureStyle* parent = ancestors.empty() ? nullptr : &ancestors.back().second;
        ElementPictureStyle style = rules.Compute(tree.elements, i, parent);
        addStyle(style.own);
        if (style.beforeShown) addStyle(style.before);
        if (style.afterShown) addStyle(style.after);
        ancestors.emplace_back(i, std::move(style.own));
    }
    if (!needs.empty()) rules.Need(needs);
    out.needsBrowser = rules.NeedsBrowser();
    return out;
}

std::string EscapeHtmlText(std::string_view text, bool attribute) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '&') {
            out += "&amp;";
        } else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            out += "&nbsp;";
            ++i;
        } else if (attribute && c == '"') {
            out += "&quot;";
        } else if (!attribute && c == '<') {
            out += "&lt;";
        } else if (!attribute && c == '>') {
            out += "&gt;";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace nuv
