// The reader of the pictures a document shows, and the sealed and enciphered exchange
// through which frames of other sites hand theirs to the top (program-seal.js comes first).
(function () {
  if (window.__nuvShownPictures) return;
  // Bounds of what one document reports and of the frames a page has read or asked: a page
  // cannot flood the program.
  var LIMIT = 20000, LONGEST = 8192, DOCUMENTS = 200;
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

  // What gathers the pictures of a document into `out` (`at` gives each address's place in
  // it): at most LIMIT, each address once, `out.cut` counting the others; addresses are made
  // absolute against `base`.
  function collector(base, out, at) {
    function add(address, w, h, type) {
      if (!address) return;
      var a = String(address);
      if (a.length > LONGEST || !/^https?:/i.test(a)) return;
      var i = at[a];
      if (i === undefined) {
        if (out.length >= LIMIT) {
          at[a] = -1;
          out.cut++;
          return;
        }
        at[a] = out.length;
        out.push({u: a, w: w || 0, h: h || 0, t: type || ''});
      } else if (w && i >= 0 && !out[i].w) {
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
    // What an element names itself, its style attribute and its background included,
    // without asking for its computed style.
    function named(el) {
      element(el, null);
      if (el.namespaceURI === SVG) return;
      css(el.getAttribute('style'));
      var background = el.getAttribute('background');
      if (background) ref(background);
    }
    return {add: add, style: style, element: element, named: named};
  }

  // The pictures the document of `win` uses, in document order, each address once, the
  // first LIMIT of them; `cut` of the result counts the others. `exhaustive` reads the
  // computed styles of every element.
  function read(win, exhaustive) {
    var doc = win.document, out = [];
    out.cut = 0;
    var c = collector(doc.baseURI, out, Object.create(null));
    // The elements of `root` (of the shadow trees in it too) in document order: with a
    // `guide`, only those that name pictures or may have them by their style; the computed
    // styles of those `guide` names (all without one).
    function walk(root, guide) {
      var all = root.querySelectorAll(guide ? guide.selector : '*');
      for (var i = 0; i < all.length; i++) {
        var el = all[i];
        if (!guide || guide.naming.has(el)) c.element(el, guide && guide.lazy);
        if (!guide || guide.element.has(el)) c.style(win.getComputedStyle(el));
        // A pseudo-element exists only with a content; only then its pictures show.
        if (!guide || guide.pseudo.has(el)) {
          for (var p = 0; p < 2; p++) {
            var ps = win.getComputedStyle(el, p ? '::after' : '::before');
            var content = ps.getPropertyValue('content');
            if (content && content !== 'none' && content !== 'normal') c.style(ps);
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

  // The record of the pictures the document has shown since its load, in the order first
  // seen: an element that goes later (a feed that keeps only its last screens) does not take
  // its pictures out of it. It is kept where the program asks for it (window.__nuvRecordShown,
  // set before the load) or from the moment it asks. Added and changed elements are noted at
  // once by what they name; what style sheets give them is read by a full read a moment
  // later, as often as the reads' cost allows.
  var WATCHED = ['src', 'srcset', 'style', 'class', 'poster', 'href', 'content', 'background', 'type', 'rel']
                  .concat(LAZY);
  var NOTED = NAMING + ', [style], [background]';
  var record = null, dirty = false, sweepTimer = 0, sweepMs = 0;
  // Takes a full read into the record; what the read's own bound cut counts as cut.
  function absorb(list) {
    record.readCut = list.cut || 0;
    var c = collector('', record, record.at);
    for (var i = 0; i < list.length; i++) c.add(list[i].u, list[i].w, list[i].h, list[i].t);
  }
  function sweep() {
    sweepTimer = 0;
    if (!dirty) return;
    dirty = false;
    var t = performance.now();
    try { absorb(read(window)); } catch (e) {}
    sweepMs = performance.now() - t;
  }
  function changed(mutations) {
    var c = collector(document.baseURI, record, record.at);
    for (var i = 0; i < mutations.length; i++) {
      var m = mutations[i];
      if (m.type === 'attributes') {
        if (m.target.nodeType === 1) c.named(m.target);
        continue;
      }
      for (var k = 0; k < m.addedNodes.length; k++) {
        var n = m.addedNodes[k];
        if (n.nodeType !== 1) continue;
        c.named(n);
        var inner = n.querySelectorAll(NOTED);
        for (var j = 0; j < inner.length; j++) c.named(inner[j]);
      }
    }
    touched();
  }
  // Something changed: a full read follows, after at least four times the last one took.
  function touched() {
    dirty = true;
    if (!sweepTimer) sweepTimer = setTimeout(sweep, Math.max(250, 4 * sweepMs));
  }
  function start() {
    if (record || !document.documentElement) return;
    record = [];
    record.cut = 0;
    record.at = Object.create(null);
    absorb(read(window));
    new MutationObserver(changed).observe(document, {childList: true, subtree: true, attributes: true,
                                                     attributeFilter: WATCHED});
    // A picture that loads tells the address it picked and its size.
    document.addEventListener('load', function (ev) {
      if (ev.target && ev.target.nodeType === 1) collector(document.baseURI, record, record.at).named(ev.target);
      touched();
    }, true);
  }
  // The pictures of this document as the program takes them: the record with what the
  // document shows now, or what it shows now where nothing is recorded.
  function shown() {
    if (!record && window.__nuvRecordShown === true) start();
    if (!record) return read(window);
    if (dirty) {
      clearTimeout(sweepTimer);
      sweepTimer = 0;
      dirty = false;
      absorb(read(window));
    }
    var out = record.slice();
    out.cut = record.cut + record.readCut;
    return out;
  }
  window.__nuvShownNow = shown;
  window.__nuvShownStart = start;
  window.__nuvShownCount = function () { return record ? record.length : 0; };
  window.addEventListener('load', function () {
    if (window.__nuvRecordShown === true) start();
  });

  // A frame's answer as a document's read gives it: at most LIMIT pictures, `cut` the others.
  function clean(answer) {
    var out = [], list = answer && answer.p;
    out.cut = answer && answer.cut > 0 ? Math.min(Math.floor(answer.cut), 1e9) : 0;
    if (!Array.isArray(list)) return out;
    for (var i = 0; i < list.length; i++) {
      var p = list[i];
      if (!p || typeof p.u !== 'string' || p.u.length > LONGEST || !/^https?:/i.test(p.u)) continue;
      if (out.length >= LIMIT) {
        out.cut++;
        continue;
      }
      var w = Number(p.w) | 0, h = Number(p.h) | 0;
      out.push({u: p.u, w: w > 0 ? w : 0, h: h > 0 ? h : 0, t: typeof p.t === 'string' ? p.t.slice(0, 100) : ''});
    }
    return out;
  }

  // The program's requests and answers cross pages that may listen: a request carries its
  // id sealed with the secret that only the program's own world of every document knows,
  // so a page cannot make one, and the answer comes enciphered with that secret, through
  // the port the request brought, so only the program's world of the top can read it.
  var mac = window.__nuvSeal.mac;
  function seal(id) { return window.__nuvSeal.seal('ask\n' + id); }
  // XORs `bytes` with the key stream of `salt`: the HMAC of the salt and a counter.
  function cipher(bytes, salt) {
    for (var block = 0; block * 32 < bytes.length; block++) {
      var w = mac('stream\n' + salt + '\n' + block);
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
      try { pictures = shown(); } catch (e) {}
      var salt = Array.prototype.map.call(crypto.getRandomValues(new Uint32Array(4)), function (v) {
        return v.toString(36);
      }).join('');
      var data = cipher(new TextEncoder().encode(JSON.stringify({p: pictures, cut: pictures.cut || 0})), salt);
      ev.ports[0].postMessage({salt: salt, data: data}, [data.buffer]);
      ev.ports[0].close();
    });
    return;
  }

  // The top document: reads its own pictures and those of every frame it may read, and
  // asks the frames of other sites for theirs under the request `id`; the first DOCUMENTS
  // frames only, and only while fewer than `limit` pictures are known. ShownPicturesAnswer
  // keeps `limit` pictures of at most `text` characters of the documents in order.
  window.__nuvShownAsk = function (id, limit, text) {
    var ask = window.__nuvShownRequest = {id: id, limit: limit, text: text, order: [''], pending: {}, answers: {},
                                          cutDocuments: 0};
    try { ask.answers[''] = shown(); } catch (e) { ask.answers[''] = []; }
    var known = ask.answers[''].length, frames = 0;
    function askFrame(child, path) {
      var channel = new MessageChannel();
      ask.pending[path] = true;
      channel.port1.onmessage = function (ev) {
        var d = ev.data, answer = null;
        if (window.__nuvShownRequest !== ask || !ask.pending[path]) return;
        if (!d || typeof d.salt !== 'string' || !(d.data instanceof Uint8Array)) return;
        // What does not decipher is not the frame's answer (its page may write into the port).
        try { answer = JSON.parse(new TextDecoder().decode(cipher(d.data, d.salt))); } catch (e) { return; }
        channel.port1.close();
        delete ask.pending[path];
        ask.answers[path] = clean(answer);
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
        if (frames >= DOCUMENTS || known >= limit) {
          ask.cutDocuments++;
        } else {
          frames++;
          ask.order.push(p);
          var own = null;
          // A frame of the site is read from here, through its own record where it keeps one.
          try {
            own = !child.document ? null : typeof child.__nuvShownNow === 'function' ? child.__nuvShownNow() : read(child);
          } catch (e) { own = null; }
          if (own) {
            ask.answers[p] = own;
            known += own.length;
          } else {
            askFrame(child, p);
          }
        }
        walk(child, p);
      }
    }
    walk(window, '');
  };
})();
