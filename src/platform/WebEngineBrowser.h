#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include <QByteArray>
#include <QEventLoop>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include "web/Browser.h"

class QWebEngineView;
class QWebEngineProfile;

namespace nuv {

// Serves documents that the program generates, from memory, under the scheme
// "nuvdoc:". There is no size limit (unlike setHtml's data address).
class MemoryDocumentHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    // Stores `html` and returns the address that serves it. Each document is served once
    // more after a reload; older ones are dropped.
    QUrl Publish(const QByteArray& html);
    // The bytes served under `address`, empty when it serves none.
    QByteArray Served(const QUrl& address) const;
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QHash<QString, QByteArray> documents_;
    quint64 next_ = 1;
};

// Registers the program's own URL schemes. Must run before the QApplication exists.
void RegisterBrowserSchemes();


// The program's browser control over a QWebEngineView whose page carries the program's
// scripts (platform/WebPage.h; a view that still has a plain page gets one); its pages play Flash movies when the player is there
// (platform/FlashPlayer.h). Runs on the user-interface thread; document reads wait for the
// engine in a nested event loop.
class WebEngineBrowser : public QObject, public IBrowser {
    Q_OBJECT
public:
    explicit WebEngineBrowser(QWebEngineView* view, QObject* parent = nullptr);

    void Navigate(const std::string& address) override;
    std::string LocationURL() override;
    int ReadyState() override;
    bool ProcessEvents() override;
    bool HasDocument() override;
    void LoadDocumentFromMemory(const std::string& html) override;
    std::string DocumentTitle() override;
    std::string BodyInnerText() override;
    std::string TopElementOuterHtml() override;
    FrameDocument DocumentTree() override;
    DocumentLinkList DocumentLinks(size_t limit) override;
    ShownPictureList ShownPictures(size_t limit) override;

    // The body's markup with the body element itself. Throws BrowserError when there is
    // no document or no body.
    std::string BodyOuterHtml();
    // Runs one of the program's page scripts (platform/PageScripts.h) in the document and
    // returns its text answer. Throws BrowserError when there is no document or no text.
    std::string RunProgramScript(const QString& script);

    // Whether the documents of the page record every picture they show from their load on,
    // so that ShownPictures also lists those whose elements went again (a feed that keeps
    // only its last screens). A document already loaded starts recording at once.
    void RecordShownPictures(bool on);

    QWebEngineView* View() const { return view_; }
    // How long a document read may wait for the engine.
    void SetScriptTimeout(int ms) { scriptTimeoutMs_ = ms; }
    // How long a frame walk may wait, after a load, for frames that are still loading or
    // have not reported their address.
    void SetFrameReportLimit(int ms) { frameReportLimitMs_ = ms; }
    // Waits until every frame of the page has reported its address, or the limit has
    // passed since the first wait of this load. Returns true when every frame reported.
    bool WaitForFrames();
    // Ends every wait on this browser, now and later: the window that shows it is closing.
    void Close();
    // True once Close ran or the application was asked to quit.
    bool Closed() const;

signals:
    // The engine's load progress (0..100) and the end of a load.
    void ProgressChange(int progress, int maximum);
    void NavigateComplete(bool ok);

private:
    QVariant RunScript(const QString& script);
    std::string RunTextScript(const QString& script, const char* what);
    // Runs a nested event loop for at most `ms`, or until Close or quit. False when closed.
    bool Pause(int ms);
    FrameDocument ReadFrameTree(int& pending);
    // The frame tree once every frame reported, or when the bound of this load passed.
    FrameDocument SettledFrameTree(bool& complete);

    QPointer<QWebEngineView> view_;
    int readyState_ = ready_state::kUninitialised;
    bool loadedOnce_ = false;
    int scriptTimeoutMs_ = 15000;
    int frameReportLimitMs_ = 2000;
    bool closed_ = false;
    // When the frame walk of the current load stops waiting; unset until it first waits.
    std::optional<std::chrono::steady_clock::time_point> frameDeadline_;
    QPointer<QEventLoop> waiting_;  // the nested loop of the wait in progress, if any
};

// The handler shared by every browser of the process (created on first use).
MemoryDocumentHandler& MemoryDocuments();

}  // namespace nuv
