#include "extract/Extraction.h"

#include "common/Guard.h"
#include "common/Text.h"
#include "web/DocumentBridge.h"

namespace nuv {

namespace {

// Where the entries of a list filled from the page, then its style sheets, then its
// frames were found: the first `fromPage` entries, the next up to `fromSheets`, the rest.
std::vector<ImageNote> PlacesInOrder(size_t fromPage, size_t fromSheets, size_t size) {
    std::vector<ImageNote> notes(size, ImageNote{ImagePlace::Frame});
    for (size_t i = 0; i < size && i < fromSheets; ++i) notes[i].place = i < fromPage ? ImagePlace::Page : ImagePlace::Sheet;
    return notes;
}

}  // namespace

const std::vector<std::string>& DocTypeNames() {
    static const std::vector<std::string> names = {
        "原始网页", "文字提取", "图片提取", "动画提取(.swf)", "CSS提取", "其他提取"};
    return names;
}

void Extraction::LBDocTypeClick(int selected) {
    if (running_ || !s_.window) return;
    const ExtractionWindow& w = *s_.window;
    w.addressBox.HideAddressDropDown();
    if (!GetPageAddress(s_.mainBrowser).empty()) {
        ExtractFormWebpage(selected);
        return;
    }
    const std::string typed = w.addressBox.AddressBoxText();
    if (!TrimView(typed).empty()) {
        s_.mainBrowser.Navigate(typed);
        return;
    }
    w.dialogs.ShowMessage("请选择一个网页");
}

void Extraction::ExtractText(bool source, ExtractionResult& result) {
    result.memoText = source ? GetPageSource(s_.mainBrowser) : GetPageText(s_.mainBrowser);
    if (ExtractionPresenter* p = Presenter()) p->ShowText(result.memoText);
    s_.progress.SetProgressPosition(0);
}

std::optional<std::vector<std::string>> Extraction::FetchSheet(const std::string& sheet) {
    SavedSheet saved{sheet, {}};
    auto lines = FetchIntoSaveFolder(s_.saveFolder.SaveFolder(), s_.downloader, sheet, &saved.outcome);
    if (saved.outcome.folderUnusable && s_.window) s_.window->savedList.SaveFolderUnusable();
    if (current_) current_->styleSheets.push_back(std::move(saved));
    return lines;
}

void Extraction::ShowResultPage(bool imageMode, const std::string& html) {
    if (current_) current_->resultHtml = html;
    if (ExtractionPresenter* p = Presenter()) p->ShowResultPage(imageMode, html);
}

ExtractionResult Extraction::ExtractFormWebpage(int selected) {
    IProgressBar& bar = s_.progress;
    ExtractionPresenter* presenter = Presenter();
    ExtractionResult result;
    struct Running {
        bool& flag;
        ExtractionResult*& current;
        Running(bool& f, ExtractionResult*& c, ExtractionResult* r) : flag(f), current(c) {
            flag = true;
            current = r;
        }
        ~Running() {
            flag = false;
            current = nullptr;
        }
    } running(running_, current_, &result);
    try {
        PageURL = GetPageAddress(s_.mainBrowser);
        result.pageAddress = PageURL;
        if (presenter) presenter->Started();
        if (selected < 0 || selected > static_cast<int>(DocType::Other)) return result;
        result.type = static_cast<DocType>(selected);
        result.ran = true;
        switch (result.type) {
            case DocType::PageSource:
                ExtractText(true, result);
                break;
            case DocType::PageText:
                ExtractText(false, result);
                break;
            case DocType::Images: {
                if (presenter) presenter->PrepareResultPage(true);
                bar.SetProgressMaximum(200);
                bar.SetProgressPosition(0);
                lists.ClearImages();
                bar.StepProgress();
                const std::string base = GetPageAddress(s_.mainBrowser);
                const std::string source = GetPageSource(s_.mainBrowser);
                CollectSourceImages(source, base, true);
                bar.StepProgress();
                CollectCssImages();
                bar.StepProgress();
                CollectFrameImages();
                bar.StepProgress();
                if (IncludeShownPictures) {
                    CollectShownImages();
                    bar.StepProgress();
                }
                result.addresses = lists.ImageURLs.Items();
                result.notes = lists.ImageNotes;
                ShowResultPage(true, RenderImagePage(s_.resultPageHead(), lists));
                bar.SetProgressPosition(0);
                break;
            }
            case DocType::Flash: {
                if (presenter) presenter->PrepareResultPage(false);
                bar.SetProgressMaximum(200);
                bar.SetProgressPosition(0);
                lists.FlashURLs.Clear();
                const std::string base = GetPageAddress(s_.mainBrowser);
                const std::string source = GetPageSource(s_.mainBrowser);
                CollectSourceFlash(source, base);
                const size_t fromPage = lists.FlashURLs.size();
                bar.StepProgress();
                CollectCssFlash();
                const size_t fromSheets = lists.FlashURLs.size();
                bar.StepProgress();
                CollectFrameFlash();
                bar.StepProgress();
                result.addresses = lists.FlashURLs.Items();
                result.notes = PlacesInOrder(fromPage, fromSheets, result.addresses.size());
                ShowResultPage(false, RenderFlashPage(s_.resultPageHead(), lists, PageURL));
                bar.StepProgress();
                bar.SetProgressPosition(0);
                break;
            }
            case DocType::Css:
                ExtractCss();
                result.addresses = lists.CssURLs;
                bar.SetProgressPosition(0);
                break;
            case DocType::Other:
                if (presenter) presenter->PrepareResultPage(true);
                CollectLinks();
                result.addresses = lists.OtherURLs.Items();
                ShowResultPage(true, RenderOtherPage(s_.resultPageHead(), lists));
                bar.SetProgressPosition(0);
                break;
        }
        if (presenter) presenter->Finished(result.type);
    } catch (...) {
        NoteSwallowed();
        // An extraction that fails ends silently; what it did so far stays done.
    }
    last_ = result;
    return result;
}

}  // namespace nuv
