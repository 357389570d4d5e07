#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "web/CssSelectors.h"
#include "web/CssText.h"
#include "web/StaticDocument.h"

// The rules of a document's style sheets read once they are all handed over: parsed,
// indexed by what their selectors require and ranked by layer. What they come to depends
// only on the sheets, the texts their fetches give, the quirks mode and (where a sheet
// resolves addresses against it) the document's base, so documents alike share them.
// Plain C++.
namespace nuv::css {

inline constexpr const char* kByRules = "its style sheets give pictures by rules read only by a browser";

struct Rule {
    std::vector<Setting> settings;
    int64_t order;
    int layer;  // the rank of its layer
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
// The key of an id or a class in the index: without case in quirks mode.
std::string SelectorKey(std::string_view name, bool quirks);

// The rules of a document's sheets, never changed once read.
struct SheetRules {
    std::vector<Rule> rules;
    std::vector<Selector> selectors;
    RuleIndex pictures, resets;  // of rules that may give a picture, and of those that can only take one
    std::string needs;           // the first reason found while reading them that the pictures need a browser
    size_t sheets = 0;           // read, imports included
    size_t bytes = 0;            // an estimate of the memory they hold
};

// A sheet as the document hands it over: a <style>'s text, or the address of a linked one.
struct SheetSource {
    bool linked = false;
    std::string text;  // the text, or the address
    std::string media;
};

// A fetch made while reading the sheets, and what it gave.
struct FetchedSheet {
    std::string address;
    std::optional<std::string> text;
};

// The fetches a document's sheets make, in order. One fetched while checking whether kept
// rules fit the document is handed out again when the sheets are read after all, so each
// step is fetched once whichever way the rules are had. The texts read are kept for the
// record while they come to at most `mostKept` bytes, and let go past that.
class SheetFetches {
public:
    SheetFetches(const SheetFetch& fetch, size_t mostKept) : fetch_(fetch), mostKept_(mostKept) {}

    // Whether fetch number `step` (counted from 0, those before it asked first) is of
    // `address` and gives `text`.
    bool Gives(size_t step, const std::string& address, const std::optional<std::string>& text);
    // The next fetch of reading the sheets.
    std::optional<std::string> Next(const std::string& address);
    // The fetches reading the sheets made, in order; nullopt when their texts were let go.
    std::optional<std::vector<FetchedSheet>> Made() &&;

private:
    std::optional<std::string> Fetch(const std::string& address) const;

    const SheetFetch& fetch_;
    std::vector<FetchedSheet> log_;
    size_t next_ = 0;
    size_t mostKept_, kept_ = 0;
    bool letGo_ = false;
};

struct PreparedRules {
    std::shared_ptr<const SheetRules> rules;
    bool usedBase = false;  // whether anything was resolved against the document's base
};

// Reads `sheets` in order, for a document at `base`, fetching through `fetches`.
PreparedRules PrepareRules(const std::vector<SheetSource>& sheets, const std::string& base, bool quirks,
                           SheetFetches& fetches);

}  // namespace nuv::css
