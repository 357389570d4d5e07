#include "web/SheetCache.h"

#include "web/SheetRulesCache.h"

namespace nuv {

SheetCache::SheetCache(std::size_t mostBytes) : mostBytes_(mostBytes), rules_(std::make_unique<SheetRulesCache>()) {}

SheetCache::~SheetCache() = default;

std::optional<SheetCache::Sheet> SheetCache::Find(const std::string& address) const {
    const std::lock_guard lock(mutex_);
    const auto it = sheets_.find(address);
    if (it == sheets_.end()) return std::nullopt;
    return it->second;
}

void SheetCache::Keep(const std::string& address, Sheet sheet) {
    if (sheet.status != 0 && !Lasting(sheet.status)) return;
    const std::lock_guard lock(mutex_);
    const std::size_t size = address.size() + sheet.text.size();
    if (bytes_ + size > mostBytes_) return;
    if (sheets_.try_emplace(address, std::move(sheet)).second) bytes_ += size;
}

}  // namespace nuv
