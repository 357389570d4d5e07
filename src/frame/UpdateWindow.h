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
class QWebEngineCertificateError;
class QWebEngineView;

namespace nuv {

class WebEngineBrowser;

// The online update window. Every showing loads the update page into a browser kept out
// of view; 250 ms after it has arrived the page is checked, and a newer version gets its
// updater downloaded into the program's folder on a worker thread, where it replaces the
// older one only when the maker's signature proves it genuine. Closing only hides the
// window. Everything but the download runs on the user-interface thread.
class TFrmUpdate : public QWidget {
    Q_OBJECT
public:
    TFrmUpdate(FrameServices services, QWidget* owner);
    // Stops a running download and waits for its thread.
    ~TFrmUpdate() override;

    // Whether the browser holds a genuine update page: one from https on the maker's host
    // that carries the marker. Shows the page over the whole of PnlMain (w x h) and hides
    // `picture` when it does; otherwise moves the browser out of view and shows the picture.
    bool ShowUpdatePage(WebEngineBrowser& browser, int w, int h, QLabel* picture);
    // Whether the page in the browser offers a newer version; reads it into Info().
    bool CheckUpdatePage(WebEngineBrowser& browser);
    void EvaluateUpdate();
    // Starts the download of the updater, unless its address is not https on the maker's
    // host or the program's folder cannot be written, which the window then says. The
    // download follows redirects on the maker's host only.
    void StartUpdateDownload();
    void SpeedButton3Click();

    const UpdateInfo& Info() const { return info_; }
    // The updater's file: the program's folder + "update.exe".
    const std::string& UpdaterPath() const { return updaterPath_; }
    bool Downloading() const { return downloading_; }
    // Where the window's message boxes stand: its left + 80 and top + 30 when it was made.
    ScreenPoint MessagePoint() const { return messagePoint_; }
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
    // `version` is the one the update page announced.
    void StartDownloadThread(const std::string& address, float version);
    // What became of a download: the verdict on the file once it arrived, or why it did not.
    struct DownloadOutcome {
        bool arrived = false;
        UpdaterVerdict verdict = UpdaterVerdict::NotInstalled;
        std::string why;
        std::string redirectedTo;  // the address off the maker's host a redirect named, if any
    };
    // Runs on the worker thread: waits, downloads the updater and its signed manifest,
    // installs it when genuine and of `version`, and hands the outcome to the UI thread.
    // `offHost` receives the address of a redirect that was refused for leaving the maker's host.
    void DownloadUpdateThread(std::string address, float version, std::unique_ptr<IDownloader> downloader,
                              std::shared_ptr<std::string> offHost);
    // On the UI thread, once the worker is done.
    void DownloadFinished(const DownloadOutcome& outcome);
    // Moves the browser out of view and shows the banner in its place.
    void HidePage();
    // A message box at MessagePoint.
    void Message(const std::string& text);
    // Says `text` in the hint label and in a message box.
    void Refuse(const std::string& text);
    // Lets the page's server present one of the extra trusted certificates.
    void AcceptTrustedCertificate(const QWebEngineCertificateError& error);

    FrameServices s_;
    std::unique_ptr<WebEngineBrowser> browser_;
    UpdateInfo info_;
    std::string updaterPath_;
    ScreenPoint messagePoint_;
    // Whether the check of this showing's page is still to come. It runs once: a page that
    // loads again by itself is not checked again, and a download is never interrupted.
    bool checkPending_ = false;
    std::thread worker_;
    std::atomic<bool> downloading_{false};
    std::atomic<bool> cancel_{false};
};

}  // namespace nuv
