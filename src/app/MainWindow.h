#pragma once

#include <memory>
#include <string>

#include <QWidget>

#include "app/AddressBar.h"
#include "app/PageTabs.h"
#include "app/logic/Settings.h"
#include "common/Dialogs.h"
#include "common/Shell.h"
#include "common/WindowState.h"
#include "extract/Extraction.h"
#include "app/logic/ExtractionPresenter.h"
#include "library/SavedFilesPanel.h"
#include "platform/PageScroller.h"
#include "web/Downloader.h"
#include "web/PageFetcher.h"

class QSplitter;

namespace nuv {

class BrandPanelHost;
class DocTypePanel;
class HintBar;
class TFrmPreview;
class WebEngineBrowser;

// What the main window is built with; everything outlives the window.
struct MainWindowServices {
    IDialogs& dialogs;
    IShell& shell;
    IDownloader& downloader;
    IPageFetcher& http;
    std::string programFolder;  // the executable's folder, ending in "/"
    std::string homeFolder;     // the user's home folder, ending in "/"
    // The per-user configuration and download folders, ending in "/"; "" stands for
    // homeFolder + ".config/" and homeFolder + "Downloads/".
    std::string configFolder = {};
    std::string downloadFolder = {};
};

// The main window: the panels that make it up, each serving the ports of the parts it
// builds, wired together here; the window itself keeps their creation order, the layout,
// the settings and the teardown. Every handler runs on the user-interface thread.
class TFrmWebpageAnalysis : public QWidget {
    Q_OBJECT
public:
    explicit TFrmWebpageAnalysis(MainWindowServices services, QWidget* parent = nullptr);
    ~TFrmWebpageAnalysis() override;

    // The panels: the address bar, the page control with the result window, the saved-files
    // column (the save-folder bar, the saved-files list and the preview).
    AddressBar& Address() { return *addressBar_; }
    PageTabs& Pages() { return *pages_; }
    SavedFilesPanel& SavedFiles() { return *savedFiles_; }
    Extraction& Extractor() { return *extraction_; }
    WebEngineBrowser& MainBrowser() { return pages_->Browser(); }
    TFrmPreview* ResultWindowIfAny() const { return pages_->ResultWindowIfAny(); }

    // SaveFolder, CurPicName, PicIndex and DefaultSavePath, lent to the panels.
    WindowState& State() { return state_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void SetupCaptionsAndImages();
    void BuildComponents();
    void FormResize();
    void LoadSettings();
    void SaveSettings();
    void LBDocTypeClick();
    // "图片提取" with CbScroll: scrolls the page to its end, then extracts.
    void ScrollThenExtract(int selected);
    TFrmPreview* MakeResultWindow(QWidget* page);

    MainWindowServices s_;
    std::unique_ptr<ExtractionPresenter> presenter_;
    std::unique_ptr<Extraction> extraction_;
    WindowState state_;
    SettingsLocation settings_;  // where LoadSettings read and SaveSettings writes

    // The panels, each owning the components the window's design names in it, and the
    // frames that lay them out.
    QWidget* SbMain{};
    AddressBar* addressBar_{};
    HintBar* hintBar_{};
    SavedFilesPanel* savedFiles_{};
    QSplitter* SplitterTop{};
    QSplitter* Splitter1{};
    QWidget* SbLeft{};
    DocTypePanel* docTypes_{};
    BrandPanelHost* brand_{};
    QWidget* SbCenter{};
    PageTabs* pages_{};
    PageScroller* scroller_{};  // while "图片提取" scrolls the page
};

}  // namespace nuv
