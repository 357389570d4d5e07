#include "web/StaticDocument.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <gumbo.h>

#include "common/Text.h"
#include "web/StaticDocumentTree.h"

namespace nuv::detail {

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

}  // namespace nuv::detail

namespace nuv {
using detail::ElementName;
using detail::IsHtml;

namespace {

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

unsigned OffsetOf(const GumboNode* node) {
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) return node->v.element.start_pos.offset;
    return node->v.text.start_pos.offset;
}

// The comments that come after the body's end tag: the parser of the standard puts
// them after the body or after the top element; the engine keeps the body open to the
// end of the page and puts each where the page's content goes on at that point: before
// the node that follows it in the page, or at the end of the innermost element left open.
class LateComments {
public:
    // Comments go into `body` (none without one) or the elements left open at its end.
    explicit LateComments(const GumboNode* body) {
        for (const GumboNode* node = body; node;) {
            const GumboVector& children = node->v.element.children;
            Level level{node, {}};
            level.furthest.reserve(children.length);
            const GumboNode* lastElement = nullptr;
            for (unsigned i = 0; i < children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(children.data[i]);
                level.furthest.push_back(std::max(OffsetOf(child), i > 0 ? level.furthest.back() : 0u));
                if (child->type == GUMBO_NODE_ELEMENT) lastElement = child;
            }
            furthest_.push_back(std::max(level.furthest.empty() ? 0u : level.furthest.back(),
                                         furthest_.empty() ? 0u : furthest_.back()));
            levels_.push_back(std::move(level));
            const bool open = lastElement && lastElement->v.element.original_end_tag.length == 0 &&
                              !IsVoid(lastElement->v.element);
            node = open ? lastElement : nullptr;
        }
    }

    // Places a comment that came after the body's end; comments come in the order of the page.
    void Place(const GumboNode* comment) {
        if (levels_.empty()) return;
        // The comment goes before the first child, on the way down, that starts after it.
        const unsigned offset = OffsetOf(comment);
        const size_t depth = std::upper_bound(furthest_.begin(), furthest_.end(), offset) - furthest_.begin();
        if (depth == levels_.size()) {
            atEnd_[levels_.back().node].push_back(comment);
        } else {
            const Level& level = levels_[depth];
            const size_t i = std::upper_bound(level.furthest.begin(), level.furthest.end(), offset) -
                             level.furthest.begin();
            before_[static_cast<const GumboNode*>(level.node->v.element.children.data[i])].push_back(comment);
        }
        moved_.insert(comment);
    }

    bool Empty() const { return moved_.empty(); }
    bool Moved(const GumboNode* node) const { return moved_.count(node) > 0; }
    // The comments placed before `child` of `parent`, or at the parent's end for a null child.
    const std::vector<const GumboNode*>& At(const GumboNode* parent, const GumboNode* child) const {
        static const std::vector<const GumboNode*> kNone;
        const auto& places = child ? before_ : atEnd_;
        const auto it = places.find(child ? child : parent);
        return it == places.end() ? kNone : it->second;
    }

private:
    // An element a comment may go into, and the furthest offset of its children up to each.
    struct Level {
        const GumboNode* node;
        std::vector<unsigned> furthest;
    };
    std::vector<Level> levels_;       // the body, its last element while that is open, and so on
    std::vector<unsigned> furthest_;  // the furthest offset of a child of the levels up to each
    std::unordered_set<const GumboNode*> moved_;
    std::unordered_map<const GumboNode*, std::vector<const GumboNode*>> before_, atEnd_;
};

// Writes a node that is not an element; the text of a raw-text element as it stands.
void SerializeLeaf(const GumboNode* node, bool rawParent, std::string& out) {
    switch (node->type) {
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
        default: return;
    }
}

// Writes the element `top` and what it holds. The open elements are kept on a stack of
// their own, as a page may nest elements deeper than the call stack goes.
void Serialize(const GumboNode* top, const LateComments& late, std::string& out) {
    struct Open {
        const GumboNode* node;
        std::string name;
        unsigned next = 0;  // the child written next
    };
    std::vector<Open> open;
    const auto write = [&](const GumboNode* node, bool rawParent) {
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) {
            SerializeLeaf(node, rawParent, out);
            return;
        }
        const GumboElement& e = node->v.element;
        std::string name = ElementName(e);
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
        if (!IsVoid(e)) open.push_back({node, std::move(name)});
    };
    const auto writePlaced = [&](const GumboNode* parent, const GumboNode* before) {
        if (late.Empty()) return;
        for (const GumboNode* comment : late.At(parent, before)) SerializeLeaf(comment, false, out);
    };
    write(top, false);
    while (!open.empty()) {
        const GumboNode* parent = open.back().node;
        const GumboVector& children = parent->v.element.children;
        if (open.back().next < children.length) {
            const auto* child = static_cast<const GumboNode*>(children.data[open.back().next++]);
            if (late.Moved(child)) continue;
            writePlaced(parent, child);
            write(child, HoldsRawText(parent->v.element));
            continue;
        }
        writePlaced(parent, nullptr);
        out += "</";
        out += open.back().name;
        out += '>';
        open.pop_back();
    }
}

// Calls `visit` for every element below `node`, in document order, with its depth (1 for
// the top element).
template <typename Visit>
void EachElement(const GumboNode* node, const Visit& visit) {
    // A stack, as elements may nest deeper than calls can.
    std::vector<std::pair<const GumboNode*, unsigned>> due = {{node, 0}};
    while (!due.empty()) {
        const auto [next, depth] = due.back();
        due.pop_back();
        if (next->type != GUMBO_NODE_ELEMENT && next->type != GUMBO_NODE_TEMPLATE &&
            next->type != GUMBO_NODE_DOCUMENT)
            continue;
        const GumboVector& children =
            next->type == GUMBO_NODE_DOCUMENT ? next->v.document.children : next->v.element.children;
        if (next->type != GUMBO_NODE_DOCUMENT) {
            if constexpr (std::is_invocable_v<Visit, const GumboElement&, unsigned>) visit(next->v.element, depth);
            else visit(next->v.element);
        }
        for (unsigned i = children.length; i-- > 0;)
            due.emplace_back(static_cast<const GumboNode*>(children.data[i]), depth + 1);
    }
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

}  // namespace

ParseArena::~ParseArena() {
    for (const Block& block : blocks_) std::free(block.begin);
}

bool ParseArena::Owns(const void* pointer) const {
    const auto* p = static_cast<const char*>(pointer);
    return std::any_of(blocks_.begin(), blocks_.end(),
                       [&](const Block& block) { return p >= block.begin && p < block.end; });
}

// Called from within gumbo, so it throws nothing; like gumbo's own allocator it hands on
// what malloc gives.
void* ParseArena::Allocate(void* self, std::size_t size) {
    auto& arena = *static_cast<ParseArena*>(self);
    constexpr std::size_t kAlign = alignof(std::max_align_t);
    size = (std::max<std::size_t>(size, 1) + kAlign - 1) & ~(kAlign - 1);
    if (static_cast<std::size_t>(arena.end_ - arena.next_) < size) {
        // Blocks double from 64 KiB, so that a page's parse takes few of them.
        const std::size_t block = std::max(size, (std::size_t{64} << 10) << arena.blocks_.size());
        char* begin = arena.bytes_ + block > kMostArenaBytes || arena.blocks_.size() == arena.blocks_.capacity()
                          ? nullptr
                          : static_cast<char*>(std::malloc(block));
        if (begin == nullptr) {
            arena.spilled_ = true;
            return std::malloc(size);
        }
        arena.blocks_.push_back({begin, begin + block});
        arena.bytes_ += block;
        arena.next_ = begin;
        arena.end_ = begin + block;
    }
    void* pointer = arena.next_;
    arena.next_ += size;
    return pointer;
}

void ParseArena::Deallocate(void* self, void* pointer) {
    if (pointer != nullptr && !static_cast<ParseArena*>(self)->Owns(pointer)) std::free(pointer);
}

GumboOptions StaticDocument::Parsed::Options() {
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &ParseArena::Allocate;
    options.deallocator = &ParseArena::Deallocate;
    options.userdata = &arena;
    return options;
}

StaticDocument::StaticDocument(std::string_view utf8) : parsed_(std::make_unique<Parsed>()) {
    parsed_->text = std::string(utf8);
    GumboOptions options = parsed_->Options();
    options.max_errors = 0;  // the parse errors are not needed
    parsed_->output = gumbo_parse_with_options(&options, parsed_->text.data(), parsed_->text.size());
}

StaticDocument::~StaticDocument() = default;

// gumbo frees a tree by recursion, which elements nested deeply enough take past the end of
// the stack. The elements at every kFreedDepth-th level are first moved up to the document,
// so that no recursion goes deeper than that.
StaticDocument::Parsed::~Parsed() {
    // A tree wholly in the arena goes with it.
    if (!output || !arena.Spilled()) return;
    constexpr unsigned kFreedDepth = 1024;
    std::vector<GumboNode*> lifted;
    std::vector<std::pair<GumboNode*, unsigned>> due = {{output->document, 0}};  // with their depths
    while (!due.empty()) {
        const auto [node, depth] = due.back();
        due.pop_back();
        GumboVector& children =
            node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
        // From the end: the last child, already seen, takes the place of one lifted.
        for (unsigned i = children.length; i-- > 0;) {
            auto* child = static_cast<GumboNode*>(children.data[i]);
            if (child->type != GUMBO_NODE_ELEMENT && child->type != GUMBO_NODE_TEMPLATE) continue;
            due.emplace_back(child, depth + 1);
            if ((depth + 1) % kFreedDepth != 0) continue;
            children.data[i] = children.data[--children.length];
            lifted.push_back(child);
        }
    }
    if (!lifted.empty()) {
        const GumboOptions options = Options();
        GumboVector& top = output->document->v.document.children;
        const size_t length = top.length + lifted.size();
        auto** data = static_cast<void**>(options.allocator(options.userdata, length * sizeof(void*)));
        std::copy(top.data, top.data + top.length, data);
        std::copy(lifted.begin(), lifted.end(), data + top.length);
        options.deallocator(options.userdata, top.data);
        top.data = data;
        top.length = top.capacity = static_cast<unsigned>(length);
    }
    const GumboOptions options = Options();
    gumbo_destroy_output(&options, output);
}

std::string StaticDocument::TopElementOuterHtml() const {
    // The document never changes: it is serialised once, however often it is read.
    std::call_once(parsed_->serialisedOnce, [this] { parsed_->serialised = Serialised(); });
    return parsed_->serialised;
}

std::string StaticDocument::Serialised() const {
    const GumboNode* root = parsed_->output->root;
    const GumboVector& top = root->v.element.children;
    unsigned afterBody = 0;
    const GumboNode* body = nullptr;
    while (afterBody < top.length && !body) {
        const auto* child = static_cast<const GumboNode*>(top.data[afterBody++]);
        if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_BODY) body = child;
    }
    LateComments late(body);
    for (unsigned i = afterBody; i < top.length && body; ++i) {
        const auto* child = static_cast<const GumboNode*>(top.data[i]);
        if (child->type == GUMBO_NODE_COMMENT) late.Place(child);
    }
    const GumboVector& document = parsed_->output->document->v.document.children;
    bool afterRoot = false;
    for (unsigned i = 0; i < document.length && body; ++i) {
        const auto* child = static_cast<const GumboNode*>(document.data[i]);
        if (child == root) afterRoot = true;
        else if (afterRoot && child->type == GUMBO_NODE_COMMENT) late.Place(child);
    }
    std::string out;
    out.reserve(parsed_->text.size() + parsed_->text.size() / 8);
    Serialize(root, late, out);
    return out;
}

bool NestsBeyond(std::string_view html, unsigned levels) {
    // The elements that open no level: void, closed by their next sibling, or implied.
    static const std::unordered_set<std::string_view> kNoLevel = {
        "area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "image", "img", "input",
        "keygen", "link", "meta", "param", "source", "track", "wbr", "p", "li", "dt", "dd", "option", "optgroup",
        "tr", "td", "th", "thead", "tbody", "tfoot", "colgroup", "caption", "rb", "rt", "rp", "rtc", "html",
        "head", "body"};
    // The elements whose text holds no tags.
    static const std::unordered_set<std::string_view> kRawText = {"script", "style", "textarea", "title", "xmp",
                                                                   "iframe", "noembed", "noframes"};
    const std::string lower = LowerAscii(html);
    const std::string_view t = lower;
    unsigned depth = 0;
    for (size_t i = t.find('<'); i != std::string_view::npos && i + 1 < t.size(); i = t.find('<', i + 1)) {
        if (t.compare(i, 4, "<!--") == 0) {
            i = t.find("-->", i + 4);
            if (i == std::string_view::npos) break;
            continue;
        }
        const bool closing = t[i + 1] == '/';
        const size_t start = i + (closing ? 2 : 1);
        size_t end = start;
        while (end < t.size() && ((t[end] >= 'a' && t[end] <= 'z') || (t[end] >= '0' && t[end] <= '9'))) ++end;
        if (end == start || t[start] < 'a') continue;
        const std::string_view name = t.substr(start, end - start);
        if (closing) {
            if (depth > 0 && !kNoLevel.contains(name)) --depth;
            continue;
        }
        if (name == "plaintext") break;
        const size_t close = t.find('>', end);
        if (close == std::string_view::npos) break;
        if (kRawText.contains(name)) {
            i = t.find("</" + std::string(name), close);
            if (i == std::string_view::npos) break;
            continue;
        }
        if (kNoLevel.contains(name) || t[close - 1] == '/') continue;
        if (++depth > levels) return true;
    }
    return false;
}

DocumentFacts StaticDocument::Facts() const {
    DocumentFacts facts;
    EachElement(parsed_->Root(), [&facts](const GumboElement& e, unsigned depth) {
        if (depth > kDeepestStaticNesting) facts.deepNesting = true;
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

std::string EscapeHtmlText(std::string_view text, bool attribute) {
    // The bytes that may begin an escape; the runs between them are copied whole.
    static constexpr auto kMarks = [](bool attribute) {
        std::array<bool, 256> marks{};
        marks['&'] = marks[0xC2] = true;
        marks['"'] = attribute;
        marks['<'] = marks['>'] = !attribute;
        return marks;
    };
    static constexpr std::array<bool, 256> kTextMarks = kMarks(false), kAttributeMarks = kMarks(true);
    const std::array<bool, 256>& marks = attribute ? kAttributeMarks : kTextMarks;
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    std::size_t run = 0;  // where the bytes not yet copied begin
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!marks[static_cast<unsigned char>(text[i])]) continue;
        std::string_view escape;
        switch (text[i]) {
            case '&': escape = "&amp;"; break;
            case '"': escape = "&quot;"; break;
            case '<': escape = "&lt;"; break;
            case '>': escape = "&gt;"; break;
            default:  // a no-break space, U+00A0
                if (i + 1 < text.size() && text[i + 1] == '\xA0') escape = "&nbsp;";
        }
        if (escape.empty()) continue;
        out.append(text.data() + run, i - run);
        out += escape;
        if (escape == "&nbsp;") ++i;
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
    return out;
}

}  // namespace nuv
