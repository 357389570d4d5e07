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

namespace {

void InstallInWorld(QWebEngineScriptCollection& collection, const QString& name, const QString& source,
                    bool subframes, quint32 world) {
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

void Install(QWebEngineScriptCollection& collection, const QString& name, const QString& source,
             bool subframes) {
    InstallInWorld(collection, name, source, subframes, kWorld);
}

void InstallInMainWorld(QWebEngineScriptCollection& collection, const QString& name, const QString& source,
                        bool subframes) {
    InstallInWorld(collection, name, source, subframes, QWebEngineScript::MainWorld);
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
  var html = e.outerHTML;
  // The Flash player's stand-ins and its chunk loaders, in document order, read back as
  // what stood there without the player.
  var marks = e.querySelectorAll('[data-nuv-flash], script[src^="nuvplayer:"]');
  if (marks.length === 0) return html;
  var out = '', at = 0;
  for (var i = 0; i < marks.length; i++) {
    var m = marks[i];
    var own = m.outerHTML;
    var found = html.indexOf(own, at);
    if (found < 0) continue;
    var original = m.hasAttribute('data-nuv-flash') ? (m.getAttribute('data-nuv-source') || '') : '';
    out += html.slice(at, found) + original;
    at = found + own.length;
  }
  return out + html.slice(at);
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
    // Only the user's own clicks in the program's own page download anything.
    if (!ev.isTrusted || location.protocol !== 'nuvdoc:') return;
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

QString FlashPlayerLoader(const QString& playerJs, const QString& publicPath, bool gpu) {
    const QString config = QStringLiteral(R"JS(
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = Object.assign({
  publicPath: %1,
  polyfills: false,
  autoplay: 'on',
  unmuteOverlay: 'visible',
  splashScreen: false,
  warnOnUnsupportedContent: false,
  showSwfDownload: false,
  logLevel: 'error',
  preferredRenderer: %2
}, window.RufflePlayer.config || {});
)JS")
                               .arg(JsString(publicPath), gpu ? QStringLiteral("null") : QStringLiteral("'canvas'"));
    // This engine's fetch() refuses the program's own schemes, so the player's fetch of
    // its WebAssembly goes through XMLHttpRequest, which takes them; every other address
    // goes to the page's fetch untouched.
    const QString fetchFiles = QStringLiteral(R"JS(
(function () {
  var pageFetch = window.fetch;
  if (typeof pageFetch !== 'function' || pageFetch.__nuvPlayerFiles) return;
  var playerFetch = function (input, init) {
    var url = typeof input === 'string' ? input : (input && input.url) || String(input);
    if (url.indexOf('nuvplayer:') !== 0) return pageFetch.apply(this, arguments);
    return new Promise(function (resolve, reject) {
      var xhr = new XMLHttpRequest();
      xhr.open('GET', url);
      xhr.responseType = 'arraybuffer';
      xhr.onload = function () {
        if (!xhr.response) { reject(new TypeError('Failed to fetch ' + url)); return; }
        var type = /\.wasm$/.test(url) ? 'application/wasm' : 'text/javascript';
        resolve(new Response(xhr.response, {status: 200, headers: {
          'Content-Type': type, 'Content-Length': String(xhr.response.byteLength)}}));
      };
      xhr.onerror = function () { reject(new TypeError('Failed to fetch ' + url)); };
      xhr.send();
    });
  };
  playerFetch.__nuvPlayerFiles = true;
  window.fetch = playerFetch;
})();
)JS");
    const QString handOver = QStringLiteral(R"JS(
(function () {
  if (window.__nuvFlashPlayer || !window.RufflePlayer || typeof window.RufflePlayer.newest !== 'function') return;
  window.__nuvFlashPlayer = true;
  var serial = 0;
  var flashType = /(x-shockwave-flash|futuresplash)/i;
  var flashClass = /d27cdb6e-ae6d-11cf-96b8-444553540000/i;
  function isSwf(address) { return typeof address === 'string' && address.toLowerCase().indexOf('.swf') >= 0; }
  function absolute(address) {
    try { return new URL(address, document.baseURI).href; } catch (e) { return address; }
  }
  function param(object, names) {
    var params = object.getElementsByTagName('param');
    for (var i = 0; i < params.length; i++) {
      var n = String(params[i].getAttribute('name') || '').toLowerCase();
      if (names.indexOf(n) >= 0) return params[i].getAttribute('value');
    }
    return null;
  }
  // The movie that an element plays, or null when it is no Flash movie.
  function movieOf(el) {
    var tag = el.localName;
    var type = el.getAttribute('type') || '';
    if (tag === 'embed') {
      var src = el.getAttribute('src');
      if (!src || (!flashType.test(type) && !isSwf(src))) return null;
      return {url: absolute(src), vars: el.getAttribute('flashvars'), base: el.getAttribute('base')};
    }
    if (tag === 'object') {
      var data = el.getAttribute('data') || param(el, ['movie', 'src']);
      var flash = flashType.test(type) || flashClass.test(el.getAttribute('classid') || '');
      if (!data || (!flash && !isSwf(data))) return null;
      return {url: absolute(data), vars: param(el, ['flashvars']), base: param(el, ['base'])};
    }
    return null;
  }
  function takeOver(el) {
    if (!el.isConnected || el.closest('[data-nuv-flash]')) return;
    var movie = movieOf(el);
    if (!movie) return;
    var player = window.RufflePlayer.newest().createPlayer();
    player.setAttribute('data-nuv-flash', String(++serial));
    player.setAttribute('data-nuv-source', el.outerHTML);
    var sized = el.getAttribute('width') ? el : el.querySelector('embed[width]');
    ['id', 'class', 'style', 'align', 'title'].forEach(function (a) {
      if (el.hasAttribute(a)) player.setAttribute(a, el.getAttribute(a));
    });
    if (sized) {
      player.setAttribute('width', sized.getAttribute('width'));
      if (sized.hasAttribute('height')) player.setAttribute('height', sized.getAttribute('height'));
    }
    el.replaceWith(player);
    var options = {url: movie.url, allowScriptAccess: false};
    // The program's own pages (the result window's) get their movies through the program.
    if (location.protocol === 'nuvdoc:' && /^https?:/i.test(movie.url)) {
      options.url = 'nuvplayer:/movie?page=' + encodeURIComponent(location.href) +
                    '&address=' + encodeURIComponent(movie.url);
      if (!movie.base) options.base = movie.url;
    }
    if (movie.vars) options.parameters = movie.vars;
    if (movie.base) options.base = movie.base;
    try { player.ruffle().load(options).catch(function () {}); } catch (e) {}
  }
  function scan(root) {
    if (!root.querySelectorAll) return;
    var found = root.querySelectorAll('object, embed');
    // Outer elements first: an <object> takes its inner <embed> with it.
    for (var i = 0; i < found.length; i++) takeOver(found[i]);
    if (root.localName === 'object' || root.localName === 'embed') takeOver(root);
  }
  function start() {
    scan(document);
    new MutationObserver(function (records) {
      records.forEach(function (r) {
        r.addedNodes.forEach(function (n) { if (n.nodeType === 1 && !n.hasAttribute('data-nuv-flash')) scan(n); });
      });
    }).observe(document.documentElement, {childList: true, subtree: true});
  }
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
)JS");
    return config + fetchFiles + QLatin1Char('\n') + playerJs + QStringLiteral("\n;\n") + handOver;
}

QString ResultPageLayout() {
    return QStringLiteral(R"JS(
(function () {
  if (window.__nuvResultLayout) return;
  window.__nuvResultLayout = true;
  function pixelSize(img) {
    if (img.__nuvSized || !img.complete || !img.naturalWidth) return;
    img.__nuvSized = true;
    var size = document.createElement('div');
    size.className = 'nuv-pixel-size';
    size.textContent = img.naturalWidth + ' × ' + img.naturalHeight;
    // Under the picture, above its save link.
    var next = img.nextElementSibling;
    (next && next.localName === 'br' ? next : img).after(size);
  }
  function start() {
    var style = document.createElement('style');
    style.textContent =
      'td { overflow-wrap: anywhere; word-break: break-word; }' +
      '.nuv-pixel-size { color: #808080; text-indent: 10px; }' +
      'td ruffle-player { display: block; width: 190px !important; height: 142px !important; }';
    (document.head || document.documentElement).appendChild(style);
    var imgs = document.images;
    for (var i = 0; i < imgs.length; i++) pixelSize(imgs[i]);
  }
  // Pictures report their load; the listener catches those of the whole page.
  document.addEventListener('load', function (ev) {
    if (ev.target && ev.target.localName === 'img') pixelSize(ev.target);
  }, true);
  // A click on a movie reaches the movie (which unmutes it) and opens no window.
  document.addEventListener('click', function (ev) {
    var t = ev.target;
    if (t && t.closest && t.closest('ruffle-player')) ev.preventDefault();
  }, true);
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
)JS");
}

}  // namespace nuv::scripts
