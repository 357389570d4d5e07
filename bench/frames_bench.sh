#!/usr/bin/env bash
# How reliably and how soon nuv-extract finds every frame of a page: a page with a frame
# that holds a frame of its own and a frame of another origin (127.0.0.2), each with a
# picture, extracted RUNS times while three busy loops compete for the processors; and
# the time from the page's load to the start of the extraction, with and without frames
# (median). Usage: bench/frames_bench.sh [path/to/nuv-extract] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/src/cli/nuv-extract}")
runs=${2:-50}
[ -x "$exe" ] || { echo "no executable at $exe (build the target nuv-extract)" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'; }
a=$(free_port); b=$(free_port)
mkdir -p "$work/a" "$work/b"
cat > "$work/a/index.html" <<HTML
<html><body><img src="top.gif"><iframe src="frame1.html"></iframe>
<iframe src="http://127.0.0.2:$b/frame2.html"></iframe></body></html>
HTML
echo '<html><body><img src="one.gif"><iframe src="inner.html"></iframe></body></html>' > "$work/a/frame1.html"
echo '<html><body><img src="inner.gif"></body></html>' > "$work/a/inner.html"
echo '<html><body><img src="top.gif"><p>no frames</p></body></html>' > "$work/a/plain.html"
echo '<html><body><img src="two.gif"></body></html>' > "$work/b/frame2.html"
python3 -m http.server "$a" --bind 127.0.0.1 --directory "$work/a" >/dev/null 2>&1 & pids+=($!)
python3 -m http.server "$b" --bind 127.0.0.2 --directory "$work/b" >/dev/null 2>&1 & pids+=($!)
for p in $a; do for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$p/plain.html" && break; sleep 0.1; done; done
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.2:$b/frame2.html" && break; sleep 0.1; done

median() { sort -n | awk '{v[NR]=$1} END {if (NR==0) print "-"; else if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }
started() { sed -n 's/.*extraction started \([0-9]*\) ms after the load.*/\1/p'; }

# Without load: the time from the load to the extraction, with and without frames.
: > "$work/plain.t"; : > "$work/frames.t"
for _ in $(seq 5); do
    "$exe" -v -q "http://127.0.0.1:$a/plain.html" 2>&1 >/dev/null | started >> "$work/plain.t"
    "$exe" -v -q "http://127.0.0.1:$a/index.html" 2>&1 >/dev/null | started >> "$work/frames.t"
done

for _ in 1 2 3; do (while :; do :; done) & pids+=($!); done
complete=0
: > "$work/loaded.t"
for _ in $(seq "$runs"); do
    out=$("$exe" -v -q "http://127.0.0.1:$a/index.html" 2>"$work/err")
    started < "$work/err" >> "$work/loaded.t"
    n=$(grep -c -E '/(top|one|inner|two)\.gif$' <<<"$out" || true)
    [ "$n" -eq 4 ] && complete=$((complete + 1))
done
echo "every frame found: $complete of $runs runs under three busy loops"
echo "load to extraction start, median ms: no frames $(median < "$work/plain.t"), nested + cross-origin frames $(median < "$work/frames.t"), the same under load $(median < "$work/loaded.t")"
