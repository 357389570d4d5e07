#include "web/CssSelectors.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "web/CssText.h"

namespace nuv::css {

Simple::Simple(Kind k) : kind(k) {}

namespace {

constexpr size_t kMostCompounds = 256;  // of one selector: matching recurses over them
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

}  // namespace

bool SelectorParser::List(std::vector<Complex>& out, bool inner) {
    if (depth_ > kDeepestNesting) return false;
    for (;; ++i_) {
        out.emplace_back();
        if (!ComplexSelector(out.back(), inner)) return false;
        if (i_ >= t_.size()) return true;
        if (t_[i_] != ',') return false;
    }
}

void SelectorParser::Skip() {
    while (i_ < t_.size() && IsSpace(t_[i_])) ++i_;
}

bool SelectorParser::ComplexSelector(Complex& c, bool inner) {
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

bool SelectorParser::CompoundSelector(Compound& compound, Complex& c, bool inner) {
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

bool SelectorParser::Attribute(Compound& compound) {
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

bool SelectorParser::PseudoSelector(Compound& compound, Complex& c, bool inner) {
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

namespace {

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

}  // namespace

Holds Matcher::Match(const Complex& c, size_t k, int e) {
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

Holds Matcher::MatchList(const std::vector<Complex>& list, int e) {
    Holds any = Holds::kNo;
    for (const Complex& c : list)
        if (c.pseudo == kNoPseudo && (any = Or(any, Match(c, c.compounds.size() - 1, e))) == Holds::kYes) break;
    return any;
}

Holds Matcher::MatchSimple(const Simple& s, int e) {
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

bool Matcher::MatchAttribute(const Simple& s, const StyleElement& el) {
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

}  // namespace nuv::css
