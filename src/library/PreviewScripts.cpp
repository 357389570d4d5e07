#include "library/PreviewScripts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace nuv::scripts {
namespace {

QString JsString(const QString& s) {
    // A JSON string is a valid JavaScript string literal.
    return QString::fromUtf8(QJsonDocument(QJsonArray{QJsonValue(s)}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

}  // namespace

QString ResultClickHook(const QString& objectName) {
    return QStringLiteral(R"JS(
(function () {
  if (window.__nuvClickHook) return;
  window.__nuvClickHook = true;
  var sink = null, pending = [];
  function report(tag, address) {
    if (sink) sink.Click(tag, address); else pending.push([tag, address]);
  }
  document.addEventListener('click', function (ev) {
    var el = ev.target;
    if (!el || el.nodeType !== 1) return;
    var tag = String(el.tagName || '').toLowerCase();
    var address = null;
    if (tag === 'a') address = el.getAttribute('href');
    else if (tag === 'img') address = el.getAttribute('src');
    report(tag, address === null || address === undefined ? '' : String(address));
  }, false);
  function connect() {
    if (sink || typeof QWebChannel === 'undefined' || !window.qt || !qt.webChannelTransport) return false;
    new QWebChannel(qt.webChannelTransport, function (channel) {
      sink = channel.objects[%1];
      if (!sink) return;
      window.__nuvClickHookReady = true;
      var queued = pending; pending = [];
      for (var i = 0; i < queued.length; i++) sink.Click(queued[i][0], queued[i][1]);
    });
    return true;
  }
  if (!connect()) document.addEventListener('DOMContentLoaded', connect);
})();
)JS")
        .arg(JsString(objectName));
}

}  // namespace nuv::scripts
