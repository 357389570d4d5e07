// The pictures gathered for one request, whose id the program passes in.
(function (id) {
  var ask = window.__nuvShownRequest;
  if (!ask || ask.id !== id) return JSON.stringify({pending: 0, documents: []});
  var documents = [], pending = 0;
  for (var i = 0; i < ask.order.length; i++) {
    var p = ask.order[i];
    if (ask.pending[p]) pending++;
    documents.push(ask.answers[p] || []);
  }
  return JSON.stringify({pending: pending, documents: documents});
})(%1)
