#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Dialogs.h"
#include "common/WindowPorts.h"
#include "extract/ExtractionLists.h"
#include "extract/ExtractionPorts.h"
#include "extract/ExtractionPresenter.h"
#include "web/Address.h"
#include "web/Browser.h"
#include "web/Downloader.h"
#include "web/PageFetcher.h"

namespace nuv {

// The most links of one document that "其他提取" sorts (the first, in document order),
// so that a page that makes millions of links yields a result page of bounded size.
inline constexpr size_t kLinkLimit = 100000;

// The most entries ImageURLs grows to with the pictures the page shows.
inline constexpr size_t kShownPictureLimit = 100000;

// The six document types of LBDocType, in list order.
enum class DocType { PageSource = 0, PageText = 1, Images = 2, Flash = 3, Css = 4, Other = 5 };

// The entries of LBDocType, in the order of DocType.
const std::vector<std::string>& DocTypeNames();

// A style sheet that an extraction fetched into the save folder, with the outcome.
struct SavedSheet {
    std::string address;
    FetchOutcome outcome;
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
};

// The result pages, built from the lists and the page head template (the lines of the
// text resource "page1"). Pure functions of their arguments.
std::string RenderImagePage(const std::vector<std::string>& head, const ExtractionLists& lists);
std::string RenderFlashPage(const std::vector<std::string>& head, const ExtractionLists& lists,
                            const std::string& pageAddress);
std::string RenderOtherPage(const std::vector<std::string>& head, const ExtractionLists& lists);

// The parts of the main window that an extraction shows its work in.
struct ExtractionWindow {
    IAddressBox& addressBox;         // the typed address when no page is open
    ExtractionPresenter& presenter;  // the memo, the result window and the tabs
    ISavedList& savedList;           // refreshed after style sheets are saved
    IDialogs& dialogs;               // the message boxes
};

// The collaborators an extraction works with; all outlive the Extraction.
struct ExtractionServices {
    IBrowser& mainBrowser;  // WebBrowser1 of the main window
    IDownloader& downloader;
    IPageFetcher& http;  // IdHTTP1
    ISaveFolder& saveFolder;  // where style sheets are fetched into
    IProgressBar& progress;
    // The lines of the page head template of the result pages (the text resource "page1").
    std::function<std::vector<std::string>()> resultPageHead;
    // Without a window the extraction skips the steps that show its work there; the
    // value it returns is the same.
    std::optional<ExtractionWindow> window = std::nullopt;
};

// The extraction dispatcher with the process's extraction lists. Runs on the
// user-interface thread; browser reads re-enter the event loop.
class Extraction {
public:
    explicit Extraction(ExtractionServices services) : s_(std::move(services)) {}

    // Selecting the entry `selected` (LBDocType's index) in the main window; nothing
    // without a window. A selection made while an extraction runs (the browser reads let
    // window events through) is ignored, so two extractions never interleave on the same
    // lists. Without a page the typed address is opened, or a page asked for.
    void LBDocTypeClick(int selected);
    // True while an extraction runs (its browser reads let window events through).
    bool Running() const { return running_; }
    // Runs the extraction of the entry `selected` over the page in the main browser and
    // returns what it produced; also kept as LastResult.
    ExtractionResult ExtractFormWebpage(int selected);
    const ExtractionResult& LastResult() const { return last_; }

    // Collectors.
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
    void ExtractCss();

    ExtractionLists lists;
    // The address of the page of the last extraction.
    std::string PageURL;
    // Whether "图片提取" appends the pictures the page shows (CollectShownImages).
    bool IncludeShownPictures = false;

private:
    void ExtractText(bool source, ExtractionResult& result);
    void CollectCssInto(ListKind kind);
    void CollectFramesInto(ListKind kind);
    // Fetches a style sheet into the save folder and notes the outcome in the running result.
    std::optional<std::vector<std::string>> FetchSheet(const std::string& sheet);
    // Keeps the result page in the running result and shows it in the result window.
    void ShowResultPage(bool imageMode, const std::string& html);
    ExtractionPresenter* Presenter() { return s_.window ? &s_.window->presenter : nullptr; }
    void StepProgress() { s_.progress.StepProgress(); }
    void RefreshSavedList() {
        if (s_.window) s_.window->savedList.RefreshSavedList();
    }

    ExtractionServices s_;
    bool running_ = false;
    ExtractionResult last_;
    ExtractionResult* current_ = nullptr;  // the result of the run in progress
    ImagePlace place_ = ImagePlace::Page;   // where CollectSourceImages is reading
};

}  // namespace nuv
