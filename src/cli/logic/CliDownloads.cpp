#include "cli/logic/CliDownloads.h"

#include <algorithm>

namespace nuv {

void ListDownloads::Feed(const std::vector<std::string>& list, const std::vector<ImageNote>& notes) {
    if (records_.size() >= list.size()) return;
    // Shown pictures are named against every name of the list; the others each on its own.
    const bool anyShown = std::any_of(notes.begin(), notes.end(),
                                      [](const ImageNote& n) { return n.place == ImagePlace::Shown; });
    const std::vector<PlannedDownload> plans =
        anyShown ? PlanDownloads(type_, folder_, list, notes) : std::vector<PlannedDownload>{};
    for (std::size_t i = records_.size(); i < list.size(); ++i) {
        DownloadRecord r;
        r.address = list[i];
        const PlannedDownload plan = anyShown ? plans[i] : PlanDownload(type_, folder_, list[i]);
        r.file = plan.file;
        stems_.push_back(plan.stemFile);
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
        const std::string& stem = stems_[i];
        if (result.saved) {
            r.outcome = DownloadRecord::Outcome::Saved;
            r.size = result.size;
            if (stem.empty()) continue;
            try {
                r.file = FinishPictureDownload(r.file, stem, result.contentType);
            } catch (const std::exception& e) {
                r.outcome = DownloadRecord::Outcome::Failed;
                r.size = 0;
                r.file = stem;
                r.reason = e.what();
            }
        } else {
            r.outcome = DownloadRecord::Outcome::Failed;
            r.reason = result.error;
            if (!stem.empty()) r.file = stem;
        }
    }
    return records;
}

}  // namespace nuv
