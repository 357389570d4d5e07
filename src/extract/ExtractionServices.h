#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Dialogs.h"
#include "common/WindowPorts.h"
#include "extract/DocType.h"
#include "extract/ExtractionLists.h"
#include "extract/KeptSheets.h"
#include "web/Browser.h"
#include "web/Downloader.h"
#include "web/PageFetcher.h"

namespace nuv {

// What shows an extraction's work as it goes. The extraction calls it at its steps, in
// this order: Started, then PrepareResultPage and ShowResultPage (result entries) or
// ShowText (text entries), then Finished.
class IExtractionView {
public:
    virtual ~IExtractionView() = default;
    virtual void Started() = 0;
    // A result page of pictures (`imageMode`) or of movies is about to be made.
    virtual void PrepareResultPage(bool imageMode) = 0;
    virtual void ShowResultPage(bool imageMode, const std::string& html) = 0;
    // The page source or text.
    virtual void ShowText(const std::string& text) = 0;
    virtual void Finished(DocType type) = 0;
};

// The parts of the main window that an extraction shows its work in.
struct ExtractionWindow {
    IAddressBox& addressBox;     // the typed address when no page is open
    IExtractionView& presenter;  // the memo, the result window and the tabs
    ISavedList& savedList;           // refreshed after style sheets are saved
    IDialogs& dialogs;               // the message boxes
};

// Told of an extraction's finds while it runs, so that a caller can act on them (start
// downloads, say) before the extraction has read every style sheet and frame. Called on
// the extraction's thread, in the order things happen. What it throws is noted in the
// result's errors (step "observer") and the extraction goes on.
class IExtractionObserver {
public:
    virtual ~IExtractionObserver() = default;
    // An entry was appended to the list `list` of the running extraction (in list order).
    virtual void Found(ListKind list, const std::string& address) = 0;
    // The extraction is about to fetch the style sheet at `address` into `file`, the path
    // the downloader is given. A sheet that is not fetched (its address names no file, the
    // save folder cannot be used) is not told; the result's styleSheets names every one.
    virtual void FetchingSheet(const std::string& /*address*/, const std::string& /*file*/) {}
};

// The collaborators an extraction works with; all outlive the Extraction.
struct ExtractionServices {
    IBrowser& mainBrowser;  // WebBrowser1 of the main window
    IDownloader& downloader;
    IPageFetcher& http;  // IdHTTP1
    ISaveFolder& saveFolder;  // where style sheets are fetched into
    IProgressBar& progress;
    // The lines of the page head template of the result pages (the text resource "page1");
    // unset for a caller that shows no result page (nuv-extract), which then gets none made.
    std::function<std::vector<std::string>()> resultPageHead;
    // Without a window the extraction skips the steps that show its work there; the
    // value it returns is the same.
    std::optional<ExtractionWindow> window = std::nullopt;
    // Told of every entry appended to ImageURLs, FlashURLs, LinkURLs and OtherURLs as it is
    // appended, and of every style sheet before it is fetched; none by default.
    IExtractionObserver* observer = nullptr;
    // The style sheets read before, which are not fetched again; none by default.
    IKeptSheets* keptSheets = nullptr;
};

}  // namespace nuv
