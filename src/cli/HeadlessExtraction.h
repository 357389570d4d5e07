#pragma once

#include <array>
#include <string>
#include <vector>

#include "cli/TerminalProgress.h"
#include "cli/logic/ExtractCli.h"
#include "extract/ExtractionView.h"
#include "web/Browser.h"
#include "web/Downloader.h"
#include "web/SaveFolderHost.h"

namespace nuv {

// The result-page browser of a run without windows: it takes every document and shows
// none. The dispatcher still builds the result page (in the extraction's result value).
class DiscardingBrowser : public IBrowser {
public:
    void Navigate(const std::string&) override {}
    std::string LocationURL() override { return "about:blank"; }
    int ReadyState() override { return 4; }
    bool ProcessEvents() override { return true; }
    bool HasDocument() override { return true; }
    void LoadDocumentFromMemory(const std::string&) override {}
    std::string DocumentTitle() override { return {}; }
    std::string BodyInnerText() override { return {}; }
    std::string TopElementOuterHtml() override { return {}; }
    FrameDocument DocumentTree() override { return {"about:blank", {}, false}; }
    std::vector<std::string> DocumentLinks() override { return {}; }
};

// The main window's part in an extraction, without a window: the selected type, the
// memo, the progress bar (drawn on the terminal), the tabs' state and the save folder.
// Runs on the thread of the QApplication.
class HeadlessView : public IExtractionView, public ISaveFolderHost {
public:
    HeadlessView(DocType type, std::string address, std::string saveFolder, TerminalProgress& progress)
        : type_(type), address_(std::move(address)), saveFolder_(std::move(saveFolder)), progress_(progress) {}

    // IExtractionView
    std::string AddressBoxText() override { return address_; }
    void HideAddressDropDown() override {}
    int SelectedDocType() override { return static_cast<int>(type_); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetMemoText(const std::string& text) override { memo = text; }
    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void StepProgress() override;
    bool IsTabVisible(MainPage page) override { return tabs_[static_cast<size_t>(page)]; }
    void SetTabVisible(MainPage page, bool visible) override { tabs_[static_cast<size_t>(page)] = visible; }
    void SetPageCaption(MainPage, const std::string&) override {}
    void SetActivePage(MainPage) override {}
    IBrowser& ResultWindow(bool) override { return resultBrowser_; }
    std::vector<std::string> TextResource(const std::string& name) override;
    void RefreshSavedList() override {}

    // ISaveFolderHost
    std::string SaveFolder() const override { return saveFolder_; }
    void ShowHint(const std::string& text) override { hints.push_back(text); }
    // The save folder is the one given on the command line; the window's fallback to the
    // home folder does not apply.
    void SetSaveFolderBoxText(const std::string&) override {}

    std::string memo;
    std::vector<std::string> messages;
    std::vector<std::string> hints;

private:
    void Draw();

    DocType type_;
    std::string address_;
    std::string saveFolder_;
    TerminalProgress& progress_;
    DiscardingBrowser resultBrowser_;
    std::array<bool, 3> tabs_{true, false, false};
    int maximum_ = 100;
    int position_ = 0;
};

// Runs one command line: loads the page, extracts, downloads, prints. Returns the exit
// status. Needs a QApplication; the program's schemes must have been registered.
int RunExtractCli(const ExtractCliOptions& options);

}  // namespace nuv
