// The filter bar of the image result page.
(function () {
  if (window.__nuvPictureFilter) return;
  window.__nuvPictureFilter = true;
  var LABELS = [['jpg', 'JPG'], ['png', 'PNG'], ['gif', 'GIF'], ['webp', 'WebP'], ['avif', 'AVIF'], ['jxl', 'JPEG XL'],
                ['svg', 'SVG'], ['ico', 'ICO'], ['bmp', 'BMP'], ['tiff', 'TIFF'], ['psd', 'PSD'], ['emf', 'EMF'],
                ['wmf', 'WMF'], ['other', '其他']];
  var types = {}, chosen = {}, bar = null, minWidth = null, minHeight = null, typeBox = null, count = null;
  // "隐藏相似图片": the box, and the group of pictures alike of each address once the
  // window has compared them (asked for once, when the box is first ticked).
  var similar = null, groups = null, asked = false;
  var pending = false;
  function pictures() { return document.querySelectorAll('td > img'); }
  function typeOf(img) { return types[img.getAttribute('src')] || 'other'; }
  function state() {
    var w = parseInt(minWidth.value, 10), h = parseInt(minHeight.value, 10), t = [];
    for (var k in chosen) if (chosen[k]) t.push(k);
    w = w > 0 ? w : 0;
    h = h > 0 ? h : 0;
    var alike = similar.checked;
    return {w: w, h: h, t: t, alike: alike, active: w > 0 || h > 0 || t.length > 0 || alike};
  }
  function area(img) { return img.complete ? img.naturalWidth * img.naturalHeight : 0; }
  // Of each group of pictures alike the largest as loaded so far, the first of equal ones.
  function largest(all) {
    var best = {};
    for (var i = 0; i < all.length; i++) {
      var g = groups[all[i].getAttribute('src')];
      if (g === undefined || g < 0) continue;
      if (!(g in best) || area(all[i]) > area(all[best[g]])) best[g] = i;
    }
    var kept = {};
    for (var k in best) kept[best[k]] = true;
    return kept;
  }
  function alone(img) {
    var g = groups[img.getAttribute('src')];
    return g === undefined || g < 0;
  }
  // The filter's rule: at least the smallest size (a picture not loaded has none), and a
  // chosen type when any is chosen.
  function keeps(img, s) {
    var w = img.complete ? img.naturalWidth : 0, h = img.complete ? img.naturalHeight : 0;
    if (w < s.w || h < s.h) return false;
    return s.t.length === 0 || s.t.indexOf(typeOf(img)) >= 0;
  }
  function apply() {
    pending = false;
    if (!bar) return;
    var s = state(), all = pictures(), shown = 0;
    if (s.alike && !groups && !asked) {
      var sink = window.__nuvResultSink;
      if (sink && sink.SimilarWanted) { asked = true; sink.SimilarWanted(); }
    }
    var kept = s.alike && groups ? largest(all) : null;
    document.body.classList.toggle('nuv-filtered', s.active);
    for (var i = 0; i < all.length; i++) {
      var keep = !s.active || (keeps(all[i], s) && (!kept || kept[i] || alone(all[i])));
      all[i].parentElement.classList.toggle('nuv-hidden', !keep);
      if (keep) shown++;
    }
    count.textContent = (s.active ? '显示 ' + shown + ' / ' + all.length + ' 张' : '共 ' + all.length + ' 张') +
      (s.alike && !groups ? '（正在比较相似图片）' : '');
  }
  function later() {
    if (pending) return;
    pending = true;
    requestAnimationFrame(apply);
  }
  function element(tag, text, parent) {
    var e = document.createElement(tag);
    if (text) e.textContent = text;
    if (parent) parent.appendChild(e);
    return e;
  }
  function sizeBox(label) {
    element('span', label, bar);
    var input = element('input', '', bar);
    input.type = 'number';
    input.min = '0';
    input.placeholder = '0';
    input.setAttribute('aria-label', label + '（像素）');
    input.addEventListener('input', apply);
    return input;
  }
  function buildTypes() {
    typeBox.textContent = '';
    element('span', '类型：', typeBox);
    var counts = {}, all = pictures();
    for (var i = 0; i < all.length; i++) { var t = typeOf(all[i]); counts[t] = (counts[t] || 0) + 1; }
    LABELS.forEach(function (l) {
      if (!counts[l[0]]) return;
      var label = element('label', '', typeBox);
      var box = element('input', '', label);
      box.type = 'checkbox';
      box.value = l[0];
      box.checked = !!chosen[l[0]];
      box.addEventListener('change', function () { chosen[l[0]] = box.checked; apply(); });
      element('span', l[1] + ' (' + counts[l[0]] + ')', label);
    });
  }
  function start() {
    var heading = document.querySelector('td.yemei');
    if (!heading || heading.textContent !== '图片提取' || pictures().length === 0) return;
    var style = element('style', '#nuv-filter { position: sticky; top: 0; z-index: 5; display: flex; flex-wrap: wrap;' +
      ' align-items: center; gap: 4px 10px; margin: 5px 5px 0 0; padding: 4px 8px; background: #E0F0FF;' +
      ' border: 1px solid #6699CC; font: 12px Verdana, sans-serif; color: #404040; }' +
      '#nuv-filter input[type=number] { width: 64px; }' +
      '#nuv-filter label { white-space: nowrap; margin-right: 6px; }' +
      '#nuv-filter .nuv-count { margin-left: auto; font-weight: bold; }' +
      'body.nuv-filtered table, body.nuv-filtered tbody { display: block; }' +
      'body.nuv-filtered tbody { display: flex; flex-wrap: wrap; }' +
      'body.nuv-filtered tr { display: contents; }' +
      'body.nuv-filtered td { display: block; width: 200px; }' +
      'body.nuv-filtered td.yemei { flex-basis: 100%; width: auto; }' +
      'td.nuv-hidden { display: none !important; }');
    (document.head || document.documentElement).appendChild(style);
    bar = document.createElement('div');
    bar.id = 'nuv-filter';
    element('b', '筛选', bar);
    minWidth = sizeBox('最小宽度');
    minHeight = sizeBox('最小高度');
    element('span', '像素', bar);
    typeBox = element('span', '', bar);
    var alikeLabel = element('label', '', bar);
    similar = element('input', '', alikeLabel);
    similar.type = 'checkbox';
    similar.id = 'nuv-similar';
    similar.addEventListener('change', apply);
    element('span', '隐藏相似图片', alikeLabel);
    var clear = element('button', '清除', bar);
    clear.type = 'button';
    clear.addEventListener('click', function () {
      minWidth.value = '';
      minHeight.value = '';
      chosen = {};
      similar.checked = false;
      buildTypes();
      apply();
    });
    count = element('span', '', bar);
    count.className = 'nuv-count';
    document.body.insertBefore(bar, document.body.firstChild);
    buildTypes();
    apply();
    // The window hands over the types once asked, through the click hook's channel.
    (function ask(tries) {
      var sink = window.__nuvResultSink;
      if (sink && sink.FilterReady) sink.FilterReady();
      else if (tries < 200) setTimeout(function () { ask(tries + 1); }, 50);
    })(0);
  }
  window.__nuvSetPictureTypes = function (map) {
    types = map || {};
    if (bar) { buildTypes(); apply(); }
  };
  window.__nuvSetPictureGroups = function (map) {
    groups = map || {};
    if (bar) apply();
  };
  window.__nuvFilterState = function () {
    if (!bar) return null;
    apply();
    var s = state(), visible = [], all = pictures();
    for (var i = 0; i < all.length; i++)
      if (!all[i].parentElement.classList.contains('nuv-hidden')) visible.push(all[i].getAttribute('src'));
    return {active: s.active, visible: visible};
  };
  // Each picture that loads (or fails) may change what a size filter keeps.
  document.addEventListener('load', function (ev) { if (ev.target && ev.target.localName === 'img') later(); }, true);
  document.addEventListener('error', function (ev) { if (ev.target && ev.target.localName === 'img') later(); }, true);
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
