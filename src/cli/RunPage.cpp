#include "cli/RunPage.h"

#include <filesystem>
#include <system_error>

namespace nuv {

RunPage::~RunPage() {
    load.reset();
    view.reset();
    if (!staging.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(staging, ec);
    }
}

void PageFinds::Found(ListKind list, const std::string& address) {
    if (!running || !feed_ || list != fed_) return;
    found_.push_back(address);
    downloads_(running->PageAddress()).Feed(found_);
}

void PageFinds::FetchingSheet(const std::string& address, const std::string& file) {
    if (!running || !hold_ || file.compare(0, page_.staging.size(), page_.staging) != 0) return;
    ListDownloads& downloads = downloads_(running->PageAddress());
    const std::string name = file.substr(page_.staging.size());
    auto [it, added] = page_.sheetFiles.try_emplace(name);
    if (added) it->second = files_.claims.Claim(page_.folder + name, page_.index, address);
    downloads.HoldFile(it->second);
}

}  // namespace nuv
