#!/usr/bin/env bash
# nuv-extract's two engines over real pages nobody here wrote: Debian's HTML manuals
# gimp-help-en and rust-doc, served by nginx on 127.0.0.1.
#  1. Differential: PAGES pages of each manual (default 200), the page source and the
#     lists of images, Flash movies, style sheets and other files, through --engine static
#     and --engine browser; the pages that --engine auto reads without the browser must
#     agree entry for entry. Prints, per manual, how many pages auto reads statically and
#     every difference.
#  2. Time: the GIMP pages downloaded (-d) with --engine auto, static and browser beside
#     `wget -p -i` and `wget2 -p -i`, RUNS rounds interleaved (default 3), medians,
#     pictures saved. Output goes to a tmpfs.
# Installs nginx, wget, wget2 and the manuals through the project's dependency script.
# Usage: bench/engines.sh [path/to/nuv-extract] [RUNS]   (PAGES=... in the environment)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/src/cli/nuv-extract}")
runs=${2:-3}
pages=${PAGES:-200}
[ -x "$exe" ] || { echo "no executable at $exe (build the target nuv-extract)" >&2; exit 1; }
./scripts/deps nginx-light wget wget2 gimp-help-en rust-doc >&2 || { echo "needs nginx-light, wget, wget2 and the manuals" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}"
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

work=$(mktemp -d -p /dev/shm)
nginx_pid=""
cleanup() { [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
. bench/nginx-site.sh

# One root for both manuals.
root="$work/root"
mkdir -p "$root"
ln -s /usr/share/gimp/2.0/help/en "$root/gimp"
ln -s /usr/share/doc/rust-doc/html "$root/rust"
chmod a+rX "$work" "$root"  # nginx's workers may run as another user
serve_site "$root" "$work/nginx"
for manual in gimp rust; do
    (cd "$root" && find -L "$manual" -name '*.html' | LC_ALL=C sort | sed -n "1,${pages}p") |
        sed "s|^|$origin/|" > "$work/$manual.list"
done

echo "== differential: static against browser, $pages pages a manual =="
for manual in gimp rust; do
    for type in source images flash css other; do
        for engine in static browser auto; do
            "$exe" -q --no-robots --jsonl -j 4 -t "$type" --engine "$engine" -i "$work/$manual.list" \
                > "$work/$manual.$type.$engine" 2>/dev/null || true
        done
    done
    python3 - "$work" "$manual" <<'PY'
import json, sys
work, manual = sys.argv[1], sys.argv[2]
def read(type, engine):
    out = {}
    for line in open(f"{work}/{manual}.{type}.{engine}", encoding="utf-8"):
        o = json.loads(line)
        out[o["address"]] = o
    return out
auto = read("source", "auto")
static_pages = {a for a, o in auto.items() if o.get("engine") == "static"}
print(f"{manual}: {len(auto)} pages, {len(static_pages)} read statically by auto")
differences = 0
for type in ["source", "images", "flash", "css", "other"]:
    s, b = read(type, "static"), read(type, "browser")
    key = "text" if type == "source" else "list"
    same = sum(1 for a in static_pages if a in s and a in b and s[a].get(key) == b[a].get(key))
    entries = sum(len(b[a].get(key) or []) for a in static_pages if a in b and type != "source")
    print(f"  {type:7} {same}/{len(static_pages)} pages equal" + ("" if type == "source" else f", {entries} entries"))
    for a in sorted(static_pages):
        if a in s and a in b and s[a].get(key) != b[a].get(key):
            differences += 1
            if differences <= 5:
                print(f"    differs: {a}")
print(f"  differences: {differences}")
PY
done

echo "== time: $pages GIMP pages with -d, medians of $runs interleaved rounds =="
declare -A times
for r in $(seq "$runs"); do
    for who in auto static browser wget wget2; do
        out="$work/out-$who"
        rm -rf "$out"
        mkdir -p "$out"
        start=$(date +%s%N)
        case $who in
            wget2) (cd "$out" && wget2 -q -p -i "$work/gimp.list" >/dev/null 2>&1 || true) ;;
            wget) (cd "$out" && wget -q -p -i "$work/gimp.list" >/dev/null 2>&1 || true) ;;
            *) "$exe" -q --no-robots -d -o "$out" --engine "$who" -i "$work/gimp.list" >/dev/null 2>&1 || true ;;
        esac
        end=$(date +%s%N)
        seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
        times[$who]+="$seconds "
        pictures=$(find "$out" -type f \( -iname '*.png' -o -iname '*.jpg' -o -iname '*.gif' -o -iname '*.svg' \) | wc -l)
        echo "round $r $who: $seconds s, $pictures pictures"
    done
done
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
for who in auto static browser wget wget2; do echo "$who median: $(echo "${times[$who]}" | median) s"; done
