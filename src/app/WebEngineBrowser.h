#pragma once

#include <QByteArray>
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
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QHash<QString, QByteArray> documents_;
    quint64 next_ = 1;
};

// Registers the program's own URL schemes. Must run before the QApplication exists.
void RegisterBrowserSchemes();

// The program's browser control over a QWebEngineView. Runs on the user-interface
// thread; document reads wait for the engine in a nested event loop.
class WebEngineBrowser : public QObject, public IBrowser {
    Q_OBJECT
public:
    explicit WebEngineBrowser(QWebEngineView* view, QObject* parent = nullptr);

    void Navigate(const std::string& address) override;
    std::string LocationURL() override;
    int ReadyState() override;
    void ProcessEvents() override;
    bool HasDocument() override;
    void LoadDocumentFromMemory(const std::string& html) override;
    std::string DocumentTitle() override;
    std::string BodyInnerText() override;
    std::string TopElementOuterHtml() override;
    FrameDocument DocumentTree() override;
    std::vector<std::string> DocumentLinks() override;

    QWebEngineView* View() const { return view_; }
    // How long a document read may wait for the engine.
    void SetScriptTimeout(int ms) { scriptTimeoutMs_ = ms; }

signals:
    // The engine's load progress (0..100) and the end of a load.
    void ProgressChange(int progress, int maximum);
    void NavigateComplete(bool ok);

private:
    QVariant RunScript(const QString& script);
    std::string RunTextScript(const QString& script, const char* what);

    QPointer<QWebEngineView> view_;
    int readyState_ = 0;
    bool loadedOnce_ = false;
    int scriptTimeoutMs_ = 15000;
};

// The handler shared by every browser of the process (created on first use).
MemoryDocumentHandler& MemoryDocuments();

}  // namespace nuv
