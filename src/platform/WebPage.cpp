#include "platform/WebPage.h"

#include <QWebChannel>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include "platform/FlashPlayer.h"
#include "platform/PageScripts.h"

namespace nuv {
namespace {

// Adds `source` under `name` to the scripts of `collection` that run at document creation
// in `world`, in the top document and, with `subframes`, in every frame. A name already
// there is kept.
void Install(QWebEngineScriptCollection& collection, const QString& name, const QString& source, bool subframes,
             quint32 world = scripts::kWorld) {
    if (!collection.find(name).isEmpty()) return;
    QWebEngineScript s;
    s.setName(name);
    s.setSourceCode(source);
    s.setInjectionPoint(QWebEngineScript::DocumentCreation);
    s.setWorldId(world);
    s.setRunsOnSubFrames(subframes);
    collection.insert(s);
}

}  // namespace

WebPage::WebPage(QObject* parent, bool playsMovies) : QWebEnginePage(parent) { InstallProgramScripts(playsMovies); }

WebPage::WebPage(QObject* resultSink, QObject* parent) : QWebEnginePage(parent) {
    // The hook is on the page before anything loads into it.
    ConnectResultSink(resultSink);
    InstallProgramScripts(true);
}

void WebPage::InstallProgramScripts(bool playsMovies) {
    QWebEngineProfile* profile = this->profile();
    Install(*profile->scripts(), QStringLiteral("nuv-frame-reporter"), scripts::FrameReporter(), true);
    Install(*profile->scripts(), QStringLiteral("nuv-shown-pictures"), scripts::ShownPicturesReader(), true);
    // Every page that is seen plays its Flash movies, its frames too, as they did with the
    // plug-in.
    if (!playsMovies) return;
    const QString player = FlashPlayerScript();
    if (player.isEmpty()) return;
    if (profile->urlSchemeHandler(kPlayerScheme) == nullptr)
        profile->installUrlSchemeHandler(kPlayerScheme, new PlayerFileHandler(profile));
    Install(scripts(), QStringLiteral("nuv-flash-player"), player, true, QWebEngineScript::MainWorld);
}

void WebPage::ConnectResultSink(QObject* sink) {
    auto* channel = new QWebChannel(this);
    channel->registerObject(sink->objectName(), sink);
    setWebChannel(channel, scripts::kWorld);
    // Clicks reach the window through Qt's qwebchannel.js; without it they cannot.
    const QString channelJs = scripts::WebChannelBootstrap();
    if (!channelJs.isEmpty()) {
        Install(scripts(), QStringLiteral("nuv-result-click-hook"),
                channelJs + QLatin1Char('\n') + scripts::ResultClickHook(sink->objectName()), false);
    }
    // Long addresses wrap in their cells, pictures show their pixel size, movies fit their
    // cells: by a script in the shown page, the page's markup stays as the renderers made it.
    Install(scripts(), QStringLiteral("nuv-result-layout"), scripts::ResultPageLayout(), false);
    // Pictures can be filtered by size and type: a bar drawn by a script over the image page.
    Install(scripts(), QStringLiteral("nuv-result-filter"), scripts::ResultPictureFilter(), false);
}

}  // namespace nuv
