// The frame tree, depth-first in document order, and how many frames may still change.
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
