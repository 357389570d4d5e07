#pragma once

#include <string>
#include <vector>

#include "extract/ExtractionLists.h"
#include "extract/ExtractionView.h"
#include "web/Browser.h"
#include "web/Downloader.h"
#include "web/PageFetcher.h"
#include "web/SaveFolderHost.h"

namespace nuv {

// The six document types of LBDocType, in list order.
enum class DocType { PageSource = 0, PageText = 1, Images = 2, Flash = 3, Css = 4, Other = 5 };

// The entries of LBDocType, in the order of DocType.
const std::vector<std::string>& DocTypeNames();

// The collaborators an extraction works with; all outlive the Extraction.
struct ExtractionServices {
    IExtractionView& view;
    IBrowser& mainBrowser;  // WebBrowser1 of the main window
    ISaveFolderHost& saveFolder;
    IDownloader& downloader;
    IPageFetcher& http;  // IdHTTP1
    std::string homeFolder;  // fallback save folder, ending in "/"
};

// The extraction dispatcher with the process's extraction lists. Runs on the
// user-interface thread; browser reads re-enter the event loop.
class Extraction {
public:
    explicit Extraction(ExtractionServices services) : s_(std::move(services)) {}

    // Selecting an entry of LBDocType. A selection made while an extraction runs (the
    // browser reads let window events through) is ignored, so two extractions never
    // interleave on the same lists.
    void LBDocTypeClick();
    // True while an extraction runs (its browser reads let window events through).
    bool Running() const { return running_; }
    // Runs the extraction of the selected entry over the page in the main browser.
    void ExtractFormWebpage();
    // Makes the result window ready for a new result page.
    void PrepareResultPage(bool imageMode);

    // Collectors.
    void CollectSourceImages(const std::string& source, const std::string& base, bool progress);
    void CollectSourceFlash(const std::string& source, const std::string& base);
    void CollectCssImages();
    void CollectCssFlash();
    void CollectFrameImages();
    void CollectFrameFlash();
    void CollectLinks();
    void ExtractCss();

    // Result pages, loaded into `browser`.
    void RenderImagePage(IBrowser& browser);
    void RenderFlashPage(IBrowser& browser);
    void RenderOtherPage(IBrowser& browser);

    ExtractionLists lists;
    std::string PageURL;
    std::string MemoText;
    std::string ResultHtml;
    // Addresses of the frames of the current page (the hidden list lbFrames).
    std::vector<std::string> lbFrames;

private:
    void ExtractText(bool source);
    void CollectCssInto(ListKind kind);
    void CollectFramesInto(ListKind kind);

    ExtractionServices s_;
    bool running_ = false;
};

}  // namespace nuv
