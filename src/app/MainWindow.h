#pragma once

#include <memory>
#include <string>

#include <QTabBar>
#include <QWidget>

#include "common/Dialogs.h"
#include "common/Shell.h"
#include "common/WindowState.h"
#include "extract/Extraction.h"
#include "extract/ExtractionView.h"
#include "library/SavedFilesPanel.h"
#include "web/Downloader.h"
#include "web/PageFetcher.h"
#include "web/SaveFolderHost.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QTabWidget;
class QToolButton;
class QWebEngineView;

namespace nuv {

class TFrmPreview;
class WebEngineBrowser;

// Tab headers drawn by the main window: the tab at visible position i shows the caption
// of page i counted over all pages, hidden ones included.
class PageCaptionTabBar : public QTabBar {
    Q_OBJECT
public:
    using QTabBar::QTabBar;

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize tabSizeHint(int index) const override;
};

// What the main window is built with; everything outlives the window.
struct MainWindowServices {
    IDialogs& dialogs;
    IShell& shell;
    IDownloader& downloader;
    IPageFetcher& http;
    std::string programFolder;  // the executable's folder, ending in "/"
    std::string homeFolder;     // the user's home folder, ending in "/"
};

// The main window. Every handler runs on the user-interface thread.
class TFrmWebpageAnalysis : public QWidget,
                            public IExtractionView,
                            public ISaveFolderHost,
                            public ISavedFilesHost {
    Q_OBJECT
public:
    explicit TFrmWebpageAnalysis(MainWindowServices services, QWidget* parent = nullptr);
    ~TFrmWebpageAnalysis() override;

    // Opens the address of EdtURL.
    void OpenTypedAddress();
    void LBDocTypeClick();
    void CbPathClick();

    Extraction& Extractor() { return *extraction_; }
    WebEngineBrowser& MainBrowser() { return *browser_; }
    TFrmPreview* ResultWindowIfAny() const { return preview_; }
    // The save-folder bar, the saved-files list and the preview.
    SavedFilesPanel& SavedFiles() { return *savedFiles_; }

    // SaveFolder, CurPicName, PicIndex and DefaultSavePath, lent to the panels.
    WindowState& State() { return state_; }

    // IExtractionView
    std::string AddressBoxText() override;
    void HideAddressDropDown() override;
    int SelectedDocType() override;
    void ShowMessage(const std::string& text) override;
    void SetMemoText(const std::string& text) override;
    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void StepProgress() override;
    bool IsTabVisible(MainPage page) override;
    void SetTabVisible(MainPage page, bool visible) override;
    void SetPageCaption(MainPage page, const std::string& caption) override;
    void SetActivePage(MainPage page) override;
    IBrowser& ResultWindow(bool imageMode) override;
    std::vector<std::string> TextResource(const std::string& name) override;
    void RefreshSavedList() override;

    // ISaveFolderHost
    std::string SaveFolder() const override { return state_.SaveFolder; }
    void ShowHint(const std::string& text) override;
    void SetSaveFolderBoxText(const std::string& text) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void SetupCaptionsAndImages();
    void BuildComponents();
    void FormResize();
    void ApplyStartValues();
    bool LBDocTypeEvent(QEvent* event);

    MainWindowServices s_;
    std::unique_ptr<WebEngineBrowser> browser_;
    std::unique_ptr<Extraction> extraction_;
    TFrmPreview* preview_ = nullptr;
    WindowState state_;
    SavedFilesPanel* savedFiles_{};  // owned by the window, like the parts it builds

    // Components, named as the window's design names them.
    QFrame* PnlTop{};
    QFrame* PnlBottom{};
    QWidget* SbMain{};
    QWidget* SbPicName{};
    QLabel* Label1{};
    QLabel* ImgURL{};
    QLineEdit* EdtURL{};
    QWidget* Panel2{};
    QToolButton* BtnOpenWebpage{};
    QCheckBox* CbPath{};
    QGroupBox* PnlPath{};    // the saved-files panel's parts that the window lays out
    QLabel* ImgTopBG{};
    QLineEdit* EdtPicPath{};
    QSplitter* SplitterTop{};
    QWidget* SbLeft{};
    QLabel* Image28{};
    QListWidget* LBDocType{};
    QWidget* PnlRight{};
    QSplitter* Splitter1{};
    QWidget* SbCenter{};
    QTabWidget* PageControl1{};
    QWidget* TabSheet1{};
    QWidget* PnlMain{};
    QWebEngineView* WebBrowser1{};
    QListWidget* lbFrames{};
    QWidget* TSOutput{};
    QWidget* TbSource{};
    QPlainTextEdit* MmMessage{};
    QWidget* PnlHint{};
    QLabel* LblHint{};
    QProgressBar* ProgressBar1{};
    QFrame* PnlBrowserPages{};
    QListWidget* BrowserList{};
};

}  // namespace nuv
