#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text of the attributes that name pictures: srcset values as the HTML parser splits
// them, and the values lazy loaders keep as the reader of a page's pictures takes them.
// Plain C++.
namespace nuv::detail {

// `s` without the white space (as scripts' trim() knows it) at its ends.
std::string_view JsTrim(std::string_view s);
// The words of `s` between white space as scripts' \s knows it.
std::vector<std::string_view> JsWords(std::string_view s);

// A candidate of a srcset value: its address as the reader splits it, and its descriptors.
struct SrcsetCandidate {
    std::string_view url, descriptors;
};
// The candidates of a srcset value, as the HTML parser splits them (an address may hold commas).
std::vector<SrcsetCandidate> SplitSrcset(std::string_view s);
// The density a candidate's descriptors give it (1 without one); nothing for a candidate a
// browser drops; -1 for one of a width, whose density needs the layout.
std::optional<double> CandidateDensity(std::string_view descriptors);

// Whether the reader's test of a lazy value for a srcset holds: /\s\d+(\.\d+)?[wx]\s*(,|$)/
bool LooksLikeSrcset(std::string_view v);
// The references of url()s in `v` as the reader's pattern finds them:
// url\(\s*(?:"((?:[^"\\]|\\.)*)"|'((?:[^'\\]|\\.)*)'|([^)\s]*))\s*\), escapes then dropped.
std::vector<std::string> LooseCssUrls(std::string_view v);

}  // namespace nuv::detail
