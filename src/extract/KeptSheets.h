#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "web/SheetCache.h"

namespace nuv {

// A style sheet a run has fetched before: its text as it was saved, its lines, and what
// the scans for pictures and for movies find in them, each scan made once; or the answer
// its server failed it with for good. Safe across threads. Plain C++.
class KeptSheet {
public:
    KeptSheet(std::string address, std::string text);
    // A sheet whose server answered `status`, which the fetch failed with as `failure`.
    KeptSheet(std::string address, int status, std::string failure);
    const std::string& Text() const { return text_; }
    int Status() const { return status_; }  // 0 for a text
    const std::string& Failure() const { return failure_; }
    // ScanSheetImages (`images`) or ScanSheetFlash of the sheet's lines.
    const std::vector<std::string>& Finds(bool images) const;

private:
    std::string address_;
    std::string text_;
    std::vector<std::string> lines_;
    int status_ = 0;
    std::string failure_;
    mutable std::once_flag imagesOnce_;
    mutable std::once_flag flashOnce_;
    mutable std::vector<std::string> images_;
    mutable std::vector<std::string> flash_;
};

// The style sheets an extraction takes from memory instead of fetching them into the
// save folder and reading them back; the caller then saves them (see SavedSheet::kept).
class IKeptSheets {
public:
    virtual ~IKeptSheets() = default;
    // The sheet at `address` when it is kept whole or failed for good, else null.
    virtual std::shared_ptr<const KeptSheet> Find(const std::string& address) = 0;
};

// The sheets of a run's SheetCache, each read once into lines and finds.
class KeptSheets final : public IKeptSheets {
public:
    explicit KeptSheets(const SheetCache& sheets) : sheets_(sheets) {}
    std::shared_ptr<const KeptSheet> Find(const std::string& address) override;

private:
    const SheetCache& sheets_;
    std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<const KeptSheet>> read_;
};

}  // namespace nuv
