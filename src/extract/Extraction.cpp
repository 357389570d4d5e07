#include "extract/Extraction.h"

#include <cstddef>
#include <string>
#include <vector>

#include "common/Guard.h"
#include "common/Text.h"
#include "extract/ResultPages.h"
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

void Extraction::LBDocTypeClick(int selected) {
    if (running_ || !s_.window) return;
    const ExtractionWindow& w = *s_.window;
    w.addressBox.HideAddressDropDown();
    if (!GetPageAddress(s_.mainBrowser).empty()) {
        ExtractFormWebpage(selected);
        return;
    }
    // The typed address opens as Enter opens it, completed by the same rule.
    if (!TrimView(w.addressBox.AddressBoxText()).empty()) {
        w.addressBox.OpenTypedAddress();
        return;
    }
    w.dialogs.ShowMessage("请选择一个网页");
}

void Extraction::ExtractText(bool source, ExtractionResult& result) {
    result.memoText = source ? collect_.PageSource() : collect_.PageText();
    if (IExtractionView* p = Presenter()) p->ShowText(result.memoText);
    s_.progress.SetProgressPosition(0);
}

void Extraction::ShowResultPage(bool imageMode, const std::function<std::string(const std::vector<std::string>&)>& render,
                                ExtractionResult& result) {
    if (!s_.resultPageHead) return;  // a caller that shows no result page gets none made
    result.resultHtml = render(s_.resultPageHead());
    if (IExtractionView* p = Presenter()) p->ShowResultPage(imageMode, result.resultHtml);
}

ExtractionResult Extraction::ExtractFormWebpage(int selected) {
    IProgressBar& bar = s_.progress;
    IExtractionView* presenter = Presenter();
    ExtractionResult result;
    struct Running {
        bool& flag;
        Collectors& collect;
        Running(bool& f, Collectors& c, ExtractionResult* r) : flag(f), collect(c) {
            flag = true;
            collect.NoteInto(r);
        }
        ~Running() {
            flag = false;
            collect.NoteInto(nullptr);
        }
    } running(running_, collect_, &result);
    try {
        pageURL_ = GetPageAddress(s_.mainBrowser);
        result.pageAddress = pageURL_;
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
                lists_.ClearImages();
                bar.StepProgress();
                const std::string base = GetPageAddress(s_.mainBrowser);
                const std::string source = collect_.PageSource();
                collect_.CollectSourceImages(source, base, true);
                bar.StepProgress();
                collect_.CollectCssImages();
                bar.StepProgress();
                collect_.CollectFrameImages();
                bar.StepProgress();
                if (includeShownPictures_) {
                    collect_.CollectShownImages();
                    bar.StepProgress();
                }
                result.addresses = lists_.ImageURLs.Items();
                result.notes = lists_.ImageNotes;
                ShowResultPage(true, [this](const auto& head) { return RenderImagePage(head, lists_); }, result);
                bar.SetProgressPosition(0);
                break;
            }
            case DocType::Flash: {
                if (presenter) presenter->PrepareResultPage(false);
                bar.SetProgressMaximum(200);
                bar.SetProgressPosition(0);
                lists_.FlashURLs.Clear();
                const std::string base = GetPageAddress(s_.mainBrowser);
                const std::string source = collect_.PageSource();
                collect_.CollectSourceFlash(source, base);
                const size_t fromPage = lists_.FlashURLs.size();
                bar.StepProgress();
                collect_.CollectCssFlash();
                const size_t fromSheets = lists_.FlashURLs.size();
                bar.StepProgress();
                collect_.CollectFrameFlash();
                bar.StepProgress();
                result.addresses = lists_.FlashURLs.Items();
                result.notes = PlacesInOrder(fromPage, fromSheets, result.addresses.size());
                ShowResultPage(
                    false, [this](const auto& head) { return RenderFlashPage(head, lists_, pageURL_); }, result);
                bar.StepProgress();
                bar.SetProgressPosition(0);
                break;
            }
            case DocType::Css:
                collect_.ExtractCss();
                result.addresses = lists_.CssURLs;
                bar.SetProgressPosition(0);
                break;
            case DocType::Other:
                if (presenter) presenter->PrepareResultPage(true);
                collect_.CollectLinks();
                result.addresses = lists_.OtherURLs.Items();
                ShowResultPage(true, [this](const auto& head) { return RenderOtherPage(head, lists_); }, result);
                bar.SetProgressPosition(0);
                break;
        }
        if (presenter) presenter->Finished(result.type);
    } catch (...) {
        NoteSwallowed();
        collect_.NoteFailure("extraction", result.pageAddress);
        // An extraction that fails ends silently; what it did so far stays done.
    }
    last_ = result;
    return result;
}

}  // namespace nuv
