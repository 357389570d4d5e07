#include "app/WebEngineBrowser.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include "app/PageScripts.h"
#include "app/QtText.h"

namespace nuv {
namespace {

const QByteArray kScheme = QByteArrayLiteral("nuvdoc");

void InstallFrameReporter(QWebEngineProfile* profile) {
    static const QString kName = QStringLiteral("nuv-frame-reporter");
    auto* scripts = profile->scripts();
    if (!scripts->find(kName).isEmpty()) return;
    QWebEngineScript s;
    s.setName(kName);
    s.setSourceCode(scripts::FrameReporter());
    s.setInjectionPoint(QWebEngineScript::DocumentCreation);
    s.setWorldId(QWebEngineScript::ApplicationWorld);
    s.setRunsOnSubFrames(true);
    scripts->insert(s);
}

FrameDocument FrameFromJson(const QJsonObject& o, int depth) {
    FrameDocument d;
    d.url = ToUtf8(o.value(QStringLiteral("url")).toString());
    if (depth > 64) return d;  // a page cannot nest frames deeper than the engine allows
    for (const QJsonValue& v : o.value(QStringLiteral("frames")).toArray())
        d.frames.push_back(FrameFromJson(v.toObject(), depth + 1));
    return d;
}

}  // namespace

void RegisterBrowserSchemes() {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

MemoryDocumentHandler& MemoryDocuments() {
    static MemoryDocumentHandler* handler = [] {
        auto* h = new MemoryDocumentHandler(QCoreApplication::instance());
        QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(kScheme, h);
        return h;
    }();
    return *handler;
}

QUrl MemoryDocumentHandler::Publish(const QByteArray& html) {
    const QString key = QString::number(next_++);
    // Keep the newest few: a reload of the page shown still finds its text.
    documents_.remove(QString::number(next_ - 9));
    documents_.insert(key, html);
    return QUrl(QStringLiteral("nuvdoc:/result/") + key);
}

void MemoryDocumentHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QString key = job->requestUrl().path().section(QLatin1Char('/'), -1);
    const auto it = documents_.constFind(key);
    if (it == documents_.constEnd()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto* buffer = new QBuffer(job);
    buffer->setData(it.value());
    buffer->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
}

WebEngineBrowser::WebEngineBrowser(QWebEngineView* view, QObject* parent)
    : QObject(parent), view_(view) {
    MemoryDocuments();
    InstallFrameReporter(view->page()->profile());
    QWebEnginePage* page = view->page();
    connect(page, &QWebEnginePage::loadStarted, this, [this] {
        readyState_ = 1;
        loadedOnce_ = true;
    });
    connect(page, &QWebEnginePage::loadProgress, this, [this](int p) { emit ProgressChange(p, 100); });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        readyState_ = 4;
        emit NavigateComplete(ok);
    });
}

void WebEngineBrowser::Navigate(const std::string& address) {
    if (!view_) return;
    readyState_ = 1;
    loadedOnce_ = true;
    view_->load(QUrl(QString::fromStdString(address)));
}

std::string WebEngineBrowser::LocationURL() {
    if (!view_ || !loadedOnce_) return {};
    return ToUtf8(view_->url().toString());
}

int WebEngineBrowser::ReadyState() { return readyState_; }

void WebEngineBrowser::ProcessEvents() {
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
}

bool WebEngineBrowser::HasDocument() { return view_ && loadedOnce_; }

void WebEngineBrowser::LoadDocumentFromMemory(const std::string& html) {
    if (!view_) throw BrowserError("the browser is gone");
    readyState_ = 1;
    loadedOnce_ = true;
    view_->load(MemoryDocuments().Publish(QByteArray(html.data(), static_cast<qsizetype>(html.size()))));
}

QVariant WebEngineBrowser::RunScript(const QString& script) {
    if (!view_ || !loadedOnce_) throw BrowserError("no document");
    QEventLoop loop;
    QVariant result;
    bool done = false;
    QPointer<QEventLoop> guard(&loop);
    view_->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                 [&result, &done, guard](const QVariant& v) {
                                     result = v;
                                     done = true;
                                     if (guard) guard->quit();
                                 });
    if (!done) {
        QTimer::singleShot(scriptTimeoutMs_, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!done) throw BrowserError("the page did not answer");
    return result;
}

std::string WebEngineBrowser::RunTextScript(const QString& script, const char* what) {
    const QVariant v = RunScript(script);
    if (!v.isValid() || v.isNull() || v.typeId() != QMetaType::QString) throw BrowserError(what);
    return ToUtf8(v.toString());
}

std::string WebEngineBrowser::DocumentTitle() { return RunTextScript(scripts::DocumentTitle(), "no document"); }

std::string WebEngineBrowser::BodyInnerText() { return RunTextScript(scripts::BodyInnerText(), "no body"); }

std::string WebEngineBrowser::TopElementOuterHtml() {
    return RunTextScript(scripts::TopElementOuterHtml(), "no body");
}

FrameDocument WebEngineBrowser::DocumentTree() {
    const std::string json = RunTextScript(scripts::FrameTree(), "no document");
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    if (!doc.isObject()) throw BrowserError("unreadable frame tree");
    return FrameFromJson(doc.object(), 0);
}

std::vector<std::string> WebEngineBrowser::DocumentLinks() {
    const std::string json = RunTextScript(scripts::DocumentLinks(), "no document");
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    std::vector<std::string> out;
    for (const QJsonValue& v : doc.array()) out.push_back(ToUtf8(v.toString()));
    return out;
}

}  // namespace nuv
