// The natural size of every picture of a result page, and whether all have loaded.
(function () {
  var imgs = document.querySelectorAll('td > img'), done = true, sizes = [];
  for (var i = 0; i < imgs.length; i++) {
    var img = imgs[i];
    if (!img.complete) done = false;
    sizes.push([img.getAttribute('src'), img.complete ? img.naturalWidth : 0, img.complete ? img.naturalHeight : 0]);
  }
  return JSON.stringify({done: done, sizes: sizes});
})()
