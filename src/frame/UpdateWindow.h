#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include <QWidget>

#include "frame/FrameServices.h"
#include "frame/logic/UpdateRules.h"

class QLabel;
class QProgressBar;
class QTimer;
class QToolButton;
class QWebEngineView;

namespace nuv {

class WebEngineBrowser;

// The online update window. Every showing loads the update page into a browser kept out
// of view; 250 ms after it has arrived the page is checked, and a newer version gets its
// updater downloaded into the program's folder on a worker thread. Closing only hides
// the window. Everything but the download runs on the user-interface thread.
class TFrmUpdate : public QWidget {
    Q_OBJECT
public:
    TFrmUpdate(FrameServices services, QWidget* owner);
    // Stops a running download and waits for its thread.
    ~TFrmUpdate() override;

    // Whether the browser holds a genuine update page. Shows the page over the whole of
    // PnlMain (w x h) and hides `picture` when it does; otherwise moves the browser out of
    // view and shows the picture.
    bool ShowUpdatePage(WebEngineBrowser& browser, int w, int h, QLabel* picture);
    // Whether the page in the browser offers a newer version; reads it into Info().
    bool CheckUpdatePage(WebEngineBrowser& browser);
    void EvaluateUpdate();
    // Starts the download of the updater, unless its address is not https or the program's
    // folder cannot be written, which the window then says.
    void StartUpdateDownload();
    void SpeedButton3Click();

    const UpdateInfo& Info() const { return info_; }
    // The updater's file: the program's folder + "update.exe".
    const std::string& UpdaterPath() const { return updaterPath_; }
    bool Downloading() const { return downloading_; }
    WebEngineBrowser& Browser() { return *browser_; }

    QWidget* PnlMain{};
    QLabel* Image1{};
    QWebEngineView* WebBrowser1{};
    QProgressBar* ProgressBar1{};
    QLabel* LblHint{};
    QWidget* Panel2{};
    QToolButton* SpeedButton3{};
    QTimer* Timer1{};

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void Timer1Timer();
    void StartDownloadThread(const std::string& address);
    // Runs on the worker thread: waits, downloads, and hands the outcome to the UI thread.
    void DownloadUpdateThread(std::string address, std::unique_ptr<IDownloader> downloader);
    // On the UI thread, once the worker is done.
    void DownloadFinished(bool ok, const std::string& why);
    void Refuse(const std::string& text);

    FrameServices s_;
    std::unique_ptr<WebEngineBrowser> browser_;
    UpdateInfo info_;
    std::string updaterPath_;
    std::thread worker_;
    std::atomic<bool> downloading_{false};
    std::atomic<bool> cancel_{false};
};

}  // namespace nuv
