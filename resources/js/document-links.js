// The absolute href of every link of the document, in document order.
(function () {
  var out = [];
  var links = document.links;
  for (var i = 0; i < links.length; i++) {
    var h = links[i].href;
    out.push(h === undefined || h === null ? '' : String(h));
  }
  return JSON.stringify(out);
})()
