#include "platform/PageScripts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QWebEngineScriptCollection>

namespace nuv::scripts {
namespace {

QString JsString(const QString& s) {
    // A JSON string is a valid JavaScript string literal.
    return QString::fromUtf8(QJsonDocument(QJsonArray{QJsonValue(s)}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

}  // namespace

void Install(QWebEngineScriptCollection& collection, const QString& name, const QString& source,
             bool subframes) {
    if (!collection.find(name).isEmpty()) return;
    QWebEngineScript s;
    s.setName(name);
    s.setSourceCode(source);
    s.setInjectionPoint(QWebEngineScript::DocumentCreation);
    s.setWorldId(kWorld);
    s.setRunsOnSubFrames(subframes);
    collection.insert(s);
}

QString WebChannelBootstrap() {
    QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!channelJs.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(channelJs.readAll());
}


QString FrameReporter() {
    return QStringLiteral(R"JS(
(function () {
  if (window.top === window) {
    if (!window.__nuvFrames) {
      window.__nuvFrames = {};
      window.addEventListener('message', function (ev) {
        var d = ev.data;
        if (d && typeof d === 'object' && d.__nuvFrame === 1 && typeof d.path === 'string')
          window.__nuvFrames[d.path] = {href: String(d.href), complete: d.state === 'complete'};
      });
    }
    return;
  }
  function pathOf(w) {
    var path = [];
    while (w !== w.top) {
      var p = w.parent, found = -1;
      for (var i = 0; i < p.length; i++) { if (p[i] === w) { found = i; break; } }
      if (found < 0) return null;
      path.unshift(found);
      w = p;
    }
    return path.join('/');
  }
  function report() {
    try {
      var path = pathOf(window);
      if (path !== null)
        window.top.postMessage({__nuvFrame: 1, path: path, href: location.href, state: document.readyState}, '*');
    } catch (e) {}
  }
  report();
  window.addEventListener('DOMContentLoaded', report);
  window.addEventListener('load', report);
})();
)JS");
}

QString TopElementOuterHtml() {
    return QStringLiteral(R"JS(
(function () {
  if (!document.body) return null;
  var e = document.body;
  while (e.parentElement) e = e.parentElement;
  return e.outerHTML;
})()
)JS");
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
    return QStringLiteral(R"JS(
(function () {
  var reports = window.__nuvFrames || {};
  var pending = 0;
  function walk(w, path) {
    var node = {url: '', frames: []};
    if (path === '') {
      node.url = location.href;
    } else {
      var href = null, complete = false;
      try { href = w.location.href; complete = w.document.readyState === 'complete'; } catch (e) { href = null; }
      if (href === null || href === undefined) {
        var r = reports[path];
        if (r) { href = r.href; complete = r.complete; }
      }
      // A frame still loading, or one that has not reported yet, may still change.
      if (!complete) pending++;
      node.url = (href === undefined || href === null || href === '') ? 'about:blank' : String(href);
    }
    var n = 0;
    try { n = w.length; } catch (e) { n = 0; }
    for (var i = 0; i < n; i++) {
      var child = null;
      try { child = w[i]; } catch (e) { child = null; }
      if (child) node.frames.push(walk(child, path === '' ? String(i) : path + '/' + i));
    }
    return node;
  }
  var tree = walk(window, '');
  return JSON.stringify({tree: tree, pending: pending});
})()
)JS");
}

QString DocumentLinks() {
    return QStringLiteral(R"JS(
(function () {
  var out = [];
  var links = document.links;
  for (var i = 0; i < links.length; i++) {
    var h = links[i].href;
    out.push(h === undefined || h === null ? '' : String(h));
  }
  return JSON.stringify(out);
})()
)JS");
}

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
