#include "cli/logic/CliDownloads.h"

namespace nuv {

void ListDownloads::Feed(const std::vector<std::string>& list) {
    for (std::size_t i = records_.size(); i < list.size(); ++i) {
        DownloadRecord r;
        r.address = list[i];
        const PlannedDownload plan = PlanDownload(type_, folder_, list[i]);
        r.file = plan.file;
        if (plan.file.empty()) {
            r.outcome = DownloadRecord::Outcome::Skipped;
            r.reason = plan.skipReason;
            numbers_.push_back(kSkipped);
            ++skipped_;
        } else {
            numbers_.push_back(batch_.Add(r.address, r.file, page_));
        }
        records_.push_back(std::move(r));
    }
}

std::vector<DownloadRecord> ListDownloads::Records(const std::vector<DownloadBatch::Result>& results) const {
    std::vector<DownloadRecord> records = records_;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (numbers_[i] == kSkipped || numbers_[i] >= results.size()) continue;
        const DownloadBatch::Result& result = results[numbers_[i]];
        DownloadRecord& r = records[i];
        if (result.saved) {
            r.outcome = DownloadRecord::Outcome::Saved;
            r.size = result.size;
        } else {
            r.outcome = DownloadRecord::Outcome::Failed;
            r.reason = result.error;
        }
    }
    return records;
}

}  // namespace nuv
