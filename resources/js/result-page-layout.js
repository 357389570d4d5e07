// The result pages' layout: wrapping cells, picture sizes, movies that fit their cells.
(function () {
  if (window.__nuvResultLayout) return;
  window.__nuvResultLayout = true;
  function pixelSize(img) {
    if (img.__nuvSized || !img.complete || !img.naturalWidth) return;
    img.__nuvSized = true;
    var size = document.createElement('div');
    size.className = 'nuv-pixel-size';
    size.textContent = img.naturalWidth + ' × ' + img.naturalHeight;
    // Under the picture, above its save link.
    var next = img.nextElementSibling;
    (next && next.localName === 'br' ? next : img).after(size);
  }
  function start() {
    var style = document.createElement('style');
    style.textContent =
      'td { overflow-wrap: anywhere; word-break: break-word; }' +
      '.nuv-pixel-size { color: #808080; text-indent: 10px; }' +
      'td ruffle-player { display: block; width: 190px !important; height: 142px !important; }';
    (document.head || document.documentElement).appendChild(style);
    var imgs = document.images;
    for (var i = 0; i < imgs.length; i++) pixelSize(imgs[i]);
  }
  // Pictures report their load; the listener catches those of the whole page.
  document.addEventListener('load', function (ev) {
    if (ev.target && ev.target.localName === 'img') pixelSize(ev.target);
  }, true);
  // A click on a movie reaches the movie (which unmutes it) and opens no window.
  document.addEventListener('click', function (ev) {
    var t = ev.target;
    if (t && t.closest && t.closest('ruffle-player')) ev.preventDefault();
  }, true);
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
