#include "web/StyleRules.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "web/CssSelectors.h"
#include "web/CssText.h"
#include "web/StaticBrowser.h"

namespace nuv {
using namespace css;

namespace {

constexpr size_t kMostSheets = 64;
constexpr int kDeepestImport = 4;
constexpr size_t kLongestSheet = size_t{4} << 20;
const char* const kByRules = "its style sheets give pictures by rules read only by a browser";
const char* const kUnreadSheet = "a style sheet of it cannot be read without a browser";

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
