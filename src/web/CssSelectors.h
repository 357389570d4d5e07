#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "web/StyleRules.h"

// The selectors of style rules as the cascade of pictures reads them: their parsing, their
// weight in the cascade, and their matching against the elements of a document. Plain C++.
namespace nuv::css {

constexpr uint64_t kMostMatchSteps = 10'000'000;  // of one document's elements: past them it needs a browser

struct Complex;
struct Simple {
    enum Kind : uint8_t { kType, kId, kClass, kAttribute, kNth, kNot, kIs, kRoot, kLink, kEmpty, kChecked,
                          kDisabled, kEnabled, kNever, kMaybe };
    // Out of line: `list` holds a type that is complete only below.
    Simple(Kind k);  // NOLINT: a kind stands for its selector
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

// Reads a selector list, as a browser does as far as matching goes.
class SelectorParser {
public:
    // `depth`: of the selector arguments `text` is read within.
    SelectorParser(std::string_view text, int depth) : t_(text), depth_(depth) {}
    Holds validity = Holds::kYes;  // kMaybe: a browser may drop the rule
    bool shadow = false;           // it names parts of shadow trees

    // The selector list of the text; false when a browser drops it.
    bool List(std::vector<Complex>& out, bool inner);

private:
    void Skip();
    bool ComplexSelector(Complex& c, bool inner);
    bool CompoundSelector(Compound& compound, Complex& c, bool inner);
    bool Attribute(Compound& compound);
    bool PseudoSelector(Compound& compound, Complex& c, bool inner);

    std::string_view t_;
    size_t i_ = 0;
    int depth_;
};

// Matches selectors against `elements`, counting its steps in `steps`: past kMostMatchSteps
// nothing matches.
class Matcher {
public:
    Matcher(const std::vector<StyleElement>& elements, bool quirks, uint64_t& steps)
        : els_(elements), quirks_(quirks), steps_(steps) {}

    // Whether compounds [0, k] of `c` match, compounds[k] at element e.
    Holds Match(const Complex& c, size_t k, int e);
    // Whether a selector of `list` that styles no pseudo-element matches element e.
    Holds MatchList(const std::vector<Complex>& list, int e);

private:
    Holds MatchSimple(const Simple& s, int e);
    static bool MatchAttribute(const Simple& s, const StyleElement& el);

    const std::vector<StyleElement>& els_;
    bool quirks_;
    uint64_t& steps_;
};

}  // namespace nuv::css
