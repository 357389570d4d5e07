#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "extract/ExtractionLists.h"
#include "extract/ExtractionResult.h"
#include "extract/ExtractionServices.h"

namespace nuv {

// The most links of one document that "其他提取" sorts (the first, in document order),
// so that a page that makes millions of links yields a result page of bounded size. The
// browser reads no more; the result counts the others.
inline constexpr size_t kLinkLimit = 100000;

// The most pictures one read of what the page shows hands over, and the most entries
// ImageURLs grows to with them; the result counts the others.
inline constexpr size_t kShownPictureLimit = 100000;

// The steps that read one place of the page in the main browser (its source, style
// sheets, frames, the pictures it shows, its links) and append what they find to the
// extraction lists, telling the services' observer of each entry. A step that fails
// leaves what it appended so far and notes the failure in the running result.
class Collectors {
public:
    // `services` and `lists` outlive the collectors.
    Collectors(const ExtractionServices& services, ExtractionLists& lists) : s_(services), lists_(lists) {}
    Collectors(const Collectors&) = delete;
    Collectors& operator=(const Collectors&) = delete;

    void CollectSourceImages(const std::string& source, const std::string& base, bool progress);
    void CollectSourceFlash(const std::string& source, const std::string& base);
    void CollectCssImages();
    void CollectCssFlash();
    void CollectFrameImages();
    void CollectFrameFlash();
    // The fourth place of the image extraction, after the three above: the pictures the
    // rendered page and its frames use, http(s) only, appended when new.
    void CollectShownImages();
    void CollectLinks();
    // Fetches every style sheet of the page into the save folder and says which.
    void ExtractCss();

    // The page source, and the title followed by the body text, of the main browser, as
    // GetPageSource and GetPageText read them ("" on a failure, which is noted).
    std::string PageSource();
    std::string PageText();

    // The result of the run in progress, which takes the sheets fetched, the frames read,
    // what the bounds cut and the failures got over; null between runs.
    void NoteInto(ExtractionResult* result) {
        current_ = result;
        noted_.clear();
    }
    // Called in a catch block: notes the failure being handled in the running result, at
    // the step `step` of `address` (see ExtractionError). Never fails itself.
    void NoteFailure(const char* step, const std::string& address) noexcept;

private:
    // Appends `address` to the list `kind` selects (with `note` for an image) and tells
    // the observer. AppendNew does so only when the list does not hold it yet.
    void Append(ListKind kind, const std::string& address, ImageNote note = {});
    bool AppendNew(ListKind kind, const std::string& address, ImageNote note = {});
    // Calls `tell` with the observer, if there is one; what it throws is noted ("observer").
    void Tell(const std::string& address, const std::function<void(IExtractionObserver&)>& tell);
    void NoteFailure(const char* step, const std::string& address, const std::string& why) noexcept;
    // The address of the page of the running extraction.
    const std::string& PageAddress() const {
        static const std::string none;
        return current_ ? current_->pageAddress : none;
    }
    void CollectCssInto(ListKind kind);
    void CollectFramesInto(ListKind kind);
    // Fetches a style sheet into the save folder and notes the outcome in the running result.
    std::optional<std::vector<std::string>> FetchSheet(const std::string& sheet);
    // The sheet when the services keep it, noted in the running result as saved; else null.
    std::shared_ptr<const KeptSheet> KeptSheetOf(const std::string& sheet);
    void StepProgress() { s_.progress.StepProgress(); }
    void RefreshSavedList() {
        if (s_.window) s_.window->savedList.RefreshSavedList();
    }

    const ExtractionServices& s_;
    ExtractionLists& lists_;
    ExtractionResult* current_ = nullptr;
    std::unordered_set<std::string> noted_;  // the failures noted in the running result
    ImagePlace place_ = ImagePlace::Page;  // where CollectSourceImages is reading
};

}  // namespace nuv
