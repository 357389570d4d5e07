#!/usr/bin/env bash
# nuv-extract beside the tools users would pick instead, on one page served by nginx on
# 127.0.0.1 with keep-alive: 1 000 <img> + 50 pictures named by the style sheet + 50
# pictures in a frame + 20 pictures added by a script, 16 KB each (1 120 pictures).
# In one run, the tools taking turns each round (in a rotating order): `nuv-extract -t images -d`, the same
# without -d (the page and the list alone), the page read without the browser
# (`--engine static -d`, which misses the script's 20), `wget -p -nd -H`, `wget2 -p` (4 threads), and
# curl fetching the list nuv-extract found (`curl -K`, one after the other, and `curl -Z`,
# 4 at a time). For each: the median of RUNS of the wall time and of the processor time
# (user + system, children included), the pictures saved, and the ratios; the processor
# time of nuv-extract's downloads alone is that of -d less that of the list alone.
# Files are written to memory-backed storage when there is some (NUV_BENCH_DIR picks
# another place), so the disk's write-back does not decide the figures. Installs nginx,
# wget and wget2 through the project's dependency script.
# Usage: bench/peers.sh [path/to/nuv-extract] [RUNS] [another nuv-extract to compare]
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/src/cli/nuv-extract}")
runs=${2:-5}
other=${3:+$(realpath "$3")}
[ -x "$exe" ] || { echo "no executable at $exe (build the target nuv-extract)" >&2; exit 1; }
[ -z "$other" ] || [ -x "$other" ] || { echo "no executable at $other" >&2; exit 1; }
./scripts/deps nginx-light wget wget2 curl >&2 || { echo "needs nginx-light, wget, wget2 and curl" >&2; exit 1; }

work=$(mktemp -d)
root=${NUV_BENCH_DIR:-$([ -d /dev/shm ] && echo /dev/shm || echo "$work")}
out=$(mktemp -d "$root/nuv-peers-XXXXXX")
nginx_pid=""
cleanup() { [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null; rm -rf "$work" "$out"; }
trap cleanup EXIT
site="$work/site"
mkdir -p "$site/img" "$site/css" "$site/frame" "$site/js"
head -c 16384 /dev/urandom > "$work/blob"
for i in $(seq 1 1120); do cp "$work/blob" "$site/img/p$i.png"; done
{
    echo '<html><head><title>1 120 pictures</title><link rel="stylesheet" href="css/s.css"></head><body>'
    for i in $(seq 1 1000); do echo "<img src=\"img/p$i.png\" width=\"8\" height=\"8\">"; done
    for i in $(seq 1001 1050); do echo "<div class=\"c$i\"></div>"; done
    echo '<iframe src="frame/f.html"></iframe>'
    echo '<script>for (var i = 1101; i <= 1120; i++) { var e = document.createElement("img");'
    echo 'e.src = "img/p" + i + ".png"; document.body.appendChild(e); }</script>'
    echo '</body></html>'
} > "$site/index.html"
for i in $(seq 1001 1050); do echo ".c$i { background: url(../img/p$i.png); }"; done > "$site/css/s.css"
{
    echo '<html><body>'
    for i in $(seq 1051 1100); do echo "<img src=\"../img/p$i.png\">"; done
    echo '</body></html>'
} > "$site/frame/f.html"

. bench/nginx-site.sh
serve_site "$site" "$work"
url="$origin/index.html"

# The list nuv-extract finds, as curl configurations writing where it would.
"$exe" -q -t images "$url" > "$work/list.txt" 2>/dev/null || true
listed=$(wc -l < "$work/list.txt")
[ "$listed" -ge 1120 ] || { echo "nuv-extract listed $listed pictures, expected at least 1120" >&2; exit 1; }
awk '{n=$0; sub(/.*\//, "", n); printf "url = \"%s\"\noutput = \"%s\"\n", $0, n}' "$work/list.txt" > "$work/curl.cfg"

names=() commands=()
tool() { names+=("$1"); shift; commands+=("$*"); }
tool "nuv-extract -t images -d" "'$exe' -q -t images -d -o . '$url'"
tool "nuv-extract -t images" "'$exe' -q -t images -o . '$url'"
tool "nuv-extract --engine static -d" "'$exe' -q -t images -d --engine static -o . '$url'"
[ -z "$other" ] || tool "other nuv-extract -d" "'$other' -q -t images -d -o . '$url'"
tool "wget -p -nd -H" "wget -q -p -nd -H '$url'"
tool "wget2 -p (4 threads)" "wget2 -q -p --max-threads=4 '$url'"
tool "curl -K (the list)" "curl -s -f -K '$work/curl.cfg'"
tool "curl -Z -K (4 at a time)" "curl -s -f -Z --parallel-max 4 -K '$work/curl.cfg'"

calc() { awk "BEGIN { printf \"%.3f\", $* }"; }
ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }
median() { sort -n | awk '{v[NR]=$1} END {if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }
# Each round runs every tool once, in a fresh folder, and notes "wall cpu pictures"; the
# round starts with another tool each time, so no tool always follows the same one.
count=${#commands[@]}
for round in $(seq "$runs"); do
    for step in $(seq 0 $((count - 1))); do
        i=$(( (step + round) % count ))
        rm -rf "$out/run"; mkdir -p "$out/run"
        TIMEFORMAT='%3R %3U %3S'
        t=$( { time (cd "$out/run" && eval "${commands[$i]}" >/dev/null 2>&1) || true; } 2>&1 )
        read -r wall user sys <<< "$t"
        saved=$(find "$out/run" -name 'p*.png' | wc -l)
        echo "$wall $(calc "$user + $sys") $saved" >> "$work/times.$i"
    done
done
printf '%-28s %8s %8s %9s\n' tool seconds cpu-s pictures
declare -A wall cpu
for i in "${!commands[@]}"; do
    wall[$i]=$(cut -d' ' -f1 "$work/times.$i" | median)
    cpu[$i]=$(cut -d' ' -f2 "$work/times.$i" | median)
    printf '%-28s %8.3f %8.3f %9d\n' "${names[$i]}" "${wall[$i]}" "${cpu[$i]}" "$(tail -1 "$work/times.$i" | cut -d' ' -f3)"
done
n=$((${#commands[@]} - 1)); k=$((n - 1)); w2=$((k - 1)); w1=$((k - 2))
echo "median of $runs, same run; $listed addresses listed"
echo "nuv-extract -d / wget -p: $(ratio "${wall[0]}" "${wall[$w1]}")   / wget2 -p: $(ratio "${wall[0]}" "${wall[$w2]}")   (wall time)"
downloads=$(calc "${cpu[0]} - ${cpu[1]}")
echo "nuv-extract's downloads alone: $downloads cpu-s; / curl -K: $(ratio "$downloads" "${cpu[$k]}")   / curl -Z: $(ratio "$downloads" "${cpu[$n]}")"
