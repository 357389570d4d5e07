// Every frame reports its address and its path of frame indexes to the top window,
// which keeps the reports (the program's world of every document, from its creation).
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
