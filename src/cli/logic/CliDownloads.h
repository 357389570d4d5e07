#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "cli/logic/ExtractCli.h"
#include "library/logic/DownloadBatch.h"

// The downloads of nuv-extract -d for one listed page.
namespace nuv {

// Plans every address of a list as PlanDownload does and hands those it downloads to a
// DownloadBatch, which may serve several pages. The list is handed over as it grows: an
// extraction that is still reading style sheets and frames only appends to it.
class ListDownloads {
public:
    ListDownloads(DocType type, std::string folder, std::string pageAddress, DownloadBatch& batch)
        : type_(type), folder_(std::move(folder)), page_(std::move(pageAddress)), batch_(batch), from_(batch.Added()) {}

    // Hands over the addresses of `list` beyond those handed so far (`list` begins with
    // those). `notes` (may be empty) marks the pictures the page showed: they are named as
    // PlanDownloads names them.
    void Feed(const std::vector<std::string>& list, const std::vector<ImageNote>& notes = {});
    // How many of the addresses handed over are not downloaded.
    std::size_t Skipped() const { return skipped_; }
    // `file` is written and read by the page's extraction itself (a style sheet): see
    // DownloadBatch::HoldFile.
    void HoldFile(const std::string& file) { batch_.HoldFile(file, from_); }
    // The records, in list order, from the results of the batch. A shown picture whose
    // answer decides its type takes its final name here.
    std::vector<DownloadRecord> Records(const std::vector<DownloadBatch::Result>& results) const;

private:
    static constexpr std::size_t kSkipped = static_cast<std::size_t>(-1);
    DocType type_;
    std::string folder_;
    std::string page_;
    DownloadBatch& batch_;
    std::size_t from_;  // the batch's number of this list's first download
    std::vector<DownloadRecord> records_;
    std::vector<std::size_t> numbers_;  // each record's number in the batch, or kSkipped
    std::vector<std::string> stems_;    // each record's PlannedDownload::stemFile
    std::size_t skipped_ = 0;
};

}  // namespace nuv
