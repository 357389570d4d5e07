#include "web/SheetRulesCache.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "web/StyleSheetRules.h"

namespace nuv {

struct SheetRulesCache::Entry {
    std::string key;
    std::size_t hash;
    std::optional<std::string> base;  // the document's, where reading the sheets resolved against it
    std::vector<css::FetchedSheet> fetched;
    std::shared_ptr<const css::SheetRules> rules;
    std::size_t bytes;

    bool Fits(std::size_t h, const std::string& k, const std::string& b) const {
        return hash == h && key == k && (!base || *base == b);
    }
};

namespace {

void AppendPart(std::string& key, const std::string& part) {
    key += std::to_string(part.size());
    key += ':';
    key += part;
}

bool SameFetches(const std::vector<css::FetchedSheet>& a, const std::vector<css::FetchedSheet>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const css::FetchedSheet& x, const css::FetchedSheet& y) {
                          return x.address == y.address && x.text == y.text;
                      });
}

}  // namespace

SheetRulesCache::SheetRulesCache(std::size_t mostEntries, std::size_t mostBytes)
    : mostEntries_(mostEntries), mostBytes_(mostBytes) {}

SheetRulesCache::~SheetRulesCache() = default;

std::string SheetRulesCache::KeyOf(const std::vector<css::SheetSource>& sheets, bool quirks) {
    std::string key(1, quirks ? 'q' : 's');
    for (const css::SheetSource& sheet : sheets) {
        key += sheet.linked ? 'L' : 'S';
        AppendPart(key, sheet.text);
        AppendPart(key, sheet.media);
    }
    return key;
}

std::shared_ptr<const css::SheetRules> SheetRulesCache::Find(const std::string& key, const std::string& base,
                                                             css::SheetFetches& fetches) {
    const std::size_t hash = std::hash<std::string>{}(key);
    std::vector<std::shared_ptr<const Entry>> candidates;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& e : entries_)
            if (e->Fits(hash, key, base)) candidates.push_back(e);
    }
    // Fetched outside the lock: a fetch may go to the network. Each candidate's fetches are
    // what reading the sheets asks for while the texts are the same, so the steps the
    // candidates share are fetched once.
    for (const auto& candidate : candidates) {
        bool same = true;
        for (std::size_t i = 0; same && i < candidate->fetched.size(); ++i)
            same = fetches.Gives(i, candidate->fetched[i].address, candidate->fetched[i].text);
        if (!same) continue;
        const std::lock_guard lock(mutex_);
        ++hits_;
        const auto at = std::find(entries_.begin(), entries_.end(), candidate);
        if (at != entries_.end()) entries_.splice(entries_.begin(), entries_, at);
        return candidate->rules;
    }
    return nullptr;
}

void SheetRulesCache::Offer(std::string key, const std::string& base, bool usedBase,
                            std::vector<css::FetchedSheet> fetched, std::shared_ptr<const css::SheetRules> rules) {
    // The texts kept for the comparison, and the rules read from them.
    std::size_t bytes = key.size() + (usedBase ? base.size() : 0) + rules->bytes;
    for (const css::FetchedSheet& f : fetched) bytes += f.address.size() + (f.text ? f.text->size() : 0);
    if (bytes > mostBytes_ || mostEntries_ == 0) return;
    const std::size_t hash = std::hash<std::string>{}(key);
    auto entry = std::make_shared<const Entry>(Entry{std::move(key), hash, usedBase ? std::optional(base) : std::nullopt,
                                                     std::move(fetched), std::move(rules), bytes});
    const std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        const Entry& e = **it;
        if (e.hash == entry->hash && e.key == entry->key && e.base == entry->base &&
            SameFetches(e.fetched, entry->fetched)) {
            entries_.splice(entries_.begin(), entries_, it);  // another thread read the same
            return;
        }
    }
    entries_.push_front(std::move(entry));
    bytes_ += bytes;
    while (entries_.size() > mostEntries_ || bytes_ > mostBytes_) {
        bytes_ -= entries_.back()->bytes;
        entries_.pop_back();
    }
}

std::size_t SheetRulesCache::Hits() const {
    const std::lock_guard lock(mutex_);
    return hits_;
}

}  // namespace nuv
