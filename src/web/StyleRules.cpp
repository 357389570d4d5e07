#include "web/StyleRules.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "web/CssSelectors.h"
#include "web/CssText.h"
#include "web/SheetRulesCache.h"
#include "web/StaticBrowser.h"
#include "web/StyleSheetRules.h"

namespace nuv {
using namespace css;

namespace {

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
    bool quirks = false;
    SheetRulesCache* cache = nullptr;
    std::vector<SheetSource> sheets;             // as handed over, until Finish reads them
    std::shared_ptr<const SheetRules> prepared;  // from Finish on
    std::string needs;
    uint64_t steps = 0;

    void Need(const std::string& why) {
        if (needs.empty()) needs = why;
    }
    std::string Key(std::string_view name) const { return SelectorKey(name, quirks); }
    void Prepare() {
        SheetFetches fetches(fetch, cache ? cache->MostSheetBytes() : 0);
        std::string key;
        if (cache) {
            key = SheetRulesCache::KeyOf(sheets, quirks);
            prepared = cache->Find(key, base, fetches);
        }
        if (!prepared) {
            PreparedRules read = PrepareRules(sheets, base, quirks, fetches);
            prepared = std::move(read.rules);
            std::optional<std::vector<FetchedSheet>> fetched = std::move(fetches).Made();
            if (cache && fetched) cache->Offer(std::move(key), base, read.usedBase, std::move(*fetched), prepared);
        }
        sheets.clear();
        Need(prepared->needs);
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
            const Selector& s = prepared->selectors[at];
            const Rule& rule = prepared->rules[s.rule];
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

StyleRules::StyleRules(SheetFetch fetch, std::string base, bool quirks, SheetRulesCache* cache)
    : impl_(std::make_unique<Impl>()) {
    impl_->fetch = std::move(fetch);
    impl_->base = std::move(base);
    impl_->quirks = quirks;
    impl_->cache = cache;
}

StyleRules::~StyleRules() = default;

void StyleRules::AddSheet(std::string_view text, std::string_view media) {
    impl_->sheets.push_back({false, std::string(text), std::string(media)});
}

void StyleRules::AddLinkedSheet(const std::string& address, std::string_view media) {
    impl_->sheets.push_back({true, address, std::string(media)});
}

void StyleRules::Finish() {
    if (!impl_->prepared) impl_->Prepare();
}

ElementPictureStyle StyleRules::Compute(const std::vector<StyleElement>& elements, int index,
                                        const PictureStyle* parent) {
    Impl& s = *impl_;
    if (!s.prepared) s.Prepare();
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
    s.Gather(s.prepared->pictures, elements, index, matches, any);
    any[kNoPseudo] = any[kNoPseudo] || !attached.empty() || hint || inherits;
    any[kBefore] = any[kBefore] && el.pseudoElements;
    any[kAfter] = any[kAfter] && el.pseudoElements;
    if (any[kNoPseudo] || any[kBefore] || any[kAfter]) s.Gather(s.prepared->resets, elements, index, matches, nullptr);
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
