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

void Extraction::ExtractText(bool source, ExtractionResult& result) {
    result.memoText = source ? GetPageSource(s_.mainBrowser) : GetPageText(s_.mainBrowser);
    s_.view.SetMemoText(result.memoText);
    s_.view.SetProgressPosition(0);
    s_.view.SetActivePage(MainPage::TbSource);
}

std::optional<std::vector<std::string>> Extraction::FetchSheet(const std::string& sheet) {
    SavedSheet saved{sheet, {}};
    auto lines = FetchIntoSaveFolder(s_.saveFolder, s_.downloader, sheet, s_.homeFolder, &saved.outcome);
    if (current_) current_->styleSheets.push_back(std::move(saved));
    return lines;
}

void Extraction::ShowResultPage(bool imageMode, const std::string& html) {
    if (current_) current_->resultHtml = html;
    LoadHtml(s_.view.ResultWindow(imageMode), html);
}

ExtractionResult Extraction::ExtractFormWebpage() {
    IExtractionView& v = s_.view;
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
        v.SetMemoText({});
        const int selected = v.SelectedDocType();
        if (selected < 0 || selected > static_cast<int>(DocType::Other)) return result;
        result.type = static_cast<DocType>(selected);
        result.ran = true;
        bool resultEntry = true;
        switch (result.type) {
            case DocType::PageSource:
                resultEntry = false;
                ExtractText(true, result);
                break;
            case DocType::PageText:
                resultEntry = false;
                ExtractText(false, result);
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
                result.addresses = lists.ImageURLs.Items();
                ShowResultPage(true, RenderImagePage(v.TextResource("page1"), lists));
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
                result.addresses = lists.FlashURLs.Items();
                ShowResultPage(false, RenderFlashPage(v.TextResource("page1"), lists, PageURL));
                v.StepProgress();
                v.SetProgressPosition(0);
                break;
            }
            case DocType::Css:
                resultEntry = false;
                ExtractCss();
                result.addresses = lists.CssURLs;
                v.SetProgressPosition(0);
                break;
            case DocType::Other:
                PrepareResultPage(true);
                CollectLinks();
                result.addresses = lists.OtherURLs.Items();
                ShowResultPage(true, RenderOtherPage(v.TextResource("page1"), lists));
                v.SetProgressPosition(0);
                v.SetActivePage(MainPage::TSOutput);
                break;
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
    last_ = result;
    return result;
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
