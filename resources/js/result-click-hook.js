// The result page's click listener, which hands the user's clicks to the program's
// channel object (its name is written in by the program).
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
