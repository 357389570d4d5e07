#include "platform/WebEngineBrowser.h"

#include <algorithm>
#include <limits>
#include <memory>


#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>

#include "platform/FlashPlayer.h"
#include "platform/PageScripts.h"
#include "platform/QtText.h"
#include "platform/WebPage.h"
#include "web/DocumentBridge.h"

namespace nuv {
namespace {

const QByteArray kScheme = QByteArrayLiteral("nuvdoc");

FrameDocument FrameFromJson(const QJsonObject& o, int depth) {
    FrameDocument d;
    d.url = ToUtf8(o.value(QStringLiteral("url")).toString());
    if (depth > 64) return d;  // a page cannot nest frames deeper than the engine allows
    for (const QJsonValue& v : o.value(QStringLiteral("frames")).toArray())
        d.frames.push_back(FrameFromJson(v.toObject(), depth + 1));
    return d;
}

// Set once the application is asked to quit: a Quit event reaches it (the last window
// closed, or QCoreApplication::quit). Every wait on a browser ends then.
bool quitting = false;

class QuitWatcher : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The application then leaves every running event loop; waits must not start anew.
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) quitting = true;
        return false;
    }
};

void WatchForQuit() {
    static QuitWatcher* watcher = [] {
        auto* w = new QuitWatcher(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(w);
        return w;
    }();
    (void)watcher;
}

}  // namespace

void RegisterBrowserSchemes() {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
    // The Flash player's files, loaded by pages of any address: secure, so that https pages
    // may load its scripts; CORS, so that they may fetch its WebAssembly; beyond the pages'
    // content security rules, which never meant to keep the player out.
    QWebEngineUrlScheme player(kPlayerScheme);
    player.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    player.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled |
                    QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
    QWebEngineUrlScheme::registerScheme(player);
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

QByteArray MemoryDocumentHandler::Served(const QUrl& address) const {
    return documents_.value(address.path().section(QLatin1Char('/'), -1));
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
    WatchForQuit();
    // The program's scripts come with its own page; a view without one gets a WebPage.
    if (qobject_cast<WebPage*>(view->page()) == nullptr) view->setPage(new WebPage(view));
    QWebEnginePage* page = view->page();
    connect(page, &QWebEnginePage::loadStarted, this, [this] {
        readyState_ = ready_state::kLoading;
        loadedOnce_ = true;
        frameDeadline_.reset();
    });
    connect(page, &QWebEnginePage::loadProgress, this, [this](int p) { emit ProgressChange(p, 100); });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        readyState_ = ready_state::kComplete;
        emit NavigateComplete(ok);
    });
}

void WebEngineBrowser::Navigate(const std::string& address) {
    if (!view_) return;
    // As the address box of a browser reads it: blanks around it dropped, a missing scheme
    // completed, a local path opened as a file.
    const QUrl url = QUrl::fromUserInput(FromUtf8(address).trimmed(), QString(), QUrl::AssumeLocalFile);
    readyState_ = ready_state::kLoading;
    loadedOnce_ = true;
    frameDeadline_.reset();
    view_->load(url.isValid() ? url : QUrl(FromUtf8(address)));
}

std::string WebEngineBrowser::LocationURL() {
    if (!view_ || !loadedOnce_) return {};
    // Fully percent-encoded, as frame addresses and document links are.
    return ToUtf8(view_->url().toString(QUrl::FullyEncoded));
}

int WebEngineBrowser::ReadyState() { return readyState_; }

void WebEngineBrowser::Close() {
    closed_ = true;
    if (waiting_) waiting_->quit();
}

bool WebEngineBrowser::Closed() const { return closed_ || quitting || !view_; }

bool WebEngineBrowser::Pause(int ms) {
    if (Closed()) return false;
    QEventLoop loop;
    waiting_ = &loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return !Closed();
}

bool WebEngineBrowser::ProcessEvents() { return Pause(10); }

bool WebEngineBrowser::HasDocument() { return view_ && loadedOnce_; }

void WebEngineBrowser::LoadDocumentFromMemory(const std::string& html) {
    if (!view_) throw BrowserError("the browser is gone");
    readyState_ = ready_state::kLoading;
    loadedOnce_ = true;
    view_->load(MemoryDocuments().Publish(QByteArray(html.data(), static_cast<qsizetype>(html.size()))));
}

QVariant WebEngineBrowser::RunScript(const QString& script) {
    if (!view_ || !loadedOnce_) throw BrowserError("no document");
    if (Closed()) throw BrowserError("the browser is closing");
    // The answer may come after this wait has given up, or while the page is destroyed:
    // the callback owns what it writes to.
    struct Answer {
        QVariant value;
        bool done = false;
        QPointer<QEventLoop> loop;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    answer->loop = &loop;
    view_->page()->runJavaScript(script, scripts::kWorld, [answer](const QVariant& v) {
        answer->value = v;
        answer->done = true;
        if (answer->loop) answer->loop->quit();
    });
    if (!answer->done) {
        waiting_ = &loop;
        QTimer::singleShot(scriptTimeoutMs_, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!answer->done) throw BrowserError(Closed() ? "the browser is closing" : "the page did not answer");
    const QVariant result = answer->value;
    return result;
}

std::string WebEngineBrowser::RunTextScript(const QString& script, const char* what) {
    const QVariant v = RunScript(script);
    if (!v.isValid() || v.isNull() || v.typeId() != QMetaType::QString) throw BrowserError(what);
    return ToUtf8(v.toString());
}

std::string WebEngineBrowser::DocumentTitle() { return RunTextScript(scripts::DocumentTitle(), "no document"); }

std::string WebEngineBrowser::BodyInnerText() { return RunTextScript(scripts::BodyInnerText(), "no body"); }

std::string WebEngineBrowser::BodyOuterHtml() { return RunTextScript(scripts::BodyOuterHtml(), "no body"); }

std::string WebEngineBrowser::TopElementOuterHtml() {
    return RunTextScript(scripts::TopElementOuterHtml(), "no body");
}

FrameDocument WebEngineBrowser::ReadFrameTree(int& pending) {
    const std::string json = RunTextScript(scripts::FrameTree(), "no document");
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())));
    if (!doc.isObject()) throw BrowserError("unreadable frame tree");
    pending = doc.object().value(QStringLiteral("pending")).toInt();
    return FrameFromJson(doc.object().value(QStringLiteral("tree")).toObject(), 0);
}

FrameDocument WebEngineBrowser::SettledFrameTree(bool& complete) {
    int pending = 0;
    FrameDocument tree = ReadFrameTree(pending);
    if (pending > 0) {
        // Frames of other sites report from their own processes, after the page's load;
        // one bound a load, so a frame that never reports delays only the first walk.
        const auto now = std::chrono::steady_clock::now();
        if (!frameDeadline_) frameDeadline_ = now + std::chrono::milliseconds(frameReportLimitMs_);
        while (pending > 0 && std::chrono::steady_clock::now() < *frameDeadline_) {
            if (!Pause(20)) throw BrowserError("the browser is closing");
            tree = ReadFrameTree(pending);
        }
    }
    complete = pending == 0;
    return tree;
}

bool WebEngineBrowser::WaitForFrames() {
    bool complete = false;
    SettledFrameTree(complete);
    return complete;
}

FrameDocument WebEngineBrowser::DocumentTree() {
    bool complete = false;
    return SettledFrameTree(complete);
}

std::string WebEngineBrowser::RunProgramScript(const QString& script) { return RunTextScript(script, "no answer"); }

namespace {

// A count the program's scripts give, as a size.
size_t CountOf(const QJsonValue& v) { return static_cast<size_t>(std::max(0.0, v.toDouble())); }

// At most this many: a script's answer is never taken beyond what was asked.
qsizetype ScriptLimit(size_t limit) {
    return static_cast<qsizetype>(std::min<size_t>(limit, std::numeric_limits<int>::max()));
}

}  // namespace

ShownPictureList WebEngineBrowser::ShownPictures(size_t limit) {
    const QString id = QString::number(QRandomGenerator::global()->generate64(), 36);
    const auto read = [this](const QString& script, int& pending) {
        const std::string json = RunTextScript(script, "no document");
        const QJsonObject o =
            QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size()))).object();
        pending = o.value(QStringLiteral("pending")).toInt();
        return o;
    };
    int pending = 0;
    QJsonObject answer = read(scripts::ShownPicturesAsk(id, ScriptLimit(limit)), pending);
    // Frames of other sites answer from their own processes, mostly while the top reads its
    // own, their answers arriving once it has; one that never does is given up. Until the
    // last has answered, each look tells only how many wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(frameReportLimitMs_);
    for (int looks = 0; pending > 0; ++looks) {
        if (looks > 0 && !Pause(2)) throw BrowserError("the browser is closing");
        const bool last = std::chrono::steady_clock::now() >= deadline;
        answer = read(scripts::ShownPicturesAnswer(id, last), pending);
        if (last) break;
    }
    ShownPictureList list;
    const QJsonObject cut = answer.value(QStringLiteral("cut")).toObject();
    list.documentsCut = CountOf(cut.value(QStringLiteral("documents")));
    list.picturesCut = CountOf(cut.value(QStringLiteral("pictures")));
    for (const QJsonValue& document : answer.value(QStringLiteral("documents")).toArray()) {
        for (const QJsonValue& v : document.toArray()) {
            if (list.pictures.size() >= limit) {
                ++list.picturesCut;
                continue;
            }
            const QJsonObject p = v.toObject();
            list.pictures.push_back({ToUtf8(p.value(QStringLiteral("u")).toString()), p.value(QStringLiteral("w")).toInt(),
                                     p.value(QStringLiteral("h")).toInt(), ToUtf8(p.value(QStringLiteral("t")).toString())});
        }
    }
    return list;
}

void WebEngineBrowser::RecordShownPictures(bool on) {
    if (!view_) return;
    QWebEnginePage* page = view_->page();
    QWebEngineScriptCollection& collection = page->scripts();
    const QString name = QStringLiteral("nuv-record-shown");
    const QList<QWebEngineScript> installed = collection.find(name);
    if (on == !installed.isEmpty()) return;
    for (const QWebEngineScript& s : installed) collection.remove(s);
    if (on) {
        QWebEngineScript s;
        s.setName(name);
        s.setSourceCode(scripts::RecordShownPictures(true));
        s.setInjectionPoint(QWebEngineScript::DocumentCreation);
        s.setWorldId(scripts::kWorld);
        s.setRunsOnSubFrames(true);
        collection.insert(s);
    }
    // The document that stands now records from this moment on, or no longer.
    page->runJavaScript(scripts::RecordShownPictures(on), scripts::kWorld);
}

DocumentLinkList WebEngineBrowser::DocumentLinks(size_t limit) {
    const std::string json = RunTextScript(scripts::DocumentLinks(ScriptLimit(limit)), "no document");
    const QJsonObject o = QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size()))).object();
    DocumentLinkList out;
    out.cut = CountOf(o.value(QStringLiteral("cut")));
    for (const QJsonValue& v : o.value(QStringLiteral("links")).toArray()) {
        if (out.links.size() >= limit) {
            ++out.cut;
            continue;
        }
        out.links.push_back(ToUtf8(v.toString()));
    }
    return out;
}

}  // namespace nuv
