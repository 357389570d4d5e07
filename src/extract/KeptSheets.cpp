#include "extract/KeptSheets.h"

#include <optional>
#include <utility>

#include "common/Text.h"
#include "extract/Scanner.h"

namespace nuv {

KeptSheet::KeptSheet(std::string address, std::string text)
    : address_(std::move(address)), text_(std::move(text)), lines_(SplitLines(text_)) {}

KeptSheet::KeptSheet(std::string address, int status, std::string failure)
    : address_(std::move(address)), status_(status), failure_(std::move(failure)) {}

const std::vector<std::string>& KeptSheet::Finds(bool images) const {
    if (images) {
        std::call_once(imagesOnce_, [this] { images_ = ScanSheetImages(address_, lines_); });
        return images_;
    }
    std::call_once(flashOnce_, [this] { flash_ = ScanSheetFlash(address_, lines_); });
    return flash_;
}

std::shared_ptr<const KeptSheet> KeptSheets::Find(const std::string& address) {
    {
        const std::lock_guard lock(mutex_);
        if (const auto it = read_.find(address); it != read_.end()) return it->second;
    }
    // The cache keeps the first text of an address for the whole run, so a sheet read
    // once stands for every later page.
    std::optional<SheetCache::Sheet> sheet = sheets_.Find(address);
    if (!sheet) return nullptr;
    auto kept = sheet->status != 0 ? std::make_shared<const KeptSheet>(address, sheet->status, std::move(sheet->failure))
                                   : std::make_shared<const KeptSheet>(address, std::move(sheet->text));
    const std::lock_guard lock(mutex_);
    return read_.try_emplace(address, std::move(kept)).first->second;
}

}  // namespace nuv
