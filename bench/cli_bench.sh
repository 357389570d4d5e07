#!/usr/bin/env bash
# Measures nuv-extract against a site on 127.0.0.1 served by python3 -m http.server:
#  1. start to printed list for one page (median of 5 warm runs);
#  2. -d of 1 000 files of 16 KB beside curl fetching the same list sequentially in one
#     process (connection handling as curl does it), as a ratio (goal: within 1.2).
# Usage: bench/cli_bench.sh [path/to/nuv-extract]   (default: build/src/cli/nuv-extract)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/src/cli/nuv-extract}")
count=${NUV_BENCH_FILES:-1000}
[ -x "$exe" ] || { echo "no executable at $exe (build the target nuv-extract)" >&2; exit 1; }
command -v python3 >/dev/null && command -v curl >/dev/null || { echo "needs python3 and curl" >&2; exit 1; }

work=$(mktemp -d)
server=""
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

site="$work/site"
mkdir -p "$site/files"
head -c 16384 /dev/urandom > "$work/blob"
{
    echo '<html><head><title>1000 pictures</title></head><body>'
    for i in $(seq -w 1 "$count"); do
        cp "$work/blob" "$site/files/p$i.png"
        echo "<a href=\"files/p$i.png\">p$i</a>"
    done
    echo '</body></html>'
} > "$site/many.html"
{
    echo '<html><head><title>one page</title><link rel="stylesheet" href="s.css"></head><body>'
    for i in $(seq 1 20); do echo "<img src=\"files/p$(printf %0${#count}d "$i").png\" width=16>"; done
    echo '<script>var i=document.createElement("img");i.src="files/late.png";document.body.appendChild(i);</script>'
    echo '</body></html>'
} > "$site/page.html"
echo 'body { background: url(files/bg.png); }' > "$site/s.css"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do curl -sf -o /dev/null "http://127.0.0.1:$port/page.html" && break; sleep 0.1; done
origin="http://127.0.0.1:$port"

now() { date +%s.%N; }
calc() { awk "BEGIN { print $* }"; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

echo "== start to printed list, one page (images), median of 5 warm runs =="
"$exe" -q "$origin/page.html" >/dev/null 2>&1  # warm-up
for _ in 1 2 3 4 5; do
    t0=$(now); "$exe" -q "$origin/page.html" >/dev/null 2>&1; t1=$(now)
    calc "$t1 - $t0"
done | median | awk '{printf "nuv-extract: %.3f s\n", $1}'

echo "== -d of $count files of 16 KB from loopback (type other, links), beside curl =="
"$exe" -q -t other "$origin/many.html" > "$work/list.txt" 2>/dev/null
[ "$(wc -l < "$work/list.txt")" -eq "$count" ] || { echo "expected $count addresses" >&2; exit 1; }
awk -v d="$work/curl" '{n=$0; sub(/.*\//, "", n); printf "url = \"%s\"\noutput = \"%s/%s\"\n", $0, d, n}' \
    "$work/list.txt" > "$work/curl.cfg"
ratios=()
run_curl() { local t0; t0=$(now); curl -sf -K "$work/curl.cfg"; calc "$(now) - $t0"; }
run_nuv() {
    local t0; t0=$(now)
    "$exe" -q -d -t other -o "$work/nuv" "$origin/many.html" >/dev/null 2>&1
    calc "$(now) - $t0"
}
for round in 1 2 3 4 5; do
    # Fresh folders each round (creating files dominates both); the order alternates.
    rm -rf "$work/curl" "$work/nuv"; mkdir -p "$work/curl" "$work/nuv"
    if [ $((round % 2)) -eq 1 ]; then c=$(run_curl); n=$(run_nuv); else n=$(run_nuv); c=$(run_curl); fi
    [ "$(ls "$work/nuv" | wc -l)" -eq "$count" ] && [ "$(ls "$work/curl" | wc -l)" -eq "$count" ] \
        || { echo "a run did not fetch every file" >&2; exit 1; }
    r=$(calc "$n / $c")
    printf "round %d: curl %.3f s, nuv-extract -d %.3f s (start, page, list and downloads), ratio %.2f\n" \
        "$round" "$c" "$n" "$r"
    ratios+=("$r")
done
printf '%s\n' "${ratios[@]}" | median | awk '{printf "median ratio: %.2f (goal: at most 1.2)\n", $1}'
