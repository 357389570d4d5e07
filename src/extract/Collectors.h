#pragma once

#include <cstddef>
#include <optional>
#include <string>
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
// extraction lists. A step that fails leaves what it appended so far.
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

    // The result of the run in progress, which takes the sheets fetched, the frames read
    // and what the bounds cut; null between runs.
    void NoteInto(ExtractionResult* result) { current_ = result; }

private:
    void CollectCssInto(ListKind kind);
    void CollectFramesInto(ListKind kind);
    // Fetches a style sheet into the save folder and notes the outcome in the running result.
    std::optional<std::vector<std::string>> FetchSheet(const std::string& sheet);
    void StepProgress() { s_.progress.StepProgress(); }
    void RefreshSavedList() {
        if (s_.window) s_.window->savedList.RefreshSavedList();
    }

    const ExtractionServices& s_;
    ExtractionLists& lists_;
    ExtractionResult* current_ = nullptr;
    ImagePlace place_ = ImagePlace::Page;  // where CollectSourceImages is reading
};

}  // namespace nuv
