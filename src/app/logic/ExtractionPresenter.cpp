#include "app/logic/ExtractionPresenter.h"

#include "common/Guard.h"
#include "common/Text.h"
#include "web/DocumentBridge.h"

namespace nuv {

void ExtractionPresenter::Started() { tabs_.SetMemoText({}); }

void ExtractionPresenter::PrepareResultPage(bool imageMode) {
    try {
        IBrowser& result = result_.ResultWindow(imageMode);
        result.Navigate("about:blank");
        LoadHtml(result, JoinLinesCrLf(resultPageHead_()));
        tabs_.SetActivePage(MainPage::TSOutput);
    } catch (...) {
        NoteSwallowed();
    }
}

void ExtractionPresenter::ShowResultPage(bool imageMode, const std::string& html) {
    LoadHtml(result_.ResultWindow(imageMode), html);
}

void ExtractionPresenter::ShowText(const std::string& text) { tabs_.SetMemoText(text); }

void ExtractionPresenter::Finished(DocType type) {
    const bool textEntry = type == DocType::PageSource || type == DocType::PageText;
    if (textEntry) tabs_.SetActivePage(MainPage::TbSource);
    if (type == DocType::Other) tabs_.SetActivePage(MainPage::TSOutput);
    if (textEntry || type == DocType::Css) {
        if (!tabs_.IsTabVisible(MainPage::TbSource)) {
            // The second visible tab is labelled with page 1's caption, so it must read
            // like the source tab while the result tab stays hidden.
            if (!tabs_.IsTabVisible(MainPage::TSOutput)) tabs_.SetPageCaption(MainPage::TSOutput, "文本源码");
            tabs_.SetTabVisible(MainPage::TbSource, true);
        }
    } else if (!tabs_.IsTabVisible(MainPage::TSOutput)) {
        tabs_.SetPageCaption(MainPage::TSOutput, "图片动画");
        tabs_.SetTabVisible(MainPage::TSOutput, true);
    }
}

}  // namespace nuv
