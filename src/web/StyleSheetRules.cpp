#include "web/StyleSheetRules.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "web/StaticBrowser.h"

namespace nuv::css {

namespace {

constexpr size_t kMostSheets = 64;
constexpr int kDeepestImport = 4;
constexpr size_t kLongestSheet = size_t{4} << 20;
const char* const kUnreadSheet = "a style sheet of it cannot be read without a browser";

// Reads a document's sheets into rules.
struct Preparer {
    SheetFetches& fetches;
    const std::string& base;
    bool quirks;
    SheetRules out;
    bool usedBase = false;
    struct Layer {
        std::vector<int> children;  // in the order they were named
        std::unordered_map<std::string, int> named;
        int depth = 0;
    };
    std::vector<Layer> layers{1};  // [0]: the unlayered rules, which win over every layer
    int64_t order = 0;
    struct Context {
        std::string base;
        int layer = 0;
        Holds holds = Holds::kYes;
        int imports = 0;
        std::vector<std::string> chain = {};  // the sheets importing this one
    };

    void Need(const std::string& why) {
        if (out.needs.empty()) out.needs = why;
    }
    bool Count() {
        if (out.sheets < kMostSheets) return ++out.sheets, true;
        Need("it has more style sheets than are read without a browser");
        return false;
    }
    void Load(const std::string& address, Context c) {
        if (!Count()) return;
        const std::optional<std::string> text = fetches.Next(address);
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
        usedBase = usedBase || c.base == base;  // a <style>'s imports are the document's references
        const std::optional<std::string> address = ResolveHref(c.base, scan.urls[0]);
        const bool cycle = address && std::find(c.chain.begin(), c.chain.end(), *address) != c.chain.end();
        if (inner.holds == Holds::kNo || !address || cycle) return;
        if (++inner.imports > kDeepestImport) return Need("its style sheets import others too deeply");
        Load(*address, inner);
    }
    void StyleRule(std::string_view prelude, std::string_view body, const Context& c) {
        bool nested = false;
        std::vector<Setting> settings = ParseDeclarations(body, Bases{c.base, base, &usedBase}, nested);
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
        out.rules.push_back({std::move(settings), order++, c.layer, c.holds});
        const auto priority = [](const Simple& s) {
            return s.kind == Simple::kId ? 0 : s.kind == Simple::kClass ? 1 : s.kind == Simple::kType ? 2 : 3;
        };
        for (Complex& complex : list) {
            if (complex.pseudo == kOtherPseudo) continue;  // it styles no element, nor ::before or ::after
            RuleIndex& index = gives ? out.pictures : out.resets;
            const Simple* key = nullptr;
            for (const Simple& s : complex.compounds.back().simples)
                if (priority(s) < 3 && (!key || priority(s) < priority(*key))) key = &s;
            const auto at = static_cast<uint32_t>(out.selectors.size());
            if (!key) index.rest.push_back(at);
            else if (key->kind == Simple::kType) index.types[key->name].push_back(at);
            else (key->kind == Simple::kId ? index.ids : index.classes)[SelectorKey(key->value, quirks)].push_back(at);
            out.selectors.push_back(
                {std::move(complex), static_cast<uint32_t>(out.rules.size() - 1), parser.validity});
        }
    }

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
        for (Rule& r : out.rules) r.layer = rank[r.layer];
    }
};

// Estimates of the memory rules hold, beyond their own size.
size_t BytesOf(const std::vector<Complex>& list);
size_t BytesOf(const Complex& complex) {
    size_t bytes = complex.compounds.capacity() * sizeof(Compound);
    for (const Compound& compound : complex.compounds) {
        bytes += compound.simples.capacity() * sizeof(Simple);
        for (const Simple& s : compound.simples)
            bytes += s.name.capacity() + s.exact.capacity() + s.value.capacity() + BytesOf(s.list);
    }
    return bytes;
}
size_t BytesOf(const std::vector<Complex>& list) {
    size_t bytes = list.capacity() * sizeof(Complex);
    for (const Complex& complex : list) bytes += BytesOf(complex);
    return bytes;
}
size_t BytesOf(const RuleIndex& index) {
    constexpr size_t kBucket = 64;  // a node of the map, its hash and its place in the table
    size_t bytes = index.rest.capacity() * sizeof(uint32_t);
    for (const Buckets* buckets : {&index.ids, &index.classes, &index.types})
        for (const auto& [key, at] : *buckets) bytes += kBucket + key.capacity() + at.capacity() * sizeof(uint32_t);
    return bytes;
}
size_t BytesOf(const SheetRules& r) {
    size_t bytes = sizeof(SheetRules) + r.rules.capacity() * sizeof(Rule) + r.selectors.capacity() * sizeof(Selector) +
                   BytesOf(r.pictures) + BytesOf(r.resets) + r.needs.capacity();
    for (const Rule& rule : r.rules) {
        bytes += rule.settings.capacity() * sizeof(Setting);
        for (const Setting& s : rule.settings)
            for (const std::string& url : s.value.urls) bytes += sizeof(std::string) + url.capacity();
    }
    for (const Selector& s : r.selectors) bytes += BytesOf(s.complex);
    return bytes;
}

}  // namespace

std::string SelectorKey(std::string_view name, bool quirks) {
    return quirks ? LowerAscii(name) : std::string(name);
}

std::optional<std::string> SheetFetches::Fetch(const std::string& address) const {
    try {
        if (fetch_) return fetch_(address);
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

bool SheetFetches::Gives(size_t step, const std::string& address, const std::optional<std::string>& text) {
    if (step > log_.size()) return false;
    if (step == log_.size()) log_.push_back({address, Fetch(address)});
    return log_[step].address == address && log_[step].text == text;
}

std::optional<std::string> SheetFetches::Next(const std::string& address) {
    // A step fetched before is of the same address: what the fetches before it gave decides it.
    if (next_ >= log_.size() || log_[next_].address != address) {
        log_.resize(next_);
        log_.push_back({address, Fetch(address)});
    }
    FetchedSheet& fetched = log_[next_++];
    kept_ += fetched.address.size() + (fetched.text ? fetched.text->size() : 0);
    if (!letGo_ && kept_ > mostKept_) {
        letGo_ = true;
        for (size_t i = 0; i + 1 < next_; ++i) log_[i].text.reset();
    }
    if (letGo_) return std::move(fetched.text);
    return fetched.text;
}

std::optional<std::vector<FetchedSheet>> SheetFetches::Made() && {
    if (letGo_) return std::nullopt;
    log_.resize(next_);
    return std::move(log_);
}

PreparedRules PrepareRules(const std::vector<SheetSource>& sheets, const std::string& base, bool quirks,
                           SheetFetches& fetches) {
    Preparer p{fetches, base, quirks, {}};
    for (const SheetSource& sheet : sheets) {
        const Holds holds = MediaApplies(sheet.media);
        if (!sheet.linked) {
            if (p.Count() && holds != Holds::kNo) p.Sheet(sheet.text, {base, 0, holds});
        } else if (holds != Holds::kNo) {
            p.Load(sheet.text, {sheet.text, 0, holds});
        }
    }
    p.RankLayers();
    p.out.bytes = BytesOf(p.out);
    return {std::make_shared<const SheetRules>(std::move(p.out)), p.usedBase};
}

}  // namespace nuv::css
