#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "extract/DocType.h"
#include "extract/ExtractionLists.h"
#include "extract/KeptSheets.h"
#include "web/Address.h"

namespace nuv {

// A style sheet that an extraction fetched into the save folder, with the outcome.
struct SavedSheet {
    std::string address;
    FetchOutcome outcome;
    // A sheet's text taken from memory (IKeptSheets): its outcome names the file it stands
    // for, which the caller saves it as; the extraction wrote nothing.
    std::shared_ptr<const KeptSheet> kept = nullptr;
};

// What an extraction left out to stay within its bounds (see extract/Collectors.h and
// IBrowser); all zero when it left out nothing.
struct ExtractionCut {
    size_t documents = 0;      // frames whose shown pictures were neither read nor asked for
    size_t shownPictures = 0;  // shown pictures beyond a document's bound, the read's or the list's
    size_t links = 0;          // links beyond kLinkLimit
    bool Any() const { return documents > 0 || shownPictures > 0 || links > 0; }
};

// A failure that the extraction got over: it went on without what the step would have
// given. `step` says which, in lower case:
//   "page source"    the page source could not be read (address: the page)
//   "page text"      the page's title and body text could not be read (the page)
//   "style sheets"   the style sheets of the page could not be gone through (the page)
//   "style sheet"    one sheet could not be fetched into the save folder (the sheet);
//                    `why` is the error of its fetch outcome
//   "frames"         the frames of the page could not be listed, or not all (the page)
//   "frame"          one frame page could not be fetched or read (the frame)
//   "shown pictures" the pictures the page shows could not be read (the page)
//   "links"          the links of the page could not be read (the page)
//   "scan"           the source of a page or frame could not be scanned to its end (it)
//   "listing"        an address found could not be added to its list (the address)
//   "observer"       the observer failed when told of a find (the address)
//   "extraction"     the extraction ended early; what it had done stays (the page)
// `why` is the text of the failure, "unknown failure" when it had none.
struct ExtractionError {
    std::string step;
    std::string address;
    std::string why;
};

// What one extraction produced. The extraction lists stay the process's state (later
// extractions and the result window read them); the value holds what this run found.
struct ExtractionResult {
    bool ran = false;                    // an extraction of `type` ran over a page
    DocType type = DocType::PageSource;
    std::string pageAddress;             // PageURL
    std::string memoText;                // the page source or text ("原始网页", "文字提取")
    std::vector<std::string> addresses;  // the list of the type, in list order
    // Images and Flash movies: where each of `addresses` was found (page, style sheet,
    // frame, or shown), and a picture's size and declared type. Empty for the other types,
    // whose entries all come from the page.
    std::vector<ImageNote> notes;
    std::vector<SavedSheet> styleSheets;  // fetched into the save folder, in fetch order
    std::vector<std::string> frames;     // the addresses of the page's frames (lbFrames)
    std::string resultHtml;              // the result page, for the result types
    ExtractionCut cut;
    std::vector<ExtractionError> errors;  // in the order they happened; the same failure once
};

}  // namespace nuv
