#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>
#include <QWidget>

#include "common/Dialogs.h"
#include "common/Shell.h"
#include "common/WindowPorts.h"
#include "extract/ExtractionLists.h"
#include "library/logic/ResultDownloads.h"
#include "web/Downloader.h"

class QWebEngineView;
class QToolButton;

namespace nuv {

class WebEngineBrowser;

// What the result window is built with; everything outlives the window.
struct PreviewServices {
    ISaveFolder& saveFolder;
    ISavedList& savedList;
    IHintBar& hints;
    IProgressBar& progress;  // ProgressBar1
    IDownloader& downloader;
    IDialogs& dialogs;
    IShell& shell;
    const ExtractionLists& lists;  // ImageURLs and FlashURLs of the batch downloads
    std::string& defaultSavePath;  // the program-wide DefaultSavePath
    std::string homeFolder;        // the user's home folder, ending in "/"
    std::vector<std::string> protectedFiles = {};  // never replaced by a download (full paths)
    // The address of the page whose lists the window shows: what the movie relay may reach.
    std::function<std::string()> pageAddress = {};
};

// The object that the result page's click listener calls through the web channel.
// Lives as long as the result window; every load of the page reconnects to it.
class TEventObject : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QString& tagName, const QString& address)>;
    TEventObject(Handler handler, QObject* parent);

    // Called when the filter bar of an image result page is drawn and waits for the types.
    std::function<void()> FilterReadyHandler;
    // Called when the filter bar's "隐藏相似图片" is ticked and waits for the groups.
    std::function<void()> SimilarWantedHandler;

public slots:
    // A click on an element of the result page: its tag name and its raw "href" or "src".
    void Click(const QString& tagName, const QString& address);
    // The filter bar of the image result page asks for the type of each picture.
    void FilterReady();
    // The filter bar asks which pictures look alike.
    void SimilarWanted();

private:
    Handler EventHandler;
};

// The result window: a browser that shows the result pages, and a bottom bar with the
// two batch-download buttons. Lives inside the main window's TSOutput tab until the
// program ends. A click on a picture or a link of the page downloads it into the save
// folder; links that open a new window open in the user's default browser instead.
// Runs on the user-interface thread; downloads block but let the window handle events.
class TFrmPreview : public QWidget {
    Q_OBJECT
public:
    TFrmPreview(PreviewServices services, QWidget* parent);
    ~TFrmPreview() override;

    WebEngineBrowser& Browser() { return *browser_; }
    QWebEngineView* WebBrowser1() const { return view_; }

    // Whether the batch download takes the images (set) or the Flash movies (clear).
    bool ImageMode() const { return downloads_->ImageMode; }
    void SetImageMode(bool imageMode) { downloads_->ImageMode = imageMode; }
    // The folder, ending in "/", into which the last downloads went.
    const std::string& TargetFolder() const { return downloads_->TargetFolder; }

    // A click in the result page on an element `tagName` whose link or source is `address`.
    void ResultPageClick(const std::string& tagName, const std::string& address);
    // Downloads one address into TargetFolder; `announce` adds the message box.
    void DownloadResource(const std::string& address, bool announce);
    // Downloads every address of the current list into TargetFolder.
    void SaveAllResources();
    void BtnSaveAllClick();
    void BtnSaveAllAsClick();

private:
    // The object the result page's click hook calls through the web channel.
    TEventObject* MakeEventObject();
    // Hands the filter of a shown image page the type of each listed picture.
    void HandPictureTypes();
    // Hands the filter of the image page the group of pictures alike of each listed picture,
    // from the difference hashes of their files: each picture is fetched once (through the
    // window's downloader, into a private folder, removed after), which blocks but lets the
    // window handle events, as its downloads do.
    void HandSimilarGroups();
    // The addresses the filter of the image page shows; nothing when no filter is set.
    std::optional<std::vector<std::string>> FilteredPictures();
    void OpenInDefaultBrowser(const QUrl& address);

    PreviewServices s_;
    std::unique_ptr<ResultDownloads> downloads_;
    QWebEngineView* view_;
    std::unique_ptr<WebEngineBrowser> browser_;
    TEventObject* eventObject_;
    QToolButton* btnSaveAll_;
    QToolButton* btnSaveAllAs_;
    std::map<std::string, std::optional<std::uint64_t>> looks_;  // the difference hash of each picture fetched
    bool comparing_ = false;  // HandSimilarGroups runs
};

}  // namespace nuv
