#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it from there as a user would:
# every installed file in its place, both programs find their libraries, nuv-extract
# from the PATH gives its version and extracts from a local page, and its manual page
# and bash completion know every option that its --help lists.
#   install_test.sh BUILD_DIR
set -uo pipefail

build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install" >&2
    exit 1
}

# Every file of the installed tree in its place, and nothing outside bin/, share/ and
# the folder of nuv-extract's engine module.
sizes="16 22 24 32 48 64 128 256"
expected=(bin/nuv-webextract bin/nuv-extract lib/nuv-webextract/nuv-extract-engine.so
    share/applications/nuv-webextract.desktop
    share/metainfo/example.nuvsoft.webextract.metainfo.xml
    share/icons/hicolor/scalable/apps/nuv-webextract.svg
    share/man/man1/nuv-webextract.1.gz share/man/man1/nuv-extract.1.gz
    share/bash-completion/completions/nuv-extract)
for s in $sizes; do expected+=("share/icons/hicolor/${s}x${s}/apps/nuv-webextract.png"); done
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
for f in $(comm -23 <(printf '%s\n' "${expected[@]}" | sort) - <<<"$installed"); do fail "$f is not installed"; done
for f in $(grep -vE '^(bin|share|lib/nuv-webextract)/' <<<"$installed"); do
    fail "$f is installed outside bin/, share/ and lib/nuv-webextract/"
done
for s in $sizes; do
    got=$(identify -format '%wx%h' "$prefix/share/icons/hicolor/${s}x${s}/apps/nuv-webextract.png" 2>/dev/null)
    [ "$got" = "${s}x${s}" ] || fail "icon of ${s}x${s} is $got"
done
# The metainfo's launchable names the installed menu entry.
appstreamcli validate-tree --no-net "$prefix" >"$work/tree.log" 2>&1 || {
    cat "$work/tree.log" >&2
    fail "appstreamcli validate-tree on the installed tree"
}
for exe in bin/nuv-webextract bin/nuv-extract lib/nuv-webextract/nuv-extract-engine.so; do
    [[ $exe == *.so ]] || [ -x "$prefix/$exe" ] || fail "$exe is not executable"
    missing=$(ldd "$prefix/$exe" | grep 'not found')
    [ -z "$missing" ] || fail "$exe misses libraries: $missing"
done
# nuv-extract loads the engine's libraries with its module, not at its start.
ldd "$prefix/bin/nuv-extract" | grep -q WebEngine && fail "bin/nuv-extract links the engine's libraries itself"

# nuv-extract started as a script starts it: from the PATH, without a display, no
# platform chosen, and as root without the sandbox switch.
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY
[ "$(id -u)" -eq 0 ] && unset QTWEBENGINE_DISABLE_SANDBOX
export PATH="$prefix/bin:$PATH"
[ "$(command -v nuv-extract)" = "$prefix/bin/nuv-extract" ] || fail "nuv-extract is not the installed one"
version=$(nuv-extract --version)
[ "$(head -n 1 <<<"$version")" = "nuv-extract (NUV网页提取助手) 2.2" ] || fail "--version printed '$version'"
# The Flash player, when the build has one, is the installed copy.
if [ -f "$build/data/ruffle/ruffle.js" ]; then
    grep -q "share/nuv-webextract/ruffle" <<<"$version" || fail "the installed Flash player is not used: '$version'"
fi

mkdir -p "$work/site/img"
convert -size 4x3 xc:red "$work/site/img/red.png"
cat >"$work/site/page.html" <<'HTML'
<html><head><title>Installed</title></head>
<body><p>installed marker</p><img src="img/red.png"><img src="img/red.png"></body></html>
HTML
page=$(cd "$work/site" && pwd)/page.html
out=$(cd "$work/site" && nuv-extract -q -t images -d -o saved ./page.html 2>"$work/err")
status=$?
[ $status -eq 0 ] || fail "image extraction of a local page exited with $status: $(cat "$work/err")"
[ "$out" = "file://$work/site/img/red.png" ] || fail "image extraction printed '$out'"
cmp -s "$work/site/img/red.png" "$work/site/saved/red.png" || fail "the picture was not downloaded into saved/"
out=$(nuv-extract -q -t text "$page" 2>"$work/err")
grep -q "installed marker" <<<"$out" || fail "text extraction printed '$out': $(cat "$work/err")"
nuv-extract -q "$work/site/no-such-page.html" >/dev/null 2>&1
status=$?
[ $status -eq 1 ] || fail "a missing local page exited with $status, not 1"

# The window program from the installed path, given a page on its command line as the
# menu entry gives it: still running after some seconds, so it got through its start.
(cd "$work" && HOME="$work/home" QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
    timeout 10 nuv-webextract "$page" >"$work/window.log" 2>&1)
status=$?
[ $status -eq 124 ] || fail "nuv-webextract ended by itself with $status: $(tail -5 "$work/window.log")"

# The options and exit statuses of --help, in the manual page and the completion.
help=$(nuv-extract --help)
options=$(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u)
[ "$(wc -l <<<"$options")" -ge 12 ] || fail "too few options read from --help: $options"
manual=$(MANWIDTH=200 LC_ALL=C.UTF-8 man -l "$prefix/share/man/man1/nuv-extract.1.gz" 2>&1)
for opt in $options; do
    grep -qE "^ +(-[a-z], )?$opt( |,|$)" <<<"$manual" || fail "nuv-extract(1) does not describe $opt"
done
statuses=$(sed -n '/^Exit status:/,/^$/p' <<<"$help" | grep -oE '(^|[:;] *)[0-9]+ ' | grep -oE '[0-9]+')
[ -n "$statuses" ] || fail "no exit statuses read from --help"
exits=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$manual")
for n in $statuses; do
    grep -qE "^ +$n +[A-Z]" <<<"$exits" || fail "nuv-extract(1) does not list exit status $n"
done
MANWIDTH=200 LC_ALL=C.UTF-8 man -l "$prefix/share/man/man1/nuv-webextract.1.gz" 2>&1 >/dev/null |
    grep . >&2 && fail "nuv-webextract(1) gives warnings"
man --warnings -l "$prefix/share/man/man1/nuv-extract.1.gz" 2>&1 >/dev/null | grep . >&2 &&
    fail "nuv-extract(1) gives warnings"

complete_words() {
    bash -c 'source /usr/share/bash-completion/bash_completion
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _nuv_extract nuv-extract "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' sh "$prefix/share/bash-completion/completions/nuv-extract" "$@"
}
if [ -f /usr/share/bash-completion/bash_completion ]; then
    offered=$(complete_words nuv-extract - | sort -u)
    for opt in $options; do
        grep -qx -- "$opt" <<<"$offered" || fail "the completion does not offer $opt"
    done
    types=$(complete_words nuv-extract --type '' | sort | tr '\n' ' ')
    [ "$types" = "css flash images other source text " ] || fail "the completion offers the types '$types'"
else
    fail "bash-completion is not installed"
fi

[ $failures -eq 0 ] && echo "install test: all checks passed"
exit $((failures > 0))
