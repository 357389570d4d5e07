#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "extract/Collectors.h"
#include "extract/ExtractionLists.h"
#include "extract/ExtractionResult.h"
#include "extract/ExtractionServices.h"

namespace nuv {

// The extraction dispatcher with the process's extraction lists. Runs on the
// user-interface thread; browser reads re-enter the event loop.
class Extraction {
public:
    explicit Extraction(ExtractionServices services) : s_(std::move(services)) {}
    Extraction(const Extraction&) = delete;
    Extraction& operator=(const Extraction&) = delete;

    // Selecting the entry `selected` (LBDocType's index) in the main window; nothing
    // without a window. A selection made while an extraction runs (the browser reads let
    // window events through) is ignored, so two extractions never interleave on the same
    // lists. Without a page the typed address is opened as the address box opens it, or
    // a page asked for.
    void LBDocTypeClick(int selected);
    // True while an extraction runs (its browser reads let window events through).
    bool Running() const { return running_; }
    // Runs the extraction of the entry `selected` over the page in the main browser and
    // returns what it produced; also kept as LastResult.
    ExtractionResult ExtractFormWebpage(int selected);
    const ExtractionResult& LastResult() const { return last_; }

    // The process's extraction lists: what the last extraction of each type found, read
    // by the result window and the downloads while and after it runs.
    const ExtractionLists& Lists() const { return lists_; }
    // The address of the page of the last extraction (PageURL), set as it starts.
    const std::string& PageAddress() const { return pageURL_; }
    // Whether "图片提取" appends the pictures the page shows (CollectShownImages).
    bool IncludeShownPictures() const { return includeShownPictures_; }
    void SetIncludeShownPictures(bool on) { includeShownPictures_ = on; }

private:
    void ExtractText(bool source, ExtractionResult& result);
    // Makes the result page with `render` from the head template, keeps it in the result
    // and shows it in the result window; none for a caller that wants none (no resultPageHead).
    void ShowResultPage(bool imageMode, const std::function<std::string(const std::vector<std::string>& head)>& render,
                        ExtractionResult& result);
    IExtractionView* Presenter() { return s_.window ? &s_.window->presenter : nullptr; }

    ExtractionServices s_;
    ExtractionLists lists_;
    Collectors collect_{s_, lists_};
    std::string pageURL_;
    bool includeShownPictures_ = false;
    bool running_ = false;
    ExtractionResult last_;
};

}  // namespace nuv
