#!/usr/bin/env bash
# The Debian package as a user gets it. cpack builds it from this build tree;
# it must hold the programs, the manual pages, the desktop entry, the icon,
# the copyright and the changelog and nothing else, depend on the package of
# every shared library its programs load (libGL.so.1 included, which SDL
# opens at run time), and pass lintian without an error. Unpacked, its
# program must answer --help without a display, its manual page describe
# everything --help lists, and under its own X server the program and the
# shot tool must draw what those of the build tree draw.
#
# usage: test_package.sh BUILD_DIR
set -euo pipefail
build=$(readlink -f "$1")
work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/out/quillmora_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single quillmora_*.deb"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
echo "package: ${deb##*/}, version $version"

# --- Contents: exactly these files (directories aside) ----------------------
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/files"
sort >"$work/expected" <<'EOF'
./usr/bin/quillmora
./usr/bin/quillmora-models
./usr/bin/quillmora-render
./usr/bin/quillmora-shot
./usr/bin/quillmora-soundtrack
./usr/share/applications/quillmora.desktop
./usr/share/doc/quillmora/changelog.gz
./usr/share/doc/quillmora/copyright
./usr/share/icons/hicolor/128x128/apps/quillmora.png
./usr/share/man/man6/quillmora-models.6.gz
./usr/share/man/man6/quillmora-render.6.gz
./usr/share/man/man6/quillmora-shot.6.gz
./usr/share/man/man6/quillmora-soundtrack.6.gz
./usr/share/man/man6/quillmora.6.gz
EOF
diff "$work/expected" "$work/files" || fail "the package's files differ from the list above"

root=$work/root
dpkg -x "$deb" "$root"
for page in "$root"/usr/share/man/man6/quillmora-*.6.gz; do
    [ "$(readlink "$page")" = quillmora.6.gz ] || fail "${page##*/} is not a link to quillmora.6.gz"
done
# The desktop entry starts an installed program with the installed icon.
grep -qx 'Exec=quillmora' "$root/usr/share/applications/quillmora.desktop" || fail "desktop entry: Exec"
grep -qx 'Icon=quillmora' "$root/usr/share/applications/quillmora.desktop" || fail "desktop entry: Icon"
# A PNG of 128 x 128 pixels: signature, then the IHDR chunk's width and height.
[ "$(od -An -tx1 -N24 "$root/usr/share/icons/hicolor/128x128/apps/quillmora.png" | tr -d ' \n')" = \
    89504e470d0a1a0a0000000d494844520000008000000080 ] || fail "the icon is not a 128x128 PNG"

# --- Dependencies: the package of every library a program loads directly ----
dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//' | sort -u >"$work/depends"
ldconfig -p >"$work/libraries"
for bin in "$root"/usr/bin/*; do
    # SDL opens libGL.so.1 itself, at run time, for the programs with a window.
    loaded=
    [ "${bin##*/}" = quillmora ] && loaded=libGL.so.1
    for soname in $(objdump -p "$bin" | awk '$1 == "NEEDED" { print $2 }') $loaded; do
        path=$(awk -v n="$soname" '$1 == n && /x86-64/ && !found { print $NF; found = 1 }' "$work/libraries")
        [ -n "$path" ] || fail "${bin##*/}: $soname is not installed here"
        owner=
        for p in "$path" "/usr$path" "${path#/usr}" "$(readlink -f "$path")"; do
            owner=$(dpkg -S "$p" 2>/dev/null | head -n 1 | cut -d: -f1) && [ -n "$owner" ] && break
        done
        [ -n "$owner" ] || fail "${bin##*/}: no package owns $path"
        grep -qx "$owner" "$work/depends" || fail "${bin##*/} loads $soname from $owner, which Depends lacks"
    done
done
echo "depends: $(dpkg-deb -f "$deb" Depends)"

# --- lintian: every tag it finds is shown; an error fails -------------------
# (lintian's status is not 0 when it finds an error or cannot check at all.)
lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 ||
    { cat "$work/lintian"; fail "lintian found errors or could not run"; }
cat "$work/lintian"

# --- The unpacked program ----------------------------------------------------
bin=$root/usr/bin/quillmora
env -u DISPLAY "$bin" --help >"$work/help" || fail "--help failed"
[ "$(env -u DISPLAY "$bin" --version)" = "quillmora $version" ] || fail "--version does not say $version"
# Every switch and environment variable --help lists is in the manual page.
man_text=$(MANWIDTH=200 man -l "$root/usr/share/man/man6/quillmora.6.gz" 2>"$work/man.err")
[ ! -s "$work/man.err" ] || fail "man: $(cat "$work/man.err")"
for word in $(awk '/^  -/ { print $1 } /^Environment:/ { env = 1; next } /^$/ { env = 0 }
                   env && /^  [A-Z_]/ { sub(/=.*/, "", $1); print $1 }' "$work/help"); do
    grep -qF -- "$word" <<<"$man_text" || fail "the manual page does not mention $word"
done
[ "$(grep -c '^  -' "$work/help")" -ge 5 ] || fail "--help lists fewer switches than the program has"

for n in $(seq 150 199); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
done
Xvfb ":$n" -screen 0 1024x768x24 -noreset -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$n"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# One second of frames (44100/1024 a second), then the reader goes away: the
# same bytes from the packaged program as from the one in the build tree.
frame=$((800 * 600 * 3)) frames=43
capture() { # capture PROGRAM OUT
    set +o pipefail
    "$1" -w -dg 7>&1 >/dev/null 2>"$2.err" | head -c $((frames * frame)) >"$2"
    set -o pipefail
    [ "$(stat -c %s "$2")" -eq $((frames * frame)) ] || fail "$1 recorded $(stat -c %s "$2") bytes: $(cat "$2.err")"
}
capture "$bin" "$work/packaged.raw"
capture "$build/quillmora" "$work/built.raw"
cmp "$work/packaged.raw" "$work/built.raw" || fail "the packaged program's frames differ from the build tree's"
# The show opens on white, so the drawing is checked at 100 s, in the dot
# screen, with the packaged shot tool: the build tree's picture, byte for byte,
# and not one flat colour (which would compress to a few kilobytes).
"$root/usr/bin/quillmora-shot" -o "$work/packaged" 100 >/dev/null || fail "the packaged shot tool failed"
"$build/quillmora-shot" -o "$work/built" 100 >/dev/null
cmp "$work/packaged/100.000.png" "$work/built/100.000.png" || fail "the packaged shot differs from the build tree's"
[ "$(stat -c %s "$work/packaged/100.000.png")" -gt 20000 ] || fail "the shot at 100 s is nearly flat"
echo "ok: ${deb##*/} installs its $(wc -l <"$work/files") files, and its program plays"
