#!/usr/bin/env bash
# nuv-extract over a list of pages beside wget2, on a site served by nginx on 127.0.0.1
# with keep-alive: PAGES pages (default 200), each with 18 <img>, a style sheet naming a
# picture and a frame showing one, 20 pictures of 16 KB a page, all different.
#  1. `nuv-extract -i list -d` beside `wget2 -p -i list` (4 threads), median of RUNS:
#     pages and pictures saved, seconds, ratio (goal: at most 1.0).
#  2. Peak memory (/usr/bin/time -v, maximum resident set size) of `nuv-extract -i list -d`
#     over 10 pages and over MEMPAGES pages (default 1 000; the list repeats the site's
#     pages with a query, every address a page of its own). Goal: at most 1.5 times.
# Installs nginx, wget2 and time through the project's dependency script.
# Usage: bench/batch.sh [path/to/nuv-extract] [RUNS] [MEMPAGES]   (PAGES=... in the environment)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/src/cli/nuv-extract}")
runs=${2:-3}
mempages=${3:-1000}
pages=${PAGES:-200}
[ -x "$exe" ] || { echo "no executable at $exe (build the target nuv-extract)" >&2; exit 1; }
./scripts/deps nginx-light wget2 time >&2 || { echo "needs nginx-light, wget2 and time" >&2; exit 1; }

work=$(mktemp -d)
nginx_pid=""
cleanup() { [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
site="$work/site"
mkdir -p "$site/img" "$site/css" "$site/frame"
head -c 16384 /dev/urandom > "$work/blob"
for p in $(seq 1 "$pages"); do
    for i in $(seq 1 20); do ln "$work/blob" "$site/img/p$p-$i.png"; done
    {
        echo "<html><head><title>page $p</title><link rel=\"stylesheet\" href=\"css/s$p.css\"></head><body>"
        for i in $(seq 1 18); do echo "<img src=\"img/p$p-$i.png\" width=\"8\" height=\"8\">"; done
        echo "<div class=\"bg\"></div><iframe src=\"frame/f$p.html\"></iframe>"
        echo '</body></html>'
    } > "$site/page$p.html"
    echo ".bg { background: url(../img/p$p-19.png); }" > "$site/css/s$p.css"
    echo "<html><body><img src=\"../img/p$p-20.png\"></body></html>" > "$site/frame/f$p.html"
done

. bench/nginx-site.sh
serve_site "$site" "$work"
for p in $(seq 1 "$pages"); do echo "$origin/page$p.html"; done > "$work/list"

median() { sort -n | awk '{v[NR]=$1} END {if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }
# Runs a command in a new folder (never one just emptied: creating files where many were
# just deleted costs the file system more); prints "seconds pages-done pictures-saved".
once() {
    local kind=$1; shift
    local out t0 t1 done
    out=$(mktemp -d "$work/out.XXXXXX")
    t0=$(date +%s.%N)
    (cd "$out" && "$@" >/dev/null 2>"$work/err") || true
    t1=$(date +%s.%N)
    if [ "$kind" = nuv ]; then
        done=$(sed -n 's/^pages: [0-9]*, done \([0-9]*\),.*/\1/p' "$work/err")
    else
        done=$(find "$out" -name 'page*.html' | wc -l)
    fi
    printf '%s %s %s\n' "$(echo "$t1 - $t0" | bc)" "${done:-0}" "$(find "$out" -name 'p*-*.png' | wc -l)"
}
nuv_t=(); wget2_t=()
for round in $(seq "$runs"); do
    # The order alternates, so that neither tool always finds the caches warm.
    if [ $((round % 2)) -eq 1 ]; then
        read -r t nuv_pages nuv_pics < <(once nuv "$exe" -q -i "$work/list" -d -o .); nuv_t+=("$t")
        read -r t w_pages w_pics < <(once wget2 wget2 -q -p --max-threads=4 -i "$work/list"); wget2_t+=("$t")
    else
        read -r t w_pages w_pics < <(once wget2 wget2 -q -p --max-threads=4 -i "$work/list"); wget2_t+=("$t")
        read -r t nuv_pages nuv_pics < <(once nuv "$exe" -q -i "$work/list" -d -o .); nuv_t+=("$t")
    fi
done
nuv=$(printf '%s\n' "${nuv_t[@]}" | median)
wget2=$(printf '%s\n' "${wget2_t[@]}" | median)
echo "== $pages pages of 20 pictures (18 <img>, 1 in a style sheet, 1 in a frame), median of $runs =="
printf '%-36s %8s %6s %9s\n' tool seconds pages pictures
printf '%-36s %8.2f %6d %9d\n' "nuv-extract -i list -d" "$nuv" "$nuv_pages" "$nuv_pics"
printf '%-36s %8.2f %6d %9d\n' "wget2 -p -i list (4 threads)" "$wget2" "$w_pages" "$w_pics"
echo "ratio nuv-extract / wget2: $(echo "scale=2; $nuv / $wget2" | bc)  (goal: at most 1.0, every picture saved: $((pages * 20)))"

# Peak memory over 10 pages and over MEMPAGES pages.
peak() {
    local count=$1
    awk -v n="$count" -v pages="$pages" -v o="$origin" \
        'BEGIN { for (i = 0; i < n; i++) printf "%s/page%d.html?r=%d\n", o, i % pages + 1, int(i / pages) }' > "$work/memlist"
    /usr/bin/time -v "$exe" -q -i "$work/memlist" -d -o "$(mktemp -d "$work/out.XXXXXX")" >/dev/null 2>"$work/time" || true
    printf '%s %s %s\n' "$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")" \
        "$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time")" \
        "$(sed -n 's/^pages: [0-9]*, done \([0-9]*\),.*/\1/p' "$work/time")"
}
read -r small small_time small_done < <(peak 10)
read -r large large_time large_done < <(peak "$mempages")
echo "== peak memory of nuv-extract -i list -d (/usr/bin/time -v) =="
printf '%6d pages: %8d KB  (%s, %s done)\n' 10 "$small" "$small_time" "$small_done"
printf '%6d pages: %8d KB  (%s, %s done)\n' "$mempages" "$large" "$large_time" "$large_done"
echo "ratio: $(echo "scale=2; $large / $small" | bc)  (goal: at most 1.5)"
