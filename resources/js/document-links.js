// The absolute href of the first links of the document, in document order: at most `limit`
// of them, of at most `text` characters together; `cut` counts the links after them.
(function (limit, text) {
  var links = document.links, n = links.length, out = [];
  for (var i = 0; i < n && out.length < limit; i++) {
    var h = links[i].href;
    h = h === undefined || h === null ? '' : String(h);
    if (h.length > text) break;
    text -= h.length;
    out.push(h);
  }
  return JSON.stringify({links: out, cut: n - out.length});
})(%1, %2)
