#include "extract/Extraction.h"

#include "common/Text.h"
#include "web/DocumentBridge.h"

namespace nuv {

const std::vector<std::string>& DocTypeNames() {
    static const std::vector<std::string> names = {
        "原始网页", "文字提取", "图片提取", "动画提取(.swf)", "CSS提取", "其他提取"};
    return names;
}

void Extraction::LBDocTypeClick() {
    if (running_) return;
    s_.view.HideAddressDropDown();
    if (!GetPageAddress(s_.mainBrowser).empty()) {
        ExtractFormWebpage();
        return;
    }
    const std::string typed = s_.view.AddressBoxText();
    if (!TrimView(typed).empty()) {
        s_.mainBrowser.Navigate(typed);
        return;
    }
    s_.view.ShowMessage("请选择一个网页");
}

void Extraction::ExtractText(bool source) {
    MemoText = source ? GetPageSource(s_.mainBrowser) : GetPageText(s_.mainBrowser);
    s_.view.SetMemoText(MemoText);
    s_.view.SetProgressPosition(0);
    s_.view.SetActivePage(MainPage::TbSource);
}

void Extraction::ExtractFormWebpage() {
    IExtractionView& v = s_.view;
    struct Running {
        bool& flag;
        explicit Running(bool& f) : flag(f) { flag = true; }
        ~Running() { flag = false; }
    } running(running_);
    try {
        PageURL = GetPageAddress(s_.mainBrowser);
        v.SetMemoText({});
        bool resultEntry = true;
        switch (static_cast<DocType>(v.SelectedDocType())) {
            case DocType::PageSource:
                resultEntry = false;
                ExtractText(true);
                break;
            case DocType::PageText:
                resultEntry = false;
                ExtractText(false);
                break;
            case DocType::Images: {
                PrepareResultPage(true);
                v.SetProgressMaximum(200);
                v.SetProgressPosition(0);
                lists.ClearImages();
                v.StepProgress();
                const std::string base = GetPageAddress(s_.mainBrowser);
                const std::string source = GetPageSource(s_.mainBrowser);
                CollectSourceImages(source, base, true);
                v.StepProgress();
                CollectCssImages();
                v.StepProgress();
                CollectFrameImages();
                v.StepProgress();
                RenderImagePage(v.ResultWindow(true));
                v.SetProgressPosition(0);
                break;
            }
            case DocType::Flash: {
                PrepareResultPage(false);
                v.SetProgressMaximum(200);
                v.SetProgressPosition(0);
                lists.FlashURLs.Clear();
                const std::string base = GetPageAddress(s_.mainBrowser);
                const std::string source = GetPageSource(s_.mainBrowser);
                CollectSourceFlash(source, base);
                v.StepProgress();
                CollectCssFlash();
                v.StepProgress();
                CollectFrameFlash();
                v.StepProgress();
                RenderFlashPage(v.ResultWindow(false));
                v.StepProgress();
                v.SetProgressPosition(0);
                break;
            }
            case DocType::Css:
                resultEntry = false;
                ExtractCss();
                v.SetProgressPosition(0);
                break;
            case DocType::Other:
                PrepareResultPage(true);
                CollectLinks();
                RenderOtherPage(v.ResultWindow(true));
                v.SetProgressPosition(0);
                v.SetActivePage(MainPage::TSOutput);
                break;
            default:
                return;
        }
        if (resultEntry) {
            if (!v.IsTabVisible(MainPage::TSOutput)) {
                v.SetPageCaption(MainPage::TSOutput, "图片动画");
                v.SetTabVisible(MainPage::TSOutput, true);
            }
        } else if (!v.IsTabVisible(MainPage::TbSource)) {
            // The second visible tab is labelled with page 1's caption, so it must read
            // like the source tab while the result tab stays hidden.
            if (!v.IsTabVisible(MainPage::TSOutput)) v.SetPageCaption(MainPage::TSOutput, "文本源码");
            v.SetTabVisible(MainPage::TbSource, true);
        }
    } catch (...) {
        // An extraction that fails ends silently; what it did so far stays done.
    }
}

void Extraction::PrepareResultPage(bool imageMode) {
    try {
        IBrowser& result = s_.view.ResultWindow(imageMode);
        result.Navigate("about:blank");
        LoadHtml(result, JoinLinesCrLf(s_.view.TextResource("page1")));
        s_.view.SetActivePage(MainPage::TSOutput);
    } catch (...) {
    }
}

}  // namespace nuv
