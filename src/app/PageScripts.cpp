#include "app/PageScripts.h"

namespace nuv::scripts {

QString FrameReporter() {
    return QStringLiteral(R"JS(
(function () {
  if (window.top === window) {
    if (!window.__nuvFrames) {
      window.__nuvFrames = {};
      window.addEventListener('message', function (ev) {
        var d = ev.data;
        if (d && typeof d === 'object' && d.__nuvFrame === 1 && typeof d.path === 'string')
          window.__nuvFrames[d.path] = String(d.href);
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
      if (path !== null) window.top.postMessage({__nuvFrame: 1, path: path, href: location.href}, '*');
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

QString FrameTree() {
    return QStringLiteral(R"JS(
(function () {
  var reports = window.__nuvFrames || {};
  function walk(w, path) {
    var node = {url: '', frames: []};
    if (path === '') {
      node.url = location.href;
    } else {
      var href = null;
      try { href = w.location.href; } catch (e) { href = null; }
      if (href === null || href === undefined) href = reports[path];
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
  return JSON.stringify(walk(window, ''));
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

}  // namespace nuv::scripts
