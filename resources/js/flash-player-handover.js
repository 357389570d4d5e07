// Hands every Flash movie of the page, those added later too, to a player.
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
