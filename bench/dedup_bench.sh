#!/usr/bin/env bash
# What --name, --zip, --dedup and --dedup similar cost on a gallery page served from
# 127.0.0.1 (python3 -m http.server): 200 pictures, JPEG 800x600 drawn by ImageMagick, of
# which 40 are byte copies under other addresses and 40 copies scaled to 400x300. Wall time
# of `nuv-extract -d` for each option, median of 5 runs, output on a tmpfs; the goal is
# --dedup similar within 10 % of the run without it.
# Usage: bench/dedup_bench.sh [path/to/nuv-extract] [runs]   (default: build/src/cli/nuv-extract 5)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/src/cli/nuv-extract}")
runs=${2:-5}
[ -x "$exe" ] || { echo "no executable at $exe (build the target nuv-extract)" >&2; exit 1; }
for tool in python3 curl convert; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/deps installs it)" >&2; exit 1; }
done

tmp=${NUV_BENCH_TMP:-/dev/shm}
work=$(mktemp -d "$tmp/nuv-dedup-bench-XXXXXX")
server=""
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

site="$work/site"
mkdir -p "$site/pics"
{
    echo '<html><head><title>gallery</title></head><body>'
    for i in $(seq -w 1 120); do
        convert -seed "$((10#$i))" -size 800x600 plasma:fractal -quality 85 "$site/pics/p$i.jpg"
        echo "<img src=\"pics/p$i.jpg\">"
    done
    for i in $(seq 1 40); do
        cp "$site/pics/p$(printf %03d "$i").jpg" "$site/pics/copy$i.jpg"
        convert "$site/pics/p$(printf %03d $((i + 40))).jpg" -resize 400x300 "$site/pics/small$i.jpg"
        echo "<img src=\"pics/copy$i.jpg\"><img src=\"pics/small$i.jpg\">"
    done
    echo '</body></html>'
} > "$site/gallery.html"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do curl -sf -o /dev/null "http://127.0.0.1:$port/gallery.html" && break; sleep 0.1; done
page="http://127.0.0.1:$port/gallery.html"

now() { date +%s.%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# run LABEL ARGS...: the median wall time of `nuv-extract -q ARGS PAGE`, each into a new folder.
declare -A seconds
run() {
    local label=$1
    shift
    "$exe" -q "$@" -o "$work/warm" "$page" >/dev/null 2>&1 || true
    rm -rf "$work/warm"
    seconds[$label]=$(for k in $(seq "$runs"); do
        rm -rf "$work/out" "$work/out.zip" "$work/out.cbz"
        t0=$(now)
        "$exe" -q "$@" "$page" >"$work/last.json" 2>/dev/null
        t1=$(now)
        awk "BEGIN { print $t1 - $t0 }"
    done | median)
    printf '%-32s %6.3f s\n' "$label" "${seconds[$label]}"
}

echo "== nuv-extract -d of the gallery page (200 pictures), median of $runs =="
run "-d" -d --json -o "$work/out"
run "-d --name '{index:03}.{ext}'" -d --json -o "$work/out" --name '{index:03}.{ext}'
run "-d --name '{sha256:12}_{width}x{height}.{type}'" -d --json -o "$work/out" --name '{sha256:12}_{width}x{height}.{type}'
run "--zip out.zip" --json --zip "$work/out.zip"
run "--zip out.cbz" --json --zip "$work/out.cbz"
run "-d --dedup" -d --json -o "$work/out" --dedup
kept_exact=$(grep -o '"outcome":"saved"' "$work/last.json" | wc -l)
run "-d --dedup similar" -d --json -o "$work/out" --dedup similar
kept_similar=$(grep -o '"outcome":"saved"' "$work/last.json" | wc -l)
echo "kept: --dedup $kept_exact of 200 (expected 160), --dedup similar $kept_similar (expected 120)"
awk -v a="${seconds[-d]}" -v b="${seconds[-d --dedup similar]}" \
    'BEGIN { printf "--dedup similar / -d: %.3f (goal: at most 1.10)\n", b / a }'

