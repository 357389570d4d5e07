// The markup of the top element as the page had it, without the Flash player's
// stand-ins and chunk loaders; null without a body.
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
