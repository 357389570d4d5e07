#pragma once

#include <memory>
#include <string>

#include <QWidget>

#include "app/logic/Settings.h"
#include "app/logic/TypedAddresses.h"
#include "common/Dialogs.h"
#include "common/Shell.h"
#include "common/WindowPorts.h"
#include "common/WindowState.h"
#include "extract/Extraction.h"
#include "extract/ExtractionPorts.h"
#include "library/SavedFilesPanel.h"
#include "web/Downloader.h"
#include "web/PageFetcher.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSplitter;
class QToolButton;

namespace nuv {

class AddressBar;
class DocTypePanel;
class HintBar;
class PageTabs;
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

// The main window. Every handler runs on the user-interface thread.
class TFrmWebpageAnalysis : public QWidget,
                            public IAddressBox,
                            public IMainTabs,
                            public IResultSurface,
                            public IProgressBar,
                            public IHintBar,
                            public ISaveFolder,
                            public ISavedList {
    Q_OBJECT
public:
    explicit TFrmWebpageAnalysis(MainWindowServices services, QWidget* parent = nullptr);
    ~TFrmWebpageAnalysis() override;

    // Opens the address of EdtURL.
    void OpenTypedAddress();
    // Refills the address history and shows it under the address box.
    void ShowAddressHistory();
    // Copies the selected history entry (the first when none is) into EdtURL and opens it.
    void OpenSelectedHistoryEntry();
    void LBDocTypeClick();
    void CbPathClick();

    Extraction& Extractor() { return *extraction_; }
    WebEngineBrowser& MainBrowser() { return *browser_; }
    TFrmPreview* ResultWindowIfAny() const { return preview_; }
    // The save-folder bar, the saved-files list and the preview.
    SavedFilesPanel& SavedFiles() { return *savedFiles_; }

    // SaveFolder, CurPicName, PicIndex and DefaultSavePath, lent to the panels.
    WindowState& State() { return state_; }

    // IAddressBox
    std::string AddressBoxText() override;
    void HideAddressDropDown() override;
    // IMainTabs
    void SetMemoText(const std::string& text) override;
    bool IsTabVisible(MainPage page) override;
    void SetTabVisible(MainPage page, bool visible) override;
    void SetPageCaption(MainPage page, const std::string& caption) override;
    void SetActivePage(MainPage page) override;
    // IResultSurface
    IBrowser& ResultWindow(bool imageMode) override;
    // IProgressBar, IHintBar
    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void StepProgress() override;
    void ShowHint(const std::string& text) override;
    // ISaveFolder, ISavedList
    std::string SaveFolder() const override { return state_.SaveFolder; }
    void RefreshSavedList() override;
    void SaveFolderUnusable() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void SetupCaptionsAndImages();
    void BuildComponents();
    void FormResize();
    void LoadSettings();
    void SaveSettings();
    bool EdtURLKeyDown(int key);
    bool BrowserListKeyDown(int key);
    void BrowserListMouseDown(const QPoint& pos);
    TypedAddressSources HistorySources() const;

    MainWindowServices s_;
    std::unique_ptr<WebEngineBrowser> browser_;
    std::unique_ptr<ExtractionPresenter> presenter_;
    std::unique_ptr<Extraction> extraction_;
    TFrmPreview* preview_ = nullptr;
    WindowState state_;
    SettingsLocation settings_;  // where LoadSettings read and SaveSettings writes
    std::string loadedPicPath_;  // the two box texts as read, byte for byte
    std::string loadedURLPath_;

    // The panels, each owning the components the window's design names in it.
    QFrame* PnlTop{};
    QFrame* PnlBottom{};
    QWidget* SbMain{};
    AddressBar* addressBar_{};
    QSplitter* SplitterTop{};
    QSplitter* Splitter1{};
    QWidget* SbLeft{};
    DocTypePanel* docTypes_{};
    QWidget* SbCenter{};
    PageTabs* pages_{};
    HintBar* hintBar_{};
    // The lower left panel that holds the brand panel.
    QWidget* PnlRight{};

    // The saved-files column, and the parts of it that the window lays out.
    SavedFilesPanel* savedFiles_{};
    QGroupBox* PnlPath{};
    QLabel* ImgTopBG{};
    QLineEdit* EdtPicPath{};
};

}  // namespace nuv
