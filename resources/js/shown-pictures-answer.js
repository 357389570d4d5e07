// The pictures gathered for one request, whose id the program passes in: the documents in
// order, within the bounds of the request, and what was cut; while frames have not
// answered, only how many, unless the program asks for the whole as it stands.
(function (id, whole) {
  var ask = window.__nuvShownRequest;
  if (!ask || ask.id !== id) return JSON.stringify({pending: 0, documents: [], cut: {documents: 0, pictures: 0}});
  var documents = [], pending = 0, room = ask.limit, text = ask.text, cut = 0;
  for (var i = 0; i < ask.order.length; i++)
    if (ask.pending[ask.order[i]]) pending++;
  if (pending > 0 && !whole) return JSON.stringify({pending: pending});
  for (var i = 0; i < ask.order.length; i++) {
    var p = ask.order[i], list = ask.answers[p] || [], kept = [];
    cut += list.cut || 0;
    for (var k = 0; k < list.length; k++) {
      var size = list[k].u.length + list[k].t.length;
      if (room > 0 && size <= text) {
        kept.push(list[k]);
        room--;
        text -= size;
      } else {
        room = 0;
        cut++;
      }
    }
    documents.push(kept);
  }
  return JSON.stringify({pending: pending, documents: documents, cut: {documents: ask.cutDocuments, pictures: cut}});
})(%1, %2)
