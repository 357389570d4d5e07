// What the program's scripts of a document share: the seal of a text, its HMAC-SHA-256
// under the secret of the program's run, which the program writes in as the key below.
// The page's scripts see every message the program's scripts exchange, but not this world:
// they can neither make a seal nor read the key.
(function () {
  if (window.__nuvSeal) return;
  var K = [0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
           0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
           0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
           0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
           0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
           0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
           0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
           0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2];
  var W = new Int32Array(64), encoder = new TextEncoder();

  // Runs the SHA-256 compression over the 64-byte blocks of `view` (`size` bytes) from the
  // state `H`, which it returns.
  function compress(H, view, size) {
    for (var at = 0; at < size; at += 64) {
      var t;
      for (t = 0; t < 16; t++) W[t] = view.getInt32(at + 4 * t);
      for (t = 16; t < 64; t++) {
        var x = W[t - 15], y = W[t - 2];
        var s0 = ((x >>> 7) | (x << 25)) ^ ((x >>> 18) | (x << 14)) ^ (x >>> 3);
        var s1 = ((y >>> 17) | (y << 15)) ^ ((y >>> 19) | (y << 13)) ^ (y >>> 10);
        W[t] = (W[t - 16] + s0 + W[t - 7] + s1) | 0;
      }
      var a = H[0], b = H[1], c = H[2], d = H[3], e = H[4], f = H[5], g = H[6], h = H[7];
      for (t = 0; t < 64; t++) {
        var t1 = (h + (((e >>> 6) | (e << 26)) ^ ((e >>> 11) | (e << 21)) ^ ((e >>> 25) | (e << 7))) +
                  ((e & f) ^ (~e & g)) + K[t] + W[t]) | 0;
        var t2 = ((((a >>> 2) | (a << 30)) ^ ((a >>> 13) | (a << 19)) ^ ((a >>> 22) | (a << 10))) +
                  ((a & b) ^ (a & c) ^ (b & c))) | 0;
        h = g; g = f; f = e; e = (d + t1) | 0; d = c; c = b; b = a; a = (t1 + t2) | 0;
      }
      H[0] = (H[0] + a) | 0; H[1] = (H[1] + b) | 0; H[2] = (H[2] + c) | 0; H[3] = (H[3] + d) | 0;
      H[4] = (H[4] + e) | 0; H[5] = (H[5] + f) | 0; H[6] = (H[6] + g) | 0; H[7] = (H[7] + h) | 0;
    }
    return H;
  }
  // SHA-256, as eight 32-bit words, of a 64-byte key block whose compression gave `state`,
  // followed by `bytes`.
  function finish(state, bytes) {
    var n = bytes.length, size = (n + 72) & ~63, m = new Uint8Array(size), bits = (n + 64) * 8;
    m.set(bytes);
    m[n] = 0x80;
    var view = new DataView(m.buffer);
    view.setUint32(size - 8, Math.floor(bits / 0x100000000));
    view.setUint32(size - 4, bits >>> 0);
    return compress(state.slice(), view, size);
  }
  function bytesOf(words) {
    var out = new Uint8Array(32), view = new DataView(out.buffer);
    for (var i = 0; i < 8; i++) view.setInt32(4 * i, words[i]);
    return out;
  }

  // HMAC's two key blocks are compressed once.
  var key = encoder.encode('%1'), inner = new Uint8Array(64), outer = new Uint8Array(64);
  for (var i = 0; i < 64; i++) {
    inner[i] = (key[i] || 0) ^ 0x36;
    outer[i] = (key[i] || 0) ^ 0x5c;
  }
  var IV = [0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19];
  var innerState = compress(IV.slice(), new DataView(inner.buffer), 64);
  var outerState = compress(IV.slice(), new DataView(outer.buffer), 64);
  function mac(text) { return finish(outerState, bytesOf(finish(innerState, encoder.encode(String(text))))); }
  window.__nuvSeal = {
    // HMAC-SHA-256 of `text` under the run's secret, as eight 32-bit words.
    mac: mac,
    // The seal of `text`: its HMAC as 64 hexadecimal digits.
    seal: function (text) {
      var words = mac(text), hex = '';
      for (var i = 0; i < 8; i++) hex += ('0000000' + (words[i] >>> 0).toString(16)).slice(-8);
      return hex;
    }
  };
})();
