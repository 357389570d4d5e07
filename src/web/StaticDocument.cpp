#include "web/StaticDocument.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <string_view>
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

}  // namespace

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
