#!/usr/bin/env bash
# nuv-extract beside the tools users would pick instead, on one page served by nginx on
# 127.0.0.1 with keep-alive: 1 000 <img> + 50 pictures named by the style sheet + 50
# pictures in a frame + 20 pictures added by a script, 16 KB each (1 120 pictures).
# Times (median of RUNS) of `nuv-extract -t images -d`, `wget -p -nd -H` and `wget2 -p`,
# the pictures each saved, and their ratios. Installs nginx, wget and wget2 through the
# project's dependency script. Usage: bench/peers.sh [path/to/nuv-extract] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/src/cli/nuv-extract}")
runs=${2:-3}
[ -x "$exe" ] || { echo "no executable at $exe (build the target nuv-extract)" >&2; exit 1; }
./scripts/deps nginx-light wget wget2 >&2 || { echo "needs nginx-light, wget and wget2" >&2; exit 1; }

work=$(mktemp -d)
nginx_pid=""
cleanup() { [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null; rm -rf "$work"; }
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

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
cat > "$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 256; }
http {
    access_log off;
    keepalive_timeout 30;
    keepalive_requests 100000;
    types { text/html html; text/css css; image/png png; }
    client_body_temp_path $work/tmp; proxy_temp_path $work/tmp; fastcgi_temp_path $work/tmp;
    uwsgi_temp_path $work/tmp; scgi_temp_path $work/tmp;
    server { listen 127.0.0.1:$port; root $site; }
}
CONF
mkdir -p "$work/tmp"
chmod -R a+rX "$work"  # nginx's workers may run as another user
nginx -c "$work/nginx.conf" -p "$work" 2>"$work/nginx.err" & nginx_pid=$!
url="http://127.0.0.1:$port/index.html"
for _ in $(seq 50); do curl -s -o /dev/null "$url" && break; sleep 0.1; done

median() { sort -n | awk '{v[NR]=$1} END {if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }
# Runs a command RUNS times in a fresh folder; prints "median-seconds pictures-saved".
measure() {
    local times=() saved=0
    for _ in $(seq "$runs"); do
        rm -rf "$work/out"; mkdir -p "$work/out"
        local t0 t1
        t0=$(date +%s.%N)
        (cd "$work/out" && "$@" >/dev/null 2>&1) || true
        t1=$(date +%s.%N)
        times+=("$(echo "$t1 - $t0" | bc)")
        saved=$(find "$work/out" -name 'p*.png' | wc -l)
    done
    printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | median)" "$saved"
}
read -r nuv nuv_n < <(measure "$exe" -q -t images -d -o . "$url")
read -r wget1 wget1_n < <(measure wget -q -p -nd -H "$url")
read -r wget2 wget2_n < <(measure wget2 -q -p --max-threads=4 "$url")
printf '%-28s %8s %8s\n' tool seconds pictures
printf '%-28s %8.3f %8d\n' "nuv-extract -t images -d" "$nuv" "$nuv_n"
printf '%-28s %8.3f %8d\n' "wget -p -nd -H" "$wget1" "$wget1_n"
printf '%-28s %8.3f %8d\n' "wget2 -p (4 threads)" "$wget2" "$wget2_n"
echo "ratio nuv-extract / wget -p: $(echo "scale=2; $nuv / $wget1" | bc)   nuv-extract / wget2 -p: $(echo "scale=2; $nuv / $wget2" | bc)"
