// One step of scrolling a page to the end of what it loads: with `scroll` true the view
// moves a screen further down (to the end at most). Answers what the page shows now:
// {h: content height, p: pictures recorded, r: requests made, e: whether the end shows}.
(function (scroll) {
  var s = window.__nuvScrollState;
  if (!s) {
    s = window.__nuvScrollState = {requests: 0};
    try {
      new PerformanceObserver(function (list) { s.requests += list.getEntries().length; })
          .observe({type: 'resource', buffered: true});
    } catch (e) {}
  }
  var doc = document, top = doc.scrollingElement || doc.documentElement;
  if (!top) return JSON.stringify({h: 0, p: 0, r: s.requests, e: true});
  // What scrolls: the document, or where it does not, its tallest scrolling element (a
  // feed in a box of its own).
  var target = top;
  if (top.scrollHeight <= top.clientHeight + 1) {
    var all = doc.body ? doc.body.querySelectorAll('*') : [], best = 0;
    for (var i = 0; i < all.length; i++) {
      var el = all[i], extra = el.scrollHeight - el.clientHeight;
      if (extra <= best || el.clientHeight <= 0) continue;
      var overflow = getComputedStyle(el).overflowY;
      if (overflow === 'auto' || overflow === 'scroll' || overflow === 'overlay') {
        target = el;
        best = extra;
      }
    }
  }
  var view = target === top ? window.innerHeight : target.clientHeight;
  if (scroll) {
    var y = Math.min(target.scrollTop + Math.max(1, Math.floor(view * 0.9)), target.scrollHeight);
    if (target === top) window.scrollTo(window.scrollX, y);
    else target.scrollTop = y;
  }
  var pictures = typeof window.__nuvShownCount === 'function' ? window.__nuvShownCount() : 0;
  return JSON.stringify({h: target.scrollHeight, p: pictures, r: s.requests,
                         e: target.scrollTop + view >= target.scrollHeight - 2});
})(%1)
