// The Flash player's settings; the program writes in where its files are served and
// which renderer it draws with.
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = Object.assign({
  publicPath: %1,
  polyfills: false,
  autoplay: 'on',
  // The result window's movies play without the dimming sign; a click still unmutes them.
  unmuteOverlay: location.protocol === 'nuvdoc:' ? 'hidden' : 'visible',
  splashScreen: false,
  warnOnUnsupportedContent: false,
  showSwfDownload: false,
  logLevel: 'error',
  preferredRenderer: %2
}, window.RufflePlayer.config || {});
