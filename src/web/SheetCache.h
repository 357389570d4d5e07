#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace nuv {

class SheetRulesCache;

// The style sheets a run has read, by address: a sheet that many pages of a site share is
// fetched once; and the rules read from them, which pages with the same sheets share.
// Bounded in bytes; safe across threads. Plain C++.
class SheetCache {
public:
    // A sheet's text, or the status of failure its server answered with (then no text)
    // and the words the fetch failed with.
    struct Sheet {
        std::string text;
        int status = 0;
        std::string failure = {};
    };
    // Whether an answer of `status` is the sheet's for good: 4xx but for 408 and 429, which
    // may pass when asked again.
    static bool Lasting(int status) { return status >= 400 && status < 500 && status != 408 && status != 429; }

    explicit SheetCache(std::size_t mostBytes = std::size_t{16} << 20);
    ~SheetCache();
    SheetCache(const SheetCache&) = delete;
    SheetCache& operator=(const SheetCache&) = delete;
    std::optional<Sheet> Find(const std::string& address) const;
    // Keeps `sheet` for `address` while the bound allows (a failure only when Lasting); the
    // first one kept stays.
    void Keep(const std::string& address, Sheet sheet);
    // The rules read from the sheets, for the documents of the run.
    SheetRulesCache& Rules() { return *rules_; }

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Sheet> sheets_;
    std::size_t bytes_ = 0;
    std::size_t mostBytes_;
    std::unique_ptr<SheetRulesCache> rules_;
};

}  // namespace nuv
