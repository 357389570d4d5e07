#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The rules read from the style sheets of a run's documents, kept so that a document whose
// sheets come to the same rules as an earlier one's takes them instead of reading the
// sheets again. Bounded in entries and in an estimate of the bytes they hold; safe across
// threads. Plain C++.
namespace nuv {

namespace css {
struct SheetRules;
struct SheetSource;
struct FetchedSheet;
class SheetFetches;
}  // namespace css

class SheetRulesCache {
public:
    explicit SheetRulesCache(std::size_t mostEntries = 128, std::size_t mostBytes = std::size_t{32} << 20);
    ~SheetRulesCache();
    SheetRulesCache(const SheetRulesCache&) = delete;
    SheetRulesCache& operator=(const SheetRulesCache&) = delete;

    // What identifies a document's sheets as handed over, with its quirks mode.
    static std::string KeyOf(const std::vector<css::SheetSource>& sheets, bool quirks);
    // Kept rules for the sheets of `key` in a document at `base`: those whose fetches, made
    // again through `fetches` in the same order, give the same texts; null for none.
    std::shared_ptr<const css::SheetRules> Find(const std::string& key, const std::string& base,
                                                css::SheetFetches& fetches);
    // Keeps `rules`, read from the sheets of `key` with the fetches `fetched`, for documents
    // at `base` only when `usedBase`; an entry larger than the bound is not kept.
    void Offer(std::string key, const std::string& base, bool usedBase, std::vector<css::FetchedSheet> fetched,
               std::shared_ptr<const css::SheetRules> rules);

    // How many times kept rules were taken.
    std::size_t Hits() const;
    // The most bytes of sheet texts the rules of one entry may have been read from.
    std::size_t MostSheetBytes() const { return mostBytes_ / 2; }

private:
    struct Entry;
    using Entries = std::list<std::shared_ptr<const Entry>>;  // the most recently used first

    mutable std::mutex mutex_;
    Entries entries_;
    std::size_t bytes_ = 0;
    std::size_t hits_ = 0;
    std::size_t mostEntries_, mostBytes_;
};

}  // namespace nuv
