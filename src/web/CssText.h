#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/StyleRules.h"

// The text of style sheets as the cascade of pictures reads it: strings, escapes and url
// tokens, the declarations of the properties that name pictures, and media queries
// (MediaApplies, declared in StyleRules.h). Plain C++.
namespace nuv::css {

constexpr int kDeepestNesting = 32;  // of blocks, layers and selector arguments

// Conjunction, disjunction and negation of what may hold; If: a sure answer.
inline Holds And(Holds a, Holds b) {
    if (a == Holds::kNo || b == Holds::kNo) return Holds::kNo;
    return a == Holds::kMaybe || b == Holds::kMaybe ? Holds::kMaybe : Holds::kYes;
}
inline Holds Or(Holds a, Holds b) {
    if (a == Holds::kYes || b == Holds::kYes) return Holds::kYes;
    return a == Holds::kMaybe || b == Holds::kMaybe ? Holds::kMaybe : Holds::kNo;
}
inline Holds Not(Holds a) { return a == Holds::kMaybe ? a : a == Holds::kYes ? Holds::kNo : Holds::kYes; }
inline Holds If(bool b) { return b ? Holds::kYes : Holds::kNo; }

// CSS white space, and the characters of names (every non-ASCII byte among them).
inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
inline bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c & 0x80;
}

// `s` without the white space at its ends.
std::string_view Trimmed(std::string_view s);
// Whether `text` is `lower` with ASCII letters compared without case.
bool Is(std::string_view text, std::string_view lower);
// Whether `text` may name a picture: a url(), a var() or an image-set().
bool NamesPicture(std::string_view text);

// The index after the string whose quote is at t[i].
size_t SkipString(std::string_view t, size_t i);
// The index of the first of `stops` at the outermost level of `t` from i (outside strings,
// url tokens and brackets); t.size() when there is none.
size_t FindTop(std::string_view t, size_t i, std::string_view stops);
// `t` with each comment replaced by a space.
std::string StripComments(std::string_view t);

// The name (escapes resolved) at t[i], i moved past it.
std::string ReadName(std::string_view t, size_t& i);
// The same, lower case.
std::string LowerName(std::string_view t, size_t& i);
// Whether an identifier starts at t[i].
bool IdentStartsAt(std::string_view t, size_t i);
// The value of the quoted string `quoted`, escapes resolved.
std::string StringValue(std::string_view quoted);

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
size_t ScanUrl(std::string_view t, size_t open, ValueScan& v);

// The addresses of a sheet at `sheet` in a document at `document`: a reference to a part
// of the document ("#mask") stays the document's.
struct Bases {
    const std::string& sheet;
    const std::string& document;
    bool* documentUsed = nullptr;  // set when an address is resolved against the document's
    // The absolute address of `url`; nullopt for none.
    std::optional<std::string> Resolve(const std::string& url) const;
};

// The settings of the picture properties in a declaration block; `nested` tells of nested
// rules that name pictures.
std::vector<Setting> ParseDeclarations(std::string_view block, const Bases& bases, bool& nested);

}  // namespace nuv::css
