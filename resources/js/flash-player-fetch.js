// The player's own files are fetched through XMLHttpRequest, which takes the
// program's schemes; every other fetch goes to the page's fetch untouched.
(function () {
  var pageFetch = window.fetch;
  if (typeof pageFetch !== 'function' || pageFetch.__nuvPlayerFiles) return;
  var playerFetch = function (input, init) {
    var url = typeof input === 'string' ? input : (input && input.url) || String(input);
    if (url.indexOf('nuvplayer:') !== 0) return pageFetch.apply(this, arguments);
    return new Promise(function (resolve, reject) {
      var xhr = new XMLHttpRequest();
      xhr.open('GET', url);
      xhr.responseType = 'arraybuffer';
      xhr.onload = function () {
        if (!xhr.response) { reject(new TypeError('Failed to fetch ' + url)); return; }
        var type = /\.wasm$/.test(url) ? 'application/wasm' : 'text/javascript';
        resolve(new Response(xhr.response, {status: 200, headers: {
          'Content-Type': type, 'Content-Length': String(xhr.response.byteLength)}}));
      };
      xhr.onerror = function () { reject(new TypeError('Failed to fetch ' + url)); };
      xhr.send();
    });
  };
  playerFetch.__nuvPlayerFiles = true;
  window.fetch = playerFetch;
})();
