#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/logic/MainPages.h"
#include "extract/DocType.h"
#include "extract/ExtractionServices.h"

namespace nuv {

// How the main window shows an extraction: the memo, the result window and the tabs
// with their captions. The extraction calls it at its steps, in this order: Started,
// then PrepareResultPage and ShowResultPage (result entries) or ShowText (text entries),
// then Finished.
class ExtractionPresenter : public IExtractionView {
public:
    ExtractionPresenter(IMainTabs& tabs, IResultSurface& result,
                        std::function<std::vector<std::string>()> resultPageHead)
        : tabs_(tabs), result_(result), resultPageHead_(std::move(resultPageHead)) {}

    // The memo empties.
    void Started() override;
    // The result window shows the bare page head and its tab becomes the current page.
    void PrepareResultPage(bool imageMode) override;
    // The finished result page goes into the result window.
    void ShowResultPage(bool imageMode, const std::string& html) override;
    // The memo takes the page source or text.
    void ShowText(const std::string& text) override;
    // The page of the result becomes current (text entries and "其他提取") and the tab
    // of the result is shown under its caption.
    void Finished(DocType type) override;

private:
    IMainTabs& tabs_;
    IResultSurface& result_;
    std::function<std::vector<std::string>()> resultPageHead_;
};

}  // namespace nuv
