#include "platform/PageScripts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRandomGenerator>

#include "platform/QtResources.h"

namespace nuv::scripts {
namespace {

QString JsString(const QString& s) {
    // A JSON string is a valid JavaScript string literal.
    return QString::fromUtf8(QJsonDocument(QJsonArray{QJsonValue(s)}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// The most characters of addresses that one read of links or pictures hands over, so that
// the answer of a page that makes millions of long ones stays of a size the program takes.
constexpr qsizetype kAddressText = qsizetype{64} << 20;

// A secret of this run of the program, known only to its own scripts.
const QString& ProgramSecret() {
    static const QString secret = [] {
        QString hex;
        for (int i = 0; i < 4; ++i) hex += QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
        return hex;
    }();
    return secret;
}

// The seal the program's scripts of a document share (window.__nuvSeal), defined once a
// document by whichever of them runs first.
const QString& ProgramSeal() {
    static const QString source = LoadScriptResource("program-seal").arg(ProgramSecret()) + QLatin1Char('\n');
    return source;
}

}  // namespace

QString WebChannelBootstrap() {
    QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!channelJs.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(channelJs.readAll());
}

QString FrameReporter() {
    static const QString source = ProgramSeal() + LoadScriptResource("frame-reporter");
    return source;
}

QString TopElementOuterHtml() {
    static const QString source = LoadScriptResource("top-element-outer-html");
    return source;
}

QString DocumentTitle() {
    return QStringLiteral("(function () { return document ? String(document.title) : null; })()");
}

QString BodyInnerText() {
    return QStringLiteral(
        "(function () { return document.body ? String(document.body.innerText) : null; })()");
}

QString BodyOuterHtml() {
    return QStringLiteral(
        "(function () { return document.body ? String(document.body.outerHTML) : null; })()");
}

QString FrameTree() {
    static const QString source = LoadScriptResource("frame-tree");
    return source;
}

QString DocumentLinks(qsizetype limit) {
    static const QString source = LoadScriptResource("document-links");
    return source.arg(limit).arg(kAddressText);
}

QString ShownPicturesReader() {
    static const QString source = ProgramSeal() + LoadScriptResource("shown-pictures-reader");
    return source;
}

QString ShownPicturesAsk(const QString& id, qsizetype limit) {
    return ShownPicturesReader() +
           QStringLiteral("\nwindow.__nuvShownAsk(%1, %2, %3);\n").arg(JsString(id)).arg(limit).arg(kAddressText) +
           ShownPicturesAnswer(id);
}

QString ShownPicturesAnswer(const QString& id, bool whole) {
    static const QString source = LoadScriptResource("shown-pictures-answer");
    return source.arg(JsString(id), whole ? QStringLiteral("true") : QStringLiteral("false"));
}

QString PageScrollStep(bool scroll) {
    static const QString source = LoadScriptResource("page-scroller");
    return source.arg(scroll ? QStringLiteral("true") : QStringLiteral("false"));
}

QString RecordShownPictures(bool on) {
    return on ? QStringLiteral("window.__nuvRecordShown = true; if (window.__nuvShownStart) window.__nuvShownStart();")
              : QStringLiteral("window.__nuvRecordShown = false;");
}

QString ResultClickHook(const QString& objectName) {
    static const QString source = LoadScriptResource("result-click-hook");
    return source.arg(JsString(objectName));
}

QString FlashPlayerLoader(const QString& playerJs, const QString& publicPath, bool gpu) {
    static const QString config = LoadScriptResource("flash-player-config");
    // This engine's fetch() refuses the program's own schemes, so the player's fetch of
    // its WebAssembly goes through XMLHttpRequest, which takes them; every other address
    // goes to the page's fetch untouched.
    static const QString fetchFiles = LoadScriptResource("flash-player-fetch");
    static const QString handOver = LoadScriptResource("flash-player-handover");
    const QString settings = config.arg(JsString(publicPath), gpu ? QStringLiteral("null") : QStringLiteral("'canvas'"));
    return settings + fetchFiles + QLatin1Char('\n') + playerJs + QStringLiteral("\n;\n") + handOver;
}

QString ResultPageLayout() {
    static const QString source = LoadScriptResource("result-page-layout");
    return source;
}

QString ResultPictureFilter() {
    static const QString source = LoadScriptResource("result-picture-filter");
    return source;
}

QString SetResultPictureGroups(const QString& groupsJson) {
    return QStringLiteral("(function (g) { if (window.__nuvSetPictureGroups) window.__nuvSetPictureGroups(g); })(%1)")
        .arg(groupsJson);
}

QString SetResultPictureTypes(const QString& typesJson) {
    return QStringLiteral("(function (t) { if (window.__nuvSetPictureTypes) window.__nuvSetPictureTypes(t); })(%1)")
        .arg(typesJson);
}

QString ResultFilterState() {
    return QStringLiteral(
        "(function () { return JSON.stringify(window.__nuvFilterState ? window.__nuvFilterState() : null); })()");
}


}  // namespace nuv::scripts
