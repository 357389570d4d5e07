#include "platform/PageScripts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRandomGenerator>
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

namespace {

// A secret of this run of the program, known only to its own scripts.
const QString& ProgramSecret() {
    static const QString secret = [] {
        QString hex;
        for (int i = 0; i < 4; ++i) hex += QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
        return hex;
    }();
    return secret;
}

}  // namespace

QString ShownPicturesReader() {
    return QStringLiteral(R"JS(
(function () {
  if (window.__nuvShownPictures) return;
  // Bounds of what one document reports: a page cannot flood the program.
  var LIMIT = 20000, LONGEST = 8192;
  // The attributes lazy loaders keep a picture's address in until it shows.
  var LAZY = ['data-src', 'data-srcset', 'data-lazy-src', 'data-lazy-srcset', 'data-lazy', 'data-lazyload',
              'data-original', 'data-original-src', 'data-bg', 'data-bg-src', 'data-background',
              'data-background-image', 'data-image', 'data-img', 'data-thumb', 'data-poster', 'data-hi-res-src',
              'data-hires', 'data-full-src', 'data-large-src', 'data-zoom-image', 'data-echo', 'data-src-retina',
              'data-retina'];
  var LAZY_NAMES = Object.create(null);
  LAZY.forEach(function (name) { LAZY_NAMES[name] = 1; });
  var NO_LAZY = {script: 1, iframe: 1, frame: 1, audio: 1, embed: 1, object: 1, link: 1, style: 1, track: 1};
  // The elements that name pictures of their own; no other element is looked at but for
  // its style.
  var LAZY_SELECTOR = '[' + LAZY.join('], [') + ']';
  var NAMING = 'img, picture > source, input, video, link, meta, image, feImage, feimage, ' + LAZY_SELECTOR;
  var ICON_RELS = /(^|\s)(icon|apple-touch-icon|apple-touch-icon-precomposed|apple-touch-startup-image|mask-icon|image_src)(\s|$)/i;
  var META_NAMES = {'og:image': 1, 'og:image:url': 1, 'og:image:secure_url': 1, 'twitter:image': 1, 'twitter:image:src': 1};
  var CSS_PROPERTIES = ['background-image', 'border-image-source', 'list-style-image', '-webkit-mask-image',
                        'mask-image', 'content'];
  var SVG = 'http://www.w3.org/2000/svg', XLINK = 'http://www.w3.org/1999/xlink';
  var PICTURE_VALUE = /url\(|var\(|image-set\(/;
  var URL_IN_CSS = /url\(\s*(?:"((?:[^"\\]|\\.)*)"|'((?:[^'\\]|\\.)*)'|([^)\s]*))\s*\)/g;

  function blank(c) { return c === 32 || c === 9 || c === 10 || c === 12 || c === 13; }
  // The addresses of a srcset value, as the HTML parser splits it (an address may hold commas).
  function srcsetUrls(value) {
    var urls = [], s = String(value), i = 0, n = s.length;
    while (i < n) {
      while (i < n && (blank(s.charCodeAt(i)) || s.charCodeAt(i) === 44)) i++;
      if (i >= n) break;
      var start = i;
      while (i < n && !blank(s.charCodeAt(i))) i++;
      var url = s.slice(start, i);
      if (url.charCodeAt(url.length - 1) === 44) {
        url = url.replace(/,+$/, '');
      } else {
        for (var depth = 0; i < n; i++) {
          var c = s.charCodeAt(i);
          if (c === 40) depth++;
          else if (c === 41) { if (depth > 0) depth--; }
          else if (c === 44 && depth === 0) { i++; break; }
        }
      }
      if (url) urls.push(url);
    }
    return urls;
  }

  // The pictures the document of `win` uses, in document order, each address once.
  // `exhaustive` reads the computed styles of every element.
  function read(win, exhaustive) {
    var doc = win.document, out = [], at = Object.create(null), base = doc.baseURI;
    function add(address, w, h, type) {
      if (!address || out.length >= LIMIT) return;
      var a = String(address);
      if (a.length > LONGEST || !/^https?:/i.test(a)) return;
      var i = at[a];
      if (i === undefined) {
        at[a] = out.length;
        out.push({u: a, w: w || 0, h: h || 0, t: type || ''});
      } else if (w && !out[i].w) {
        out[i].w = w;
        out[i].h = h;
      }
    }
    var resolved = new Map();  // a reference once made absolute, for its repeats
    function ref(value, type) {
      if (value === null || value === undefined) return;
      var v = String(value).trim();
      if (!v) return;
      var a = resolved.get(v);
      if (a === undefined) {
        try { a = new URL(v, base).href; } catch (e) { a = ''; }
        resolved.set(v, a);
      }
      add(a, 0, 0, type);
    }
    function refs(value, type) {
      if (!value) return;
      var urls = srcsetUrls(value);
      for (var i = 0; i < urls.length; i++) ref(urls[i], type);
    }
    function css(value) {
      if (!value || value.indexOf('url(') < 0) return;
      URL_IN_CSS.lastIndex = 0;
      for (var m; (m = URL_IN_CSS.exec(value));) {
        var u = m[1] !== undefined ? m[1] : m[2] !== undefined ? m[2] : m[3];
        ref(u.replace(/\\(.)/g, '$1'));
      }
    }
    function style(cs) {
      for (var i = 0; i < CSS_PROPERTIES.length; i++) css(cs.getPropertyValue(CSS_PROPERTIES[i]));
    }
    // The lazy-loading attributes sites use (data-src, data-srcset, data-lazy-src,
    // data-original, data-bg, ...), when their value can be an address.
    function lazy(el, tag) {
      var attrs = el.attributes;
      for (var i = 0; i < attrs.length; i++) {
        var name = attrs[i].name;
        if (!LAZY_NAMES[name] || (tag === 'video' && name !== 'data-poster')) continue;  // a movie's data-src is no picture
        var v = attrs[i].value.trim();
        if (!v || (v.indexOf('/') < 0 && v.indexOf('.') < 0)) continue;
        if (v.indexOf('url(') >= 0) css(v);
        else if (name.indexOf('srcset') >= 0 || /\s\d+(\.\d+)?[wx]\s*(,|$)/.test(v)) refs(v);
        else ref(v);
      }
    }
    // `lazyOnes`, when given, holds every element with a lazy-loading attribute.
    function element(el, lazyOnes) {
      var tag = el.localName;
      if (el.namespaceURI === SVG) {
        if (tag === 'image' || tag === 'feImage') ref(el.getAttribute('href') || el.getAttributeNS(XLINK, 'href'));
        return;
      }
      switch (tag) {
        case 'img':
          // A source picked from a srcset has its size scaled by its density: only a
          // plain picture tells its own.
          var plain = !el.hasAttribute('srcset') && !(el.parentElement && el.parentElement.localName === 'picture');
          if (el.currentSrc) add(el.currentSrc, plain && el.complete ? el.naturalWidth : 0, plain && el.complete ? el.naturalHeight : 0, '');
          ref(el.getAttribute('src'));
          refs(el.getAttribute('srcset'));
          break;
        case 'source':
          if (el.parentElement && el.parentElement.localName === 'picture')
            refs(el.getAttribute('srcset'), el.getAttribute('type') || '');
          break;
        case 'input':
          if (String(el.getAttribute('type')).toLowerCase() === 'image') ref(el.getAttribute('src'));
          break;
        case 'video':
          ref(el.getAttribute('poster'));
          break;
        case 'link':
          var rel = el.getAttribute('rel') || '';
          if (ICON_RELS.test(rel)) {
            ref(el.getAttribute('href'), el.getAttribute('type') || '');
          } else if (/(^|\s)preload(\s|$)/i.test(rel) && String(el.getAttribute('as')).toLowerCase() === 'image') {
            ref(el.getAttribute('href'));
            refs(el.getAttribute('imagesrcset'));
          }
          break;
        case 'meta':
          if (META_NAMES[String(el.getAttribute('property') || el.getAttribute('name') || '').toLowerCase()])
            ref(el.getAttribute('content'));
          break;
      }
      if (!NO_LAZY[tag] && (lazyOnes ? lazyOnes.has(el) : el.hasAttributes())) lazy(el, tag);
    }
    // The elements of `root` (of the shadow trees in it too) in document order: with a
    // `guide`, only those that name pictures or may have them by their style; the computed
    // styles of those `guide` names (all without one).
    function walk(root, guide) {
      var all = root.querySelectorAll(guide ? guide.selector : '*');
      for (var i = 0; i < all.length && out.length < LIMIT; i++) {
        var el = all[i];
        if (!guide || guide.naming.has(el)) element(el, guide && guide.lazy);
        if (!guide || guide.element.has(el)) style(win.getComputedStyle(el));
        // A pseudo-element exists only with a content; only then its pictures show.
        if (!guide || guide.pseudo.has(el)) {
          for (var p = 0; p < 2; p++) {
            var ps = win.getComputedStyle(el, p ? '::after' : '::before');
            var content = ps.getPropertyValue('content');
            if (content && content !== 'none' && content !== 'normal') style(ps);
          }
        }
        if (!guide && el.shadowRoot) walk(el.shadowRoot, null);
      }
    }
    if (!doc.documentElement) return out;
    var guide = exhaustive ? null : styled(doc);
    read.guided = !!guide;  // which way the last read went
    walk(doc, guide);
    return out;
  }

  // Which elements the document's style may give a picture: those matched by a rule that
  // names an address, a variable or an image set (with ::before and ::after for their
  // pseudo-elements), and those with a style or background attribute. Computed styles are
  // read only for them, which gives what reading every element's gives. Null, and every
  // element is read, where that cannot be known: a sheet of another site, an animation that
  // names a picture, a shadow tree.
  function styled(doc) {
    var all = doc.querySelectorAll('*');
    for (var i = 0; i < all.length; i++) if (all[i].shadowRoot) return null;
    var elements = ['[style]', '[background]'], pseudo = [], opaque = false;
    function rules(list) {
      for (var i = 0; i < list.length && !opaque; i++) {
        var r = list[i];
        if (r.type === 3) { sheet(r.styleSheet); continue; }  // @import
        var names = PICTURE_VALUE.test(r.cssText || '');
        if (r.type === 7) { opaque = names; continue; }  // @keyframes
        if (r.cssRules) { rules(r.cssRules); continue; }  // @media, @supports, @layer, ...
        if (r.type !== 1 || !names) continue;  // @font-face, @page, ...: no element's picture
        if (/::?(part|slotted)\b|:host/i.test(r.selectorText)) { opaque = true; return; }
        var base = r.selectorText.replace(/::?(before|after)\b/gi, '').replace(/(^|,)\s*(?=,|$)/g, '$1*');
        elements.push(base);
        if (/::?(before|after)\b/i.test(r.selectorText)) pseudo.push(base);
      }
    }
    function sheet(s) {
      if (!s) return;
      try { rules(s.cssRules); } catch (e) { opaque = true; }
    }
    for (var k = 0; k < doc.styleSheets.length && !opaque; k++) sheet(doc.styleSheets[k]);
    var adopted = doc.adoptedStyleSheets || [];
    for (var a = 0; a < adopted.length && !opaque; a++) sheet(adopted[a]);
    if (opaque) return null;
    try {
      var styledBy = elements.join(', ') + (pseudo.length ? ', ' + pseudo.join(', ') : '');
      return {selector: NAMING + ', ' + styledBy, naming: new Set(doc.querySelectorAll(NAMING)),
              lazy: new Set(doc.querySelectorAll(LAZY_SELECTOR)),
              element: new Set(doc.querySelectorAll(elements.join(', '))),
              pseudo: new Set(pseudo.length ? doc.querySelectorAll(pseudo.join(', ')) : [])};
    } catch (e) {
      return null;
    }
  }
  window.__nuvShownPictures = read;

  function clean(list) {
    var out = [];
    if (!Array.isArray(list)) return out;
    for (var i = 0; i < list.length && out.length < LIMIT; i++) {
      var p = list[i];
      if (!p || typeof p.u !== 'string' || p.u.length > LONGEST || !/^https?:/i.test(p.u)) continue;
      var w = Number(p.w) | 0, h = Number(p.h) | 0;
      out.push({u: p.u, w: w > 0 ? w : 0, h: h > 0 ? h : 0, t: typeof p.t === 'string' ? p.t.slice(0, 100) : ''});
    }
    return out;
  }

  // SHA-256 of an ASCII text, as eight 32-bit words.
  var K = [0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
           0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
           0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
           0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
           0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
           0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
           0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
           0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2];
  function sha256(text) {
    var bytes = [], H = [0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19];
    for (var i = 0; i < text.length; i++) bytes.push(text.charCodeAt(i) & 255);
    var bits = bytes.length * 8;
    bytes.push(0x80);
    while (bytes.length % 64 !== 56) bytes.push(0);
    bytes.push(0, 0, 0, 0, (bits >>> 24) & 255, (bits >>> 16) & 255, (bits >>> 8) & 255, bits & 255);
    var W = new Array(64);
    for (var at = 0; at < bytes.length; at += 64) {
      for (var t = 0; t < 16; t++)
        W[t] = (bytes[at + 4 * t] << 24) | (bytes[at + 4 * t + 1] << 16) | (bytes[at + 4 * t + 2] << 8) | bytes[at + 4 * t + 3];
      for (t = 16; t < 64; t++) {
        var x = W[t - 15], y = W[t - 2];
        var s0 = ((x >>> 7) | (x << 25)) ^ ((x >>> 18) | (x << 14)) ^ (x >>> 3);
        var s1 = ((y >>> 17) | (y << 15)) ^ ((y >>> 19) | (y << 13)) ^ (y >>> 10);
        W[t] = (W[t - 16] + s0 + W[t - 7] + s1) | 0;
      }
      var a = H[0], b = H[1], c = H[2], d = H[3], e = H[4], f = H[5], g = H[6], h = H[7];
      for (t = 0; t < 64; t++) {
        var t1 = (h + (((e >>> 6) | (e << 26)) ^ ((e >>> 11) | (e << 21)) ^ ((e >>> 25) | (e << 7))) +
                  ((e & f) ^ (~e & g)) + K[t] + W[t]) | 0;
        var t2 = ((((a >>> 2) | (a << 30)) ^ ((a >>> 13) | (a << 19)) ^ ((a >>> 22) | (a << 10))) +
                  ((a & b) ^ (a & c) ^ (b & c))) | 0;
        h = g; g = f; f = e; e = (d + t1) | 0; d = c; c = b; b = a; a = (t1 + t2) | 0;
      }
      H[0] = (H[0] + a) | 0; H[1] = (H[1] + b) | 0; H[2] = (H[2] + c) | 0; H[3] = (H[3] + d) | 0;
      H[4] = (H[4] + e) | 0; H[5] = (H[5] + f) | 0; H[6] = (H[6] + g) | 0; H[7] = (H[7] + h) | 0;
    }
    return H;
  }
  // The program's requests and answers cross pages that may listen: a request carries its
  // id sealed with a secret that only the program's own world of every document knows, so
  // a page cannot make one, and the answer comes enciphered with that secret, through the
  // port the request brought, so only the program's world of the top can read it.
  var SECRET = '%1';
  function seal(id) {
    return sha256(SECRET + ':' + id + ':' + SECRET).map(function (v) {
      return ('0000000' + (v >>> 0).toString(16)).slice(-8);
    }).join('');
  }
  // XORs `bytes` with the key stream of `salt`: SHA-256 of the secret, the salt and a counter.
  function cipher(bytes, salt) {
    for (var block = 0; block * 32 < bytes.length; block++) {
      var w = sha256(SECRET + ':' + salt + ':' + block);
      for (var k = 0; k < 32 && block * 32 + k < bytes.length; k++)
        bytes[block * 32 + k] ^= (w[k >> 2] >>> (24 - 8 * (k & 3))) & 255;
    }
    return bytes;
  }

  if (window.top !== window) {
    // A frame answers the top window's request with its own pictures, each id once.
    var answered = Object.create(null);
    window.addEventListener('message', function (ev) {
      var d = ev.data;
      if (!d || typeof d !== 'object' || typeof d.__nuvShownAsk !== 'string' || ev.source !== window.top) return;
      if (!ev.ports || ev.ports.length !== 1 || !/^[0-9a-z]{1,16}$/.test(d.__nuvShownAsk)) return;
      if (answered[d.__nuvShownAsk] || d.seal !== seal(d.__nuvShownAsk)) return;
      answered[d.__nuvShownAsk] = true;
      var pictures = [];
      try { pictures = read(window); } catch (e) {}
      var salt = Array.prototype.map.call(crypto.getRandomValues(new Uint32Array(4)), function (v) {
        return v.toString(36);
      }).join('');
      var data = cipher(new TextEncoder().encode(JSON.stringify(pictures)), salt);
      ev.ports[0].postMessage({salt: salt, data: data}, [data.buffer]);
      ev.ports[0].close();
    });
    return;
  }

  // The top document: reads its own pictures and those of every frame it may read, and
  // asks the frames of other sites for theirs under the request `id`.
  window.__nuvShownAsk = function (id) {
    var ask = window.__nuvShownRequest = {id: id, order: [''], pending: {}, answers: {}};
    try { ask.answers[''] = read(window); } catch (e) { ask.answers[''] = []; }
    function askFrame(child, path) {
      var channel = new MessageChannel();
      ask.pending[path] = true;
      channel.port1.onmessage = function (ev) {
        var d = ev.data, list = null;
        if (window.__nuvShownRequest !== ask || !ask.pending[path]) return;
        if (!d || typeof d.salt !== 'string' || !(d.data instanceof Uint8Array)) return;
        // What does not decipher is not the frame's answer (its page may write into the port).
        try { list = JSON.parse(new TextDecoder().decode(cipher(d.data, d.salt))); } catch (e) { return; }
        channel.port1.close();
        delete ask.pending[path];
        ask.answers[path] = clean(list);
      };
      try { child.postMessage({__nuvShownAsk: id, seal: seal(id)}, '*', [channel.port2]); } catch (e) {}
    }
    function walk(w, path) {
      var n = 0;
      try { n = w.length; } catch (e) { n = 0; }
      for (var i = 0; i < n; i++) {
        var child = null;
        try { child = w[i]; } catch (e) { child = null; }
        if (!child) continue;
        var p = path === '' ? String(i) : path + '/' + i;
        ask.order.push(p);
        var own = null;
        try { own = child.document ? read(child) : null; } catch (e) { own = null; }
        if (own) ask.answers[p] = own;
        else askFrame(child, p);
        walk(child, p);
      }
    }
    walk(window, '');
  };
})();
)JS").arg(ProgramSecret());
}

QString ShownPicturesAsk(const QString& id) {
    return ShownPicturesReader() + QStringLiteral("\nwindow.__nuvShownAsk(%1);\n").arg(JsString(id)) +
           ShownPicturesAnswer(id);
}

QString ShownPicturesAnswer(const QString& id) {
    return QStringLiteral(R"JS(
(function (id) {
  var ask = window.__nuvShownRequest;
  if (!ask || ask.id !== id) return JSON.stringify({pending: 0, documents: []});
  var documents = [], pending = 0;
  for (var i = 0; i < ask.order.length; i++) {
    var p = ask.order[i];
    if (ask.pending[p]) pending++;
    documents.push(ask.answers[p] || []);
  }
  return JSON.stringify({pending: pending, documents: documents});
})(%1)
)JS").arg(JsString(id));
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
      window.__nuvResultSink = sink;  // in the program's world only
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
  // The result window's movies play without the dimming sign; a click still unmutes them.
  unmuteOverlay: location.protocol === 'nuvdoc:' ? 'hidden' : 'visible',
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

QString ResultPictureFilter() {
    return QStringLiteral(R"JS(
(function () {
  if (window.__nuvPictureFilter) return;
  window.__nuvPictureFilter = true;
  var LABELS = [['jpg', 'JPG'], ['png', 'PNG'], ['gif', 'GIF'], ['webp', 'WebP'], ['avif', 'AVIF'], ['jxl', 'JPEG XL'],
                ['svg', 'SVG'], ['ico', 'ICO'], ['bmp', 'BMP'], ['tiff', 'TIFF'], ['psd', 'PSD'], ['emf', 'EMF'],
                ['wmf', 'WMF'], ['other', '其他']];
  var types = {}, chosen = {}, bar = null, minWidth = null, minHeight = null, typeBox = null, count = null;
  var pending = false;
  function pictures() { return document.querySelectorAll('td > img'); }
  function typeOf(img) { return types[img.getAttribute('src')] || 'other'; }
  function state() {
    var w = parseInt(minWidth.value, 10), h = parseInt(minHeight.value, 10), t = [];
    for (var k in chosen) if (chosen[k]) t.push(k);
    w = w > 0 ? w : 0;
    h = h > 0 ? h : 0;
    return {w: w, h: h, t: t, active: w > 0 || h > 0 || t.length > 0};
  }
  // The filter's rule: at least the smallest size (a picture not loaded has none), and a
  // chosen type when any is chosen.
  function keeps(img, s) {
    var w = img.complete ? img.naturalWidth : 0, h = img.complete ? img.naturalHeight : 0;
    if (w < s.w || h < s.h) return false;
    return s.t.length === 0 || s.t.indexOf(typeOf(img)) >= 0;
  }
  function apply() {
    pending = false;
    if (!bar) return;
    var s = state(), all = pictures(), shown = 0;
    document.body.classList.toggle('nuv-filtered', s.active);
    for (var i = 0; i < all.length; i++) {
      var keep = !s.active || keeps(all[i], s);
      all[i].parentElement.classList.toggle('nuv-hidden', !keep);
      if (keep) shown++;
    }
    count.textContent = s.active ? '显示 ' + shown + ' / ' + all.length + ' 张' : '共 ' + all.length + ' 张';
  }
  function later() {
    if (pending) return;
    pending = true;
    requestAnimationFrame(apply);
  }
  function element(tag, text, parent) {
    var e = document.createElement(tag);
    if (text) e.textContent = text;
    if (parent) parent.appendChild(e);
    return e;
  }
  function sizeBox(label) {
    element('span', label, bar);
    var input = element('input', '', bar);
    input.type = 'number';
    input.min = '0';
    input.placeholder = '0';
    input.setAttribute('aria-label', label + '（像素）');
    input.addEventListener('input', apply);
    return input;
  }
  function buildTypes() {
    typeBox.textContent = '';
    element('span', '类型：', typeBox);
    var counts = {}, all = pictures();
    for (var i = 0; i < all.length; i++) { var t = typeOf(all[i]); counts[t] = (counts[t] || 0) + 1; }
    LABELS.forEach(function (l) {
      if (!counts[l[0]]) return;
      var label = element('label', '', typeBox);
      var box = element('input', '', label);
      box.type = 'checkbox';
      box.value = l[0];
      box.checked = !!chosen[l[0]];
      box.addEventListener('change', function () { chosen[l[0]] = box.checked; apply(); });
      element('span', l[1] + ' (' + counts[l[0]] + ')', label);
    });
  }
  function start() {
    var heading = document.querySelector('td.yemei');
    if (!heading || heading.textContent !== '图片提取' || pictures().length === 0) return;
    var style = element('style', '#nuv-filter { position: sticky; top: 0; z-index: 5; display: flex; flex-wrap: wrap;' +
      ' align-items: center; gap: 4px 10px; margin: 5px 5px 0 0; padding: 4px 8px; background: #E0F0FF;' +
      ' border: 1px solid #6699CC; font: 12px Verdana, sans-serif; color: #404040; }' +
      '#nuv-filter input[type=number] { width: 64px; }' +
      '#nuv-filter label { white-space: nowrap; margin-right: 6px; }' +
      '#nuv-filter .nuv-count { margin-left: auto; font-weight: bold; }' +
      'body.nuv-filtered table, body.nuv-filtered tbody { display: block; }' +
      'body.nuv-filtered tbody { display: flex; flex-wrap: wrap; }' +
      'body.nuv-filtered tr { display: contents; }' +
      'body.nuv-filtered td { display: block; width: 200px; }' +
      'body.nuv-filtered td.yemei { flex-basis: 100%; width: auto; }' +
      'td.nuv-hidden { display: none !important; }');
    (document.head || document.documentElement).appendChild(style);
    bar = document.createElement('div');
    bar.id = 'nuv-filter';
    element('b', '筛选', bar);
    minWidth = sizeBox('最小宽度');
    minHeight = sizeBox('最小高度');
    element('span', '像素', bar);
    typeBox = element('span', '', bar);
    var clear = element('button', '清除', bar);
    clear.type = 'button';
    clear.addEventListener('click', function () {
      minWidth.value = '';
      minHeight.value = '';
      chosen = {};
      buildTypes();
      apply();
    });
    count = element('span', '', bar);
    count.className = 'nuv-count';
    document.body.insertBefore(bar, document.body.firstChild);
    buildTypes();
    apply();
    // The window hands over the types once asked, through the click hook's channel.
    (function ask(tries) {
      var sink = window.__nuvResultSink;
      if (sink && sink.FilterReady) sink.FilterReady();
      else if (tries < 200) setTimeout(function () { ask(tries + 1); }, 50);
    })(0);
  }
  window.__nuvSetPictureTypes = function (map) {
    types = map || {};
    if (bar) { buildTypes(); apply(); }
  };
  window.__nuvFilterState = function () {
    if (!bar) return null;
    apply();
    var s = state(), visible = [], all = pictures();
    for (var i = 0; i < all.length; i++)
      if (!all[i].parentElement.classList.contains('nuv-hidden')) visible.push(all[i].getAttribute('src'));
    return {active: s.active, visible: visible};
  };
  // Each picture that loads (or fails) may change what a size filter keeps.
  document.addEventListener('load', function (ev) { if (ev.target && ev.target.localName === 'img') later(); }, true);
  document.addEventListener('error', function (ev) { if (ev.target && ev.target.localName === 'img') later(); }, true);
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
)JS");
}

QString SetResultPictureTypes(const QString& typesJson) {
    return QStringLiteral("(function (t) { if (window.__nuvSetPictureTypes) window.__nuvSetPictureTypes(t); })(%1)")
        .arg(typesJson);
}

QString ResultFilterState() {
    return QStringLiteral(
        "(function () { return JSON.stringify(window.__nuvFilterState ? window.__nuvFilterState() : null); })()");
}

QString ResultPictureSizes() {
    return QStringLiteral(R"JS(
(function () {
  var imgs = document.querySelectorAll('td > img'), done = true, sizes = [];
  for (var i = 0; i < imgs.length; i++) {
    var img = imgs[i];
    if (!img.complete) done = false;
    sizes.push([img.getAttribute('src'), img.complete ? img.naturalWidth : 0, img.complete ? img.naturalHeight : 0]);
  }
  return JSON.stringify({done: done, sizes: sizes});
})()
)JS");
}

}  // namespace nuv::scripts
