// Every frame reports its address and its path of frame indexes to the top window,
// which keeps the reports (the program's world of every document, from its creation).
// The page's scripts see the reports and may post their own: a report carries the seal of
// what it says, and the top keeps only those whose seal holds, within bounds.
(function () {
  // The most frame paths the top keeps, the longest address and path a report may carry.
  var FRAMES = 1000, LONGEST = 8192, PATH = /^\d{1,5}(\/\d{1,5}){0,63}$/;
  var seal = window.__nuvSeal.seal;
  function sealOf(path, href, state) { return seal('frame\n' + path + '\n' + state + '\n' + href); }
  if (window.top === window) {
    if (!window.__nuvFrames) {
      var reports = window.__nuvFrames = Object.create(null), kept = 0;
      window.addEventListener('message', function (ev) {
        var d = ev.data;
        if (!d || typeof d !== 'object' || d.__nuvFrame !== 1) return;
        var path = d.path, href = d.href, state = d.state;
        if (typeof path !== 'string' || typeof href !== 'string' || typeof state !== 'string') return;
        if (href.length > LONGEST || path.length > 400 || state.length > 16 || !PATH.test(path)) return;
        var known = path in reports;
        if ((!known && kept >= FRAMES) || d.seal !== sealOf(path, href, state)) return;
        if (!known) kept++;
        reports[path] = {href: href, complete: state === 'complete'};
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
      var path = pathOf(window), href = String(location.href), state = String(document.readyState);
      if (path !== null && href.length <= LONGEST)
        window.top.postMessage({__nuvFrame: 1, path: path, href: href, state: state, seal: sealOf(path, href, state)}, '*');
    } catch (e) {}
  }
  report();
  window.addEventListener('DOMContentLoaded', report);
  window.addEventListener('load', report);
})();
