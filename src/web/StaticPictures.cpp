#include "web/StaticDocument.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <gumbo.h>

#include "common/Text.h"
#include "web/PictureText.h"
#include "web/StaticBrowser.h"
#include "web/StaticDocumentTree.h"
#include "web/StyleRules.h"

// The pictures a document shows (StaticDocument::ShownPictures): those its elements name,
// those lazy loaders keep in attributes, and those of the computed styles of its elements.
// Plain C++.
namespace nuv {
using namespace detail;

namespace {

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

// Whether a browser decodes pictures of the MIME type `type` ("" counts).
Holds PictureTypeSupported(std::string_view type) {
    static constexpr std::array<std::string_view, 15> kTypes = {
        "", "image/png", "image/jpeg", "image/jpg", "image/pjpeg", "image/gif", "image/webp", "image/avif",
        "image/svg+xml", "image/bmp", "image/x-ms-bmp", "image/x-icon", "image/vnd.microsoft.icon", "image/apng",
        "image/x-xbitmap"};
    return OneOf(kTypes, LowerAscii(TrimView(type.substr(0, type.find(';'))))) ? Holds::kYes : Holds::kNo;
}

// What gathers a document's pictures: each address once, the first `limit`, `cut` counting
// the others; references made absolute against the document's base.
class PictureList {
public:
    PictureList(std::string base, size_t limit, DocumentPictures& out)
        : base_(std::move(base)), limit_(limit), out_(out) {}

    void Add(const std::string& address, const std::string& type = {}) {
        if (address.empty() || address.size() > kLongestPictureAddress) return;
        const auto schemeIs = [&address](std::string_view scheme) {
            return address.size() >= scheme.size() &&
                   std::equal(scheme.begin(), scheme.end(), address.begin(),
                              [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b); });
        };
        if (!schemeIs("http:") && !schemeIs("https:")) return;
        if (!at_.insert(address).second) return;
        if (out_.pictures.size() >= limit_) ++out_.cut;
        else out_.pictures.push_back({address, 0, 0, type});
    }
    bool Has(const std::string& address) const { return at_.count(address) > 0; }
    std::string Resolve(std::string_view value) {
        const std::string_view v = JsTrim(value);
        if (v.empty()) return {};
        return ResolveExactly(v);
    }
    void Ref(const char* value, const std::string& type = {}) {
        if (value) Add(Resolve(value), type);
    }
    void Refs(const char* srcset, const std::string& type = {}) {
        if (!srcset) return;
        for (const SrcsetCandidate& c : SplitSrcset(srcset)) Add(Resolve(c.url), type);
    }
    const std::string& Base() const { return base_; }
    // ResolveHref of `value` against the base, untrimmed, once for each value.
    const std::string& ResolveExactly(std::string_view value) {
        const auto [it, added] = exactly_.try_emplace(std::string(value));
        if (added) it->second = ResolveHref(base_, it->first).value_or("");
        return it->second;
    }

private:
    std::string base_;
    size_t limit_;
    DocumentPictures& out_;
    std::unordered_set<std::string> at_;
    std::unordered_map<std::string, std::string> exactly_;
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
        std::unordered_set<std::string_view> seen;
        for (const auto& c : candidates)
            if (seen.insert(c.second).second) choices.push_back(c.second);
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

// What the <source>s of a <picture> come to for an <img> after them, at a device pixel ratio
// of 1: whether one may apply, and whether one surely does (the <img> then shows it and not
// its own sources). Tallied as the document order reaches each <source>, so an <img> does
// not go back over the siblings before it.
struct PictureSources {
    bool any = false, chosen = false;
};
using SourceTallies = std::unordered_map<int, PictureSources>;  // by the <picture>'s index

bool InPicture(const PictureTree& tree, int index) {
    const int parent = tree.elements[index].parent;
    return parent >= 0 && tree.elements[parent].html && tree.elements[parent].name == "picture";
}

void TallySource(const PictureTree& tree, int index, PictureSources& tally) {
    if (tally.chosen) return;  // a browser stops at the first that applies
    const GumboElement& source = *tree.nodes[index];
    const char* srcset = Attribute(source, "srcset", GUMBO_ATTR_NAMESPACE_NONE);
    if (!srcset) return;
    const auto candidates = SplitSrcset(srcset);
    if (std::none_of(candidates.begin(), candidates.end(),
                     [](const SrcsetCandidate& c) { return CandidateDensity(c.descriptors).has_value(); }))
        return;
    const char* media = Attribute(source, "media", GUMBO_ATTR_NAMESPACE_NONE);
    const char* type = Attribute(source, "type", GUMBO_ATTR_NAMESPACE_NONE);
    const Holds byMedia = media ? MediaApplies(media) : Holds::kYes;
    const Holds holds = type && PictureTypeSupported(type) == Holds::kNo ? Holds::kNo : byMedia;
    if (holds == Holds::kNo) return;
    tally.any = true;
    tally.chosen = holds == Holds::kYes;
}

// The picture an <img> shows (currentSrc), which the reader lists before its src and srcset;
// it needs a browser when the layout decides it and the choice changes the list's order.
void AddCurrentSource(const PictureTree& tree, int index, const SourceTallies& sources, PictureList& list,
                      std::string& needs) {
    const GumboElement& img = *tree.nodes[index];
    // nullopt: a <source>'s, listed with it already; one stands for them all, as each adds the same
    std::vector<std::optional<std::string_view>> outcomes;
    PictureSources before;
    if (InPicture(tree, index))
        if (const auto it = sources.find(tree.elements[index].parent); it != sources.end()) before = it->second;
    if (before.any) outcomes.emplace_back();
    const bool sourceChosen = before.chosen;
    if (!sourceChosen)
        for (const std::string_view choice : OwnChoices(img)) outcomes.emplace_back(choice);
    // What an outcome adds to the list: its picture, when the list lacks it, then what the
    // <img>'s src and srcset add, each once. Two outcomes add the same exactly when they add
    // the same first picture, so only that is compared; `own` is the first the src and srcset add.
    std::string own;
    const auto mayAdd = [&list](const std::string& a) { return !a.empty() && !list.Has(a); };
    if (const char* src = Attribute(img, "src", GUMBO_ATTR_NAMESPACE_NONE)) own = list.Resolve(src);
    if (const char* srcset = Attribute(img, "srcset", GUMBO_ATTR_NAMESPACE_NONE); srcset && !mayAdd(own))
        for (const SrcsetCandidate& c : SplitSrcset(srcset))
            if (mayAdd(own = list.Resolve(c.url))) break;
    if (!mayAdd(own)) own.clear();
    std::optional<std::string> first;
    for (size_t k = 0; k < outcomes.size(); ++k) {
        std::string lead = own;
        if (outcomes[k])
            if (const std::string& a = list.ResolveExactly(*outcomes[k]); mayAdd(a)) lead = a;
        if (!first) {
            first = std::move(lead);
        } else if (lead != *first) {
            if (needs.empty()) needs = "the order of its pictures depends on the window's size";
            return;
        }
    }
    if (!outcomes.empty() && outcomes[0])
        list.Add(list.ResolveExactly(*outcomes[0]));
}

// The pictures an element names itself, as the reader's element() takes them.
void AddNamedPictures(const PictureTree& tree, int index, SourceTallies& sources, PictureList& list,
                      std::string& needs) {
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
        AddCurrentSource(tree, index, sources, list, needs);
        list.Ref(attribute("src"));
        list.Refs(attribute("srcset"));
    } else if (name == "source") {
        const int parent = tree.elements[index].parent;
        const char* type = attribute("type");
        if (parent >= 0 && tree.elements[parent].name == "picture") list.Refs(attribute("srcset"), type ? type : "");
        if (tree.elements[index].html && InPicture(tree, index)) TallySource(tree, index, sources[parent]);
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
        // Every lazy attribute begins with "data-", which most attributes do not.
        if (!StartsWith(attributeName, "data-") || !OneOf(kLazyAttributes, attributeName) ||
            (name == "video" && attributeName != "data-poster"))
            continue;
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

DocumentPictures StaticDocument::ShownPictures(const std::string& url, const SheetFetch& fetchSheet, size_t limit,
                                               SheetRulesCache* rulesCache) const {
    DocumentPictures out;
    const std::string href = BaseHref();
    const std::string base = href.empty() ? url : ResolveHref(url, href).value_or(url);
    PictureList list(base, limit, out);
    const PictureTree tree = BuildPictureTree(parsed_->Root());
    const bool quirks = parsed_->output->document->v.document.doc_type_quirks_mode == GUMBO_DOCTYPE_QUIRKS;
    StyleRules rules(fetchSheet, base, quirks, rulesCache);
    AddStyleSheets(tree, base, rules);
    rules.Finish();
    if (tree.shadowTrees) rules.Need("it has shadow trees");
    std::string needs;
    const auto addStyle = [&list](const PictureStyle& style) {
        for (const PictureValue& value : style)
            for (const std::string& address : value.urls) list.Add(address);
    };
    std::vector<std::pair<int, PictureStyle>> ancestors;  // the computed values of the element's ancestors
    SourceTallies sources;
    for (int i = 0; i < static_cast<int>(tree.elements.size()); ++i) {
        AddNamedPictures(tree, i, sources, list, needs);
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

}  // namespace nuv
