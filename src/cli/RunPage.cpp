#include "cli/RunPage.h"

#include <filesystem>
#include <system_error>

#include <QDir>
#include <QUrl>

#include "cli/logic/PageBatch.h"
#include "platform/QtText.h"

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

bool AimPage(RunPage& page, const std::string& given, bool listed, bool allowLocalFiles, RobotsCache* robots) {
    const RunAddress open =
        OpenRunAddress(given, listed, allowLocalFiles, ToUtf8(QDir::currentPath()), [](const std::string& p) {
            std::error_code ec;
            return std::filesystem::is_regular_file(std::filesystem::path(p), ec);
        });
    const CliAddress& where = open.where;
    const QUrl url = where.localFile ? QUrl::fromLocalFile(FromUtf8(where.address)) : QUrl(FromUtf8(where.address));
    const bool valid = open.refusal.empty() && url.isValid() && !url.isEmpty();
    CliReport& report = page.report;
    report.requested = valid ? ToUtf8(url.toString(QUrl::FullyEncoded)) : open.refusal.empty() ? where.address : given;
    report.robotsDisallowed = valid && robots && !robots->Allows(report.requested);
    if (valid && !report.robotsDisallowed) return true;
    report.loadError = report.robotsDisallowed ? std::string(kRobotsRefusal)
                       : open.refusal.empty()  ? "not a valid address"
                                               : open.refusal;
    return false;
}

}  // namespace nuv
